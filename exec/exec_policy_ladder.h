// The administrator's exec settings, applied in one order on every platform:
// the deny list, the allow list, the allowed schemes, network locations and
// local paths. A platform's frame reads the text (which forms it has, where
// each reading leads); the ladder decides and words the refusal.
#pragma once

#include <optional>
#include <vector>

#include "include/admin_policy.h"
#include "include/wide_text.h"

namespace zobrik {

// Where one reading of a text leads.
struct ExecLocation {
    WideString shown;  // as a refusal names it
    bool network = false;
};

// An exec text as a platform reads it.
struct ExecTextReading {
    // Compared with the deny list besides the forms: the text as the
    // platform's opener reads it.
    WideString asSent;
    bool isUrl = false;  // a URL of a scheme other than "file"
    // Lower case; what the allowed schemes setting checks ("file" for a
    // "file:" URL); empty for a plain path.
    WideString scheme;
    // The normalised forms the lists compare; a URL without any is one that
    // no browser reads.
    std::vector<WideString> forms;
    // The places the readings reach; a path without any names no path.
    std::vector<ExecLocation> locations;
};

// Whether all of `text` matches `pattern`: '*' stands for any run of
// characters (none included), '?' for exactly one; ASCII letters match
// without regard to case.
bool MatchesWildcard(WideStringView text, WideStringView pattern);

// The first setting of `policy` that refuses `reading`, in this order: deny
// list (any form or the text as sent), allow list (every form, and at least
// one), allowed schemes, network locations, local paths. Throws
// std::bad_alloc.
std::optional<PolicyRefusal> ExecLadderRefusal(const ExecTextReading& reading, const AdminPolicy& policy);

}  // namespace zobrik
