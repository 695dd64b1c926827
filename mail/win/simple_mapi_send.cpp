#include "simple_mapi_send.h"

#include <cwchar>

#include "include/debug_output.h"
#include "include/event_log.h"
#include "include/win/simple_mapi_binding.h"
#include "mail/simple_mapi_message.h"

namespace zobrik {

void SendWithSimpleMapi(const MailRequest& request) {
    SimpleMapiMessage message(request);
    uint32_t result = SimpleMapiSendEntry()(0, 0, message.Message(), message.Options(), 0);
    wchar_t line[64];
    _snwprintf(line, std::size(line), L"MAPISendMailW returned %lu", static_cast<unsigned long>(result));
    line[std::size(line) - 1] = L'\0';
    DebugEvent(line);
    // SUCCESS_SUCCESS, or MAPI_USER_ABORT: the user closed the window.
    if (result != 0 && result != 1) {
        ReportHandOverFailed(L"Simple MAPI", line);
    }
}

}  // namespace zobrik
