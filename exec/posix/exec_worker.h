// One exec request on Linux: the text, the refusals, and xdg-open.
#pragma once

#include <string>

#include "exec/exec_reply.h"
#include "include/admin_policy.h"

namespace zobrik {

// Reads the text (UTF-8 behind the mark, else Windows-1252), refuses what
// must not be opened (exec/posix_paths.h), and runs "xdg-open <text>":
// "okay" when it exits with 0, "failed" otherwise.
const ExecReply& ServeExecRequest(const std::string& message, const AdminPolicy& policy,
                                  const std::string& stagingRoot) noexcept;

}  // namespace zobrik
