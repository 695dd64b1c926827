// What the exec channel refuses to hand to the shell for where it leads:
// whether one of the paths the text can stand for lies in the attachment
// staging directory. The text's own checks (length, scheme) are in
// exec_text.h, the path readings in windows_paths.h.
//
// The checks lean towards refusing: a text is refused when any reading of it
// that some version of the shell might make is refused.
#pragma once

#include <optional>

#include "exec_text.h"
#include "host_recognition.h"
#include "include/wide_text.h"
#include "windows_paths.h"

namespace zobrik {

// "names a staged attachment" when `text` names the directory
// `stagingDirectory` or anything below it under any spelling; nullopt when
// not, or when `stagingDirectory` is empty. A path is below the directory
// when its reading, with long names, starts with the directory's, or when
// one of its existing directories is the staging directory itself: on a
// drive, on a device ("\\?\Volume{GUID}\...") or on a share of this machine
// ("\\<own name or address>\<any share>\..."). A path below a device whose
// root cannot be identified is refused too: it may lead anywhere.
std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

// The scheme refusal of the text or of the text with its environment
// variables expanded, then its path refusal.
std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

}  // namespace zobrik
