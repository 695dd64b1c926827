#include "exec_worker.h"

#include <windows.h>
#include <shellapi.h>

#include "exec_reply.h"

namespace zobrik {

void ExecWorker(std::string request, const SharedChannelSlot& channel) noexcept {
    HINSTANCE result = ShellExecuteA(nullptr, "open", request.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    const ExecReply& reply = ExecReplyFor(reinterpret_cast<intptr_t>(result));
    channel->WriteIfOpen(reply.data(), ULONG(reply.size()));
}

}  // namespace zobrik
