// The administrator's policy applied to an exec text, decided without
// Windows; what only the machine knows is asked of a MachinePaths.
//
// A text is either a URL (it has a scheme other than "file") or a path
// (everything else, "file:" URLs included). The allow and deny lists are
// matched against its normalised forms:
//   - a URL: read as a browser reads it (url_normalisation.h: UrlPolicyForms),
//     with blanks and quotes around it and a leading "url:" removed: the
//     serialised URL without user name and password and without the host's
//     trailing dots, an IPv4-mapped IPv6 host also as IPv4, a "mailto:" URL
//     as one form per recipient. A URL that no browser reads is refused by
//     either list;
//   - a path: every reading of it the shell might make, as absolute Windows
//     paths ("C:\dir\file", "\\server\share\file"): environment variables
//     expanded or not, "file:" URLs turned into paths, '/' as '\', "\\?\"
//     prefixes, "." and ".." resolved, relative paths against the current
//     directory; each also with the long names of its existing parts (an
//     8.3 short name reads as the long one) and with a UNC host read as a
//     URL host (trailing dots removed, IPv4 number forms as four decimals).
// The deny list refuses a text when any form, or the text itself (without
// blanks and quotes around it), matches one of its patterns; an allow list
// passes a text only when every form matches one of its patterns.
#pragma once

#include <optional>
#include <vector>

#include "exec_policy_ladder.h"
#include "include/admin_policy.h"
#include "include/wide_text.h"
#include "windows_paths.h"

namespace zobrik {

// What an exec text names.
struct ExecTarget {
    bool isUrl = false;
    WideString scheme;                 // lower case; empty for a plain path
    std::vector<WideString> urlForms;  // URLs only: see UrlPolicyForms; empty when no browser reads it
    std::vector<WideString> paths;     // paths only: every reading
};

ExecTarget ClassifyExecText(WideStringView text, const MachinePaths& machine);

// A URL in its first normalised form (see above); a URL that no browser
// reads without the blanks and quotes around it.
WideString NormalisedUrl(WideStringView text);

// The first setting of `policy` that refuses `text`: the ladder of
// exec_policy_ladder.h (deny list, allow list, schemes, network paths, local
// paths), then programs.
// Throws std::bad_alloc.
std::optional<PolicyRefusal> ExecPolicyRefusal(WideStringView text, const AdminPolicy& policy,
                                               const MachinePaths& machine);

// Whether a path's target is a program or script: its extension is one of
// the built-in list or of `programExtensions` (PATHEXT), or it has none and
// is not a directory (the shell would try the program extensions).
bool IsProgramPath(const WideString& path, const MachinePaths& machine);

// Whether `extension` (without its dot, ASCII letters in any case) is one of
// the built-in list of IsProgramPath: files that Windows, or Wine on Linux,
// runs, or hands to something that runs what the file says.
bool IsBuiltInProgramExtension(WideStringView extension);

}  // namespace zobrik
