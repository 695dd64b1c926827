#include "mail/mail_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "include/debug_output.h"
#include "include/request_limits.h"
#include "mail/utf8_to_utf16.h"

namespace zobrik {
namespace {

static_assert(sizeof(size_t) >= sizeof(uint64_t), "buffer sizes are computed in 64 bits");

constexpr uint64_t kAttachmentFixedSize = 16;    // offset and size fields
constexpr uint64_t kAttachmentMinimumSize = 17;  // fixed fields and an empty name
constexpr uint64_t kRecipientMinimumSize = 2;    // two empty strings
constexpr uint64_t kMaxAttachmentSize = 0x7FFFFFFF;
constexpr size_t kDataOffsetField = 16;

constexpr WideChar kSmtpPrefix[] = ZOBRIK_WIDE("SMTP:");
constexpr size_t kSmtpPrefixLength = 5;
static_assert(sizeof(kSmtpPrefix) / sizeof(kSmtpPrefix[0]) == kSmtpPrefixLength + 1);

// The first zero byte of [begin, end), or nullptr. Eight bytes at a time:
// the C runtime's memchr under Wine goes byte by byte, which made finding
// the end of a large body cost half as much as converting it.
const uint8_t* FindZeroByte(const uint8_t* begin, const uint8_t* end) noexcept {
    constexpr uint64_t kLowBits = 0x0101010101010101ull;
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    const uint8_t* p = begin;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof(word));
        if ((word - kLowBits) & ~word & kHighBits) {
            break;  // a zero byte in these eight
        }
    }
    for (; p != end; ++p) {
        if (*p == 0) {
            return p;
        }
    }
    return nullptr;
}

// Writes a decoded string to the debugger output; a long one is cut after
// kTracedStringLength characters (never inside a surrogate pair) and ends in
// "… (N characters)", so a large body costs neither a second pass over it
// nor thousands of lines in a debug viewer.
void TraceDecodedString(const WideChar* text, size_t units) {
    if (units <= kTracedStringLength) {
        DebugOutput(text);
        return;
    }
    size_t cut = kTracedStringLength;
    if (uint16_t(text[cut - 1]) >= 0xD800 && uint16_t(text[cut - 1]) <= 0xDBFF) {
        --cut;
    }
    WideString traced(text, cut);
    traced += WideChar(0x2026);
    const std::string count = " (" + std::to_string(units) + " characters)";
    traced.append(count.begin(), count.end());
    DebugOutput(traced.c_str());
}

// Reads the request's strings in order and converts them into the text buffer.
class RequestReader {
public:
    RequestReader(const uint8_t* request, uint64_t length, WideChar* text, size_t capacity) noexcept
        : request_(request), length_(length), text_(text), capacity_(capacity) {}

    uint64_t Cursor() const noexcept { return cursor_; }
    void Advance(uint64_t bytes) noexcept { cursor_ += bytes; }
    uint64_t Remaining() const noexcept { return length_ - cursor_; }

    // Reads the NUL-terminated string at the cursor and converts it, terminator
    // included, into the units left in the text buffer. The text before the
    // terminator is converted on its own and the terminator written after it:
    // the result is the same as converting both together, but does not depend
    // on how a converter treats a sequence cut short by the terminator (Wine's
    // swallows the terminator with it).
    const WideChar* ConvertString() {
        if (cursor_ >= length_) RaiseMailError("invalid string input");
        const uint8_t* start = request_ + cursor_;
        const uint8_t* end = FindZeroByte(start, request_ + length_);
        if (end == nullptr) RaiseMailError("invalid string input");
        const size_t textBytes = size_t(end - start);

        WideChar* out = text_ + written_;
        const size_t left = capacity_ - written_;
        if (left == 0) RaiseMailError("invalid string conversion");
        size_t units = 0;
        if (textBytes != 0) {
            units = Utf8ToUtf16(start, textBytes, out, left - 1);
            if (units == 0 || units > left - 1) RaiseMailError("invalid string conversion");
        }
        out[units] = 0;
        written_ += units + 1;
        cursor_ += textBytes + 1;
        TraceDecodedString(out, units);
        return out;
    }

    // Writes "SMTP:" and a terminator at the write position and leaves the
    // write position on that terminator, so that the address that follows
    // continues the prefix.
    const WideChar* WriteSmtpPrefix() {
        if (capacity_ - written_ < kSmtpPrefixLength + 1) RaiseMailError("buffer overflow 1");
        WideChar* out = text_ + written_;
        std::memcpy(out, kSmtpPrefix, sizeof(kSmtpPrefix));
        written_ += kSmtpPrefixLength;
        return out;
    }

private:
    const uint8_t* request_;
    uint64_t length_;
    uint64_t cursor_ = MAIL_HEADER_SIZE;
    WideChar* text_;
    size_t capacity_;
    size_t written_ = 0;
};

}  // namespace

