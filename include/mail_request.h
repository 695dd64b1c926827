// The mail request: its 64-byte header on the wire and the decoded form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "little_endian.h"
#include "wide_text.h"

namespace zobrik {

// The wire format's own names.
// NOLINTBEGIN(readability-identifier-naming)

// Bits of MailRequestHeader::flags.
constexpr uint32_t MAIL_FLAG_HTML_BODY = 1;
constexpr uint32_t MAIL_FLAG_IMMEDIATE = 2;
constexpr uint32_t MAIL_FLAG_OUTLOOK = 4;
constexpr uint32_t MAIL_FLAGS_ALL = MAIL_FLAG_HTML_BODY | MAIL_FLAG_IMMEDIATE | MAIL_FLAG_OUTLOOK;

constexpr size_t MAIL_HEADER_SIZE = 64;
constexpr size_t MAIL_TOTAL_SIZE_OFFSET = 8;
constexpr size_t MAIL_TOTAL_SIZE_END = 16;  // bytes 8..15 hold totalSize

// NOLINTEND(readability-identifier-naming)

// The header as it stands on the wire (little-endian, unaligned). Use
// ReadMailRequestHeader to obtain it from bytes; never cast the bytes.
struct MailRequestHeader {
    uint32_t version = 0;
    uint32_t flags = 0;
    uint64_t totalSize = 0;
    uint64_t dataOffset = 0;
    uint64_t reserved1 = 0;
    uint32_t fromCount = 0;
    uint32_t senderCount = 0;
    uint32_t toCount = 0;
    uint32_t ccCount = 0;
    uint32_t bccCount = 0;
    uint32_t attachmentCount = 0;
    uint64_t reserved2 = 0;
};

// The caller guarantees MAIL_HEADER_SIZE readable bytes.
inline MailRequestHeader ReadMailRequestHeader(const uint8_t* p) noexcept {
    MailRequestHeader h;
    h.version = ReadUint32LE(p + 0);
    h.flags = ReadUint32LE(p + 4);
    h.totalSize = ReadUint64LE(p + 8);
    h.dataOffset = ReadUint64LE(p + 16);
    h.reserved1 = ReadUint64LE(p + 24);
    h.fromCount = ReadUint32LE(p + 32);
    h.senderCount = ReadUint32LE(p + 36);
    h.toCount = ReadUint32LE(p + 40);
    h.ccCount = ReadUint32LE(p + 44);
    h.bccCount = ReadUint32LE(p + 48);
    h.attachmentCount = ReadUint32LE(p + 52);
    h.reserved2 = ReadUint64LE(p + 56);
    return h;
}

struct MailRecipient {
    const WideChar* displayName = nullptr;
    const WideChar* smtpAddress = nullptr;  // "SMTP:" + address
    const WideChar* address = nullptr;      // smtpAddress + 5
};

struct MailAttachment {
    const WideChar* fileName = nullptr;    // as sent, path parts included
    const WideChar* stagedPath = nullptr;  // set by staging
    const uint8_t* data = nullptr;         // points into the request bytes
    uint64_t size = 0;
};

// A decoded request. Every string points into `text`; attachment data points
// into the request bytes, which must outlive this object.
struct MailRequest {
    uint32_t flags = 0;
    uint32_t fromCount = 0;
    uint32_t senderCount = 0;
    uint32_t toCount = 0;
    uint32_t ccCount = 0;
    uint32_t bccCount = 0;
    uint32_t recipientCount = 0;
    uint32_t attachmentCount = 0;

    std::unique_ptr<WideChar[]> text;
    size_t textCapacity = 0;  // in code units

    const WideChar* subject = nullptr;
    const WideChar* body = nullptr;
    std::vector<MailRecipient> recipients;
    std::vector<MailAttachment> attachments;

    uint32_t OriginatorEnd() const noexcept { return fromCount + senderCount; }
    uint32_t PrimaryEnd() const noexcept { return OriginatorEnd() + toCount; }
    uint32_t CopyEnd() const noexcept { return PrimaryEnd() + ccCount; }
    // Whether anyone is named to receive the mail; without, the compose
    // window opens with an empty To line.
    bool HasRecipient() const noexcept { return toCount != 0 || ccCount != 0 || bccCount != 0; }
};

// Failures inside a mail request are raised as constant narrow texts; the
// mail worker turns them into the reply.
[[noreturn]] inline void RaiseMailError(const char* message) { throw message; }

}  // namespace zobrik
