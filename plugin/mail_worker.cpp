#include "mail_worker.h"

#include <windows.h>

#include "debug_output.h"
#include "exception_text.h"
#include "mail/mail_processing.h"

namespace zobrik {

namespace {

// A 255-character text needs at most 766 bytes of UTF-8 with its zero byte.
constexpr int kReplyBufferSize = 1024;

}  // namespace

void MailWorker(uint32_t length, std::vector<uint8_t> request, const SharedChannelSlot& channel) noexcept {
    int32_t status = 2;
    WideString text;
    try {
        status = ProcessMailRequest(length, request.data());
    } catch (...) {
        text = FormatExceptionText(std::current_exception());
    }
    request = {};

    if (!text.empty()) {
        DebugOutput(text.c_str());
        char reply[kReplyBufferSize];
        int replyLength = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, reply, kReplyBufferSize, nullptr, nullptr);
        if (replyLength > 0) {
            channel->WriteIfOpen(reply, ULONG(replyLength));
            return;
        }
    }
    uint8_t statusByte = uint8_t(status & 0xFF);
    channel->WriteIfOpen(&statusByte, 1);
}

}  // namespace zobrik
