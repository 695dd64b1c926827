// Zobrik replies: what the plug-in answers on its two channels, and parsers
// that turn a reply message into a result.
//
// Header-only, C++17 standard library only.
//
// "Zobrik/exec" answers every request with exactly 8 bytes:
//   6F 6B 61 79 00 00 00 00   "okay"    the client's shell opened it
//   66 61 69 6C 65 64 00 00   "failed"  the shell could not open it (no detail)
//
// "Zobrik/mail" answers a request with one message:
//   1 byte        a status: 00 = handed over to the mail program (a mail
//                 program may count that as sent or only as created); any
//                 other value is a failure without text (02 in practice)
//   19 bytes or   UTF-8 error text with one terminating zero byte:
//   more          "Exception: " + a type label padded to 19 characters + the
//                 value, for instance
//                 "Exception: char const *       Invalid header version"
//                 or "Exception: unknown" (no label, no value)
// Anything else is not a reply of the plug-in (a protocol error).
//
//   zobrik::sdk::MailReply reply = zobrik::sdk::ParseMailReply(bytes);
//   if (!reply.HandedOver()) std::cerr << zobrik::sdk::DescribeMailReply(reply) << "\n";
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zobrik::sdk {

inline constexpr size_t kExecReplySize = 8;
inline constexpr uint8_t kExecOkayReply[kExecReplySize] = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
inline constexpr uint8_t kExecFailedReply[kExecReplySize] = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};

enum class ExecOutcome {
    Okay,           // the shell opened the path or address
    Failed,         // the shell refused or failed
    ProtocolError,  // the message is not one of the two replies
};

struct ExecReply {
    ExecOutcome outcome = ExecOutcome::ProtocolError;
    std::string problem;  // for ProtocolError: what is wrong with the message
};

inline ExecReply ParseExecReply(const uint8_t* data, size_t size) {
    ExecReply reply;
    if (size != kExecReplySize) {
        reply.problem = "an exec reply has 8 bytes, this one " + std::to_string(size);
        return reply;
    }
    const auto equals = [&](const uint8_t(&expected)[kExecReplySize]) {
        for (size_t i = 0; i < kExecReplySize; ++i)
            if (data[i] != expected[i]) return false;
        return true;
    };
    if (equals(kExecOkayReply)) {
        reply.outcome = ExecOutcome::Okay;
    } else if (equals(kExecFailedReply)) {
        reply.outcome = ExecOutcome::Failed;
    } else {
        reply.problem = "the 8 bytes are neither \"okay\" nor \"failed\"";
    }
    return reply;
}
inline ExecReply ParseExecReply(const std::vector<uint8_t>& message) {
    return ParseExecReply(message.data(), message.size());
}

// Status byte of a mail handed over to the mail program.
inline constexpr uint8_t kMailStatusHandedOver = 0;
// Shortest error text reply: "Exception: unknown" and the zero byte.
inline constexpr size_t kMinMailErrorReplySize = 19;
// "Exception: " and the width of the type label after it.
inline constexpr std::string_view kExceptionPrefix = "Exception: ";
inline constexpr size_t kExceptionLabelWidth = 19;

enum class MailReplyKind {
    Status,         // a 1-byte reply
    ErrorText,      // an error text reply
    ProtocolError,  // neither
};

struct MailReply {
    MailReplyKind kind = MailReplyKind::ProtocolError;
    uint8_t status = 0;  // Status: the byte

    // ErrorText: the whole text (without its zero byte), for instance
    // "Exception: char const *       temp path too long".
    std::string text;
    // ErrorText: the type label without its padding ("char const *", "int",
    // ...), "unknown" for "Exception: unknown", empty when the text does not
    // have the usual form.
    std::string errorType;
    // ErrorText: what follows the label ("temp path too long"; the plug-in's
    // own failures are texts). Empty for "unknown"; the text after the prefix,
    // or the whole text, when the text does not have the usual form.
    std::string message;

    std::string problem;  // ProtocolError: what is wrong with the message

    bool HandedOver() const noexcept { return kind == MailReplyKind::Status && status == kMailStatusHandedOver; }
};

inline MailReply ParseMailReply(const uint8_t* data, size_t size) {
    MailReply reply;
    if (size == 1) {
        reply.kind = MailReplyKind::Status;
        reply.status = data[0];
        return reply;
    }
    if (size < kMinMailErrorReplySize) {
        reply.problem = "a mail reply has 1 byte or at least 19, this one " + std::to_string(size);
        return reply;
    }
    if (data[size - 1] != 0) {
        reply.problem = "the error text of a mail reply ends in a zero byte, this one does not";
        return reply;
    }
    std::string text(reinterpret_cast<const char*>(data), size - 1);
    if (text.find('\0') != std::string::npos) {
        reply.problem = "the error text of a mail reply holds a zero byte before its end";
        return reply;
    }
    reply.kind = MailReplyKind::ErrorText;
    const std::string_view view(text);
    if (view.substr(0, kExceptionPrefix.size()) == kExceptionPrefix) {
        const std::string_view rest = view.substr(kExceptionPrefix.size());
        if (rest == "unknown") {
            reply.errorType = "unknown";
        } else if (rest.size() >= kExceptionLabelWidth) {
            std::string_view label = rest.substr(0, kExceptionLabelWidth);
            while (!label.empty() && label.back() == ' ') label.remove_suffix(1);
            reply.errorType = std::string(label);
            reply.message = std::string(rest.substr(kExceptionLabelWidth));
        } else {
            reply.message = std::string(rest);
        }
    } else {
        reply.message = text;
    }
    reply.text = std::move(text);
    return reply;
}
inline MailReply ParseMailReply(const std::vector<uint8_t>& message) {
    return ParseMailReply(message.data(), message.size());
}

// One line for people:
//   "handed over to the mail program"
//   "the plug-in reported an error: Invalid header version"
//   "the plug-in reported an error: 7 (int)"           other value types
//   "the plug-in reported an error of unknown type"    "Exception: unknown"
//   "the plug-in reported the status 2"
//   "not a reply of the plug-in: <problem>"
inline std::string DescribeMailReply(const MailReply& reply) {
    switch (reply.kind) {
        case MailReplyKind::Status:
            if (reply.status == kMailStatusHandedOver) return "handed over to the mail program";
            return "the plug-in reported the status " + std::to_string(reply.status);
        case MailReplyKind::ErrorText:
            if (reply.errorType == "unknown") return "the plug-in reported an error of unknown type";
            if (reply.errorType.empty() || reply.errorType == "char const *" || reply.errorType == "std::string" ||
                reply.errorType == "wchar_t const *" || reply.errorType == "std::wstring")
                return "the plug-in reported an error: " + reply.message;
            return "the plug-in reported an error: " + reply.message + " (" + reply.errorType + ")";
        case MailReplyKind::ProtocolError:
            break;
    }
    return "not a reply of the plug-in: " + reply.problem;
}

}  // namespace zobrik::sdk
