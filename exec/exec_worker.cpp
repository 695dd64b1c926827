#include "exec_worker.h"

#include <windows.h>
#include <shellapi.h>

#include "debug_output.h"
#include "exec_policy.h"
#include "exec_policy_win.h"
#include "exec_reply.h"

namespace zobrik {

void ExecWorker(std::string request, const SharedChannelSlot& channel) noexcept {
    const ExecReply* reply = &kExecReplyFailed;
    try {
        if (auto refusal = ExecRefusal(ExecText(request))) {
            DebugEvent((L"exec refused: " + *refusal).c_str());
        } else {
            HINSTANCE result = ShellExecuteA(nullptr, "open", request.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            reply = &ExecReplyFor(reinterpret_cast<intptr_t>(result));
        }
    } catch (...) {
        // Only the checks throw (out of memory): the shell was not called.
        DebugEvent(L"exec refused: text could not be checked");
    }
    channel->WriteIfOpen(reply->data(), ULONG(reply->size()));
}

}  // namespace zobrik
