// Opens what an exec request names with the shell.
#pragma once

#include <string>

#include "exec/exec_reply.h"
#include "include/admin_policy.h"

namespace zobrik {

// Checks the text of `request` (its bytes up to the first NUL), has the
// user confirm it when the policy asks for that, opens it with the shell and
// returns the reply for the channel.
const ExecReply& ServeExecRequest(const std::string& request, const AdminPolicy& policy) noexcept;

}  // namespace zobrik
