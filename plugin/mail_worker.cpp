#include "mail_worker.h"

#include <windows.h>

#include "exception_text.h"
#include "include/debug_output.h"
#include "include/event_log.h"
#include "mail/mail_processing.h"

namespace zobrik {

namespace {

// A 255-character text needs at most 766 bytes of UTF-8 with its zero byte.
constexpr int kReplyBufferSize = 1024;

// Writes the error text as UTF-8 with its zero byte; false when it cannot
// be converted.
bool WriteErrorText(const SharedChannelSlot& channel, const WideString& text) noexcept {
    DebugOutput(text.c_str());
    ReportMailRefused(text);
    char reply[kReplyBufferSize];
    int replyLength = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, reply, kReplyBufferSize, nullptr, nullptr);
    if (replyLength <= 0) {
        return false;
    }
    channel->WriteIfOpen(reply, ULONG(replyLength));
    return true;
}

}  // namespace

void MailWorker(uint32_t length, std::vector<uint8_t> request, const SharedChannelSlot& channel,
                const AdminPolicy& policy) noexcept {
    int32_t status = 2;
    WideString text;
    try {
        status = ProcessMailRequest(length, request.data(), policy);
    } catch (...) {
        text = FormatExceptionText(std::current_exception());
    }
    std::vector<uint8_t>().swap(request);

    if (!text.empty() && WriteErrorText(channel, text)) {
        return;
    }
    uint8_t statusByte = uint8_t(status & 0xFF);
    channel->WriteIfOpen(&statusByte, 1);
}

void ReplyWithRefusal(const SharedChannelSlot& channel, const char* message) noexcept {
    WideString text = FormatExceptionText(std::make_exception_ptr(message));
    if (text.empty() || !WriteErrorText(channel, text)) {
        const uint8_t statusByte = 2;
        channel->WriteIfOpen(&statusByte, 1);
    }
}

}  // namespace zobrik