MailRequest DecodeMailRequest(uint8_t* request, uint32_t length) {
    if (length < MAIL_HEADER_SIZE) RaiseMailError(kShortRequestMessage);
    const MailRequestHeader header = ReadMailRequestHeader(request);

    if (header.version != 0) RaiseMailError("Invalid header version");
    if (header.flags > MAIL_FLAGS_ALL) RaiseMailError("Invalid header version");
    if (header.totalSize != length) RaiseMailError("missing some data");

    uint64_t dataOffset = header.dataOffset;
    if (dataOffset == 0) {
        dataOffset = length;
        WriteUint64LE(request + kDataOffsetField, dataOffset);
    } else if (dataOffset > length) {
        RaiseMailError("Invalid file offset!");
    }
    if (request[dataOffset - 1] != 0) RaiseMailError("Invalid file offset!");

    // An accepted request holds its subject, its body and all its records back
    // to back from offset 64 on; a recipient record takes at least 2 bytes, an
    // attachment record at least 17. Counts that cannot fit even at those sizes
    // would fail a later rule anyway; rejecting them here keeps them from
    // sizing the buffers. The sum is taken in 64 bits, so it cannot wrap, and
    // any sum beyond 32 bits fails the check. Without any record nothing is
    // sized from the counts, and a request too short for its subject and body
    // fails as a string.
    const uint64_t recipients64 =
        uint64_t(header.fromCount) + header.senderCount + header.toCount + header.ccCount + header.bccCount;
    const uint64_t smallestRecords =
        kRecipientMinimumSize * recipients64 + kAttachmentMinimumSize * header.attachmentCount;
    if (smallestRecords != 0 && 2 + smallestRecords > length - MAIL_HEADER_SIZE) {
        RaiseMailError(kTooManyRecordsMessage);
    }
    // Every record costs memory and a descriptor for the mail program many
    // times its own few bytes: the counts are bounded as mail services bound
    // a message.
    if (recipients64 > kMaxMailRecipients || header.attachmentCount > kMaxMailAttachments) {
        RaiseMailError(kTooManyRecordsMessage);
    }

    MailRequest mail;
    mail.flags = header.flags;
    mail.fromCount = header.fromCount;
    mail.senderCount = header.senderCount;
    mail.toCount = header.toCount;
    mail.ccCount = header.ccCount;
    mail.bccCount = header.bccCount;
    mail.recipientCount = uint32_t(recipients64);
    mail.attachmentCount = header.attachmentCount;

    // Two units per byte up to the data area and room for each address prefix;
    // at most 2 * 2^32 + 5 * 2^31 units, far from overflowing 64 bits.
    mail.textCapacity = size_t(2 * dataOffset + kSmtpPrefixLength * uint64_t(mail.recipientCount));
    // The capacity above is the limit the rules check against; the buffer
    // itself only needs room for what can be written: a string converts to
    // at most one unit per byte, terminator included, every string lies
    // inside the request after its header, and each recipient adds its
    // prefix (whose own terminator, one unit more, is written before the
    // address that replaces it). So a request never takes more than two
    // bytes of text per byte.
    const uint64_t writable =
        uint64_t(length) - MAIL_HEADER_SIZE + kSmtpPrefixLength * uint64_t(mail.recipientCount) + 1;
    const size_t allocated = size_t(std::max<uint64_t>(1, std::min<uint64_t>(mail.textCapacity, writable)));
    // Not zero-filled: every string is written whole, terminator included,
    // before its pointer is handed out, so no unit is read before it is
    // written.
    mail.text = std::make_unique_for_overwrite<WideChar[]>(allocated);

    RequestReader reader(request, length, mail.text.get(), mail.textCapacity);
    mail.subject = reader.ConvertString();
    mail.body = reader.ConvertString();

    mail.recipients.resize(mail.recipientCount);
    mail.attachments.resize(mail.attachmentCount);

    for (MailRecipient& recipient : mail.recipients) {
        recipient.displayName = reader.ConvertString();
        recipient.smtpAddress = reader.WriteSmtpPrefix();
        recipient.address = reader.ConvertString();
    }

    for (MailAttachment& attachment : mail.attachments) {
        attachment.stagedPath = nullptr;
        if (reader.Remaining() < kAttachmentMinimumSize) RaiseMailError("buffer overflow 2");
        const uint8_t* record = request + reader.Cursor();
        const uint64_t offset = ReadUint64LE(record);
        const uint64_t size = ReadUint64LE(record + 8);

        // dataOffset <= length, so length - dataOffset cannot wrap; an offset
        // whose sum with dataOffset would leave 64 bits fails here as well.
        if (offset >= length - dataOffset) RaiseMailError("buffer overflow 3");
        const uint64_t start = dataOffset + offset;
        attachment.data = request + start;
        attachment.size = size;
        if (size > kMaxAttachmentSize) RaiseMailError("file too big");

        reader.Advance(kAttachmentFixedSize);
        attachment.fileName = reader.ConvertString();

        if (size > length - start) RaiseMailError("buffer overflow 4");
    }
    return mail;
}

}  // namespace zobrik
