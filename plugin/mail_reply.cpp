#include "mail_reply.h"

#include <exception>
#include <string>

#include "exception_text.h"
#include "include/debug_output.h"
#include "include/event_log.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

// The status of a request whose processing failed.
constexpr uint8_t kStatusFailed = 2;

void WriteStatus(ReplyChannel& channel, int32_t status) noexcept {
    const uint8_t statusByte = uint8_t(status & 0xFF);
    channel.WriteIfOpen(&statusByte, 1);
}

// Writes the error text as UTF-8 with its zero byte; false when it cannot
// be converted.
bool WriteErrorText(ReplyChannel& channel, const WideString& text) noexcept {
    DebugOutput(text.c_str(), DebugLevel::Info);
    ReportMailRefused(text);
    try {
        const std::string reply = Utf16ToUtf8(text);
        if (reply.empty()) {
            return false;
        }
        channel.WriteIfOpen(reply.c_str(), reply.size() + 1);
        return true;
    } catch (...) {
        return false;  // out of memory
    }
}

}  // namespace

void ServeMailRequest(uint32_t length, RequestBuffer request, const RequestContext& context) noexcept {
    int32_t status = kStatusFailed;
    WideString text;
    try {
        status = context.server->ProcessMail(length, request.Data(), *context.policy);
    } catch (...) {
        text = FormatExceptionText(std::current_exception());
    }
    request.Release();

    if (!text.empty() && WriteErrorText(*context.channel, text)) {
        return;
    }
    WriteStatus(*context.channel, status);
}

void ReplyWithRefusal(ReplyChannel& channel, const char* message) noexcept {
    const WideString text = FormatExceptionText(std::make_exception_ptr(message));
    if (text.empty() || !WriteErrorText(channel, text)) {
        WriteStatus(channel, kStatusFailed);
    }
}

}  // namespace zobrik
