// Zobrik mail request writer: builds the binary request that an application in
// the remote session sends on the "Zobrik/mail" dynamic virtual channel.
//
// Header-only, C++17 standard library only.
//
// Wire format (all integers little-endian, nothing aligned or padded):
//
//   0   u32 version          always 0
//   4   u32 flags            kMailFlagHtmlBody | kMailFlagImmediate | kMailFlagOutlook
//   8   u64 totalSize        length of the whole request
//   16  u64 dataOffset       start of the data area (0: no data area)
//   24  u64 reserved
//   32  u32 fromCount, senderCount, toCount, ccCount, bccCount, attachmentCount
//   56  u64 reserved
//   64  string area: subject, body, recipient records (display name, address)
//       in group order, attachment records (u64 offset from dataOffset,
//       u64 size, file name); every string is UTF-8 ending in one 0 byte
//   dataOffset .. totalSize: the attachments' bytes
//
// Typical use:
//
//   zobrik::sdk::MailRequestWriter writer;
//   writer.Subject("Report").Body("See attachment")
//         .AddRecipient(zobrik::sdk::RecipientGroup::To, "Ann", "ann@example.com")
//         .AddAttachment("report.pdf", bytes);
//   for (const auto& chunk : zobrik::sdk::SplitIntoChunks(writer.Build(), 1590))
//       channel.Write(chunk);
//
// Besides well-formed requests the writer can produce deliberately malformed
// ones (see MailRequestWriter::Overrides and the per-attachment overrides),
// which is what test suites of a receiver need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zobrik::sdk {

inline constexpr uint32_t kMailFlagHtmlBody = 1;   // the body is HTML
inline constexpr uint32_t kMailFlagImmediate = 2;  // send at once / modeless dialog
inline constexpr uint32_t kMailFlagOutlook = 4;    // try Outlook first

inline constexpr size_t kMailHeaderSize = 64;
inline constexpr size_t kAttachmentRecordFixedSize = 16;  // offset and size

// Byte positions of the header fields.
namespace header_field {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kFlags = 4;
inline constexpr size_t kTotalSize = 8;
inline constexpr size_t kDataOffset = 16;
inline constexpr size_t kReserved1 = 24;
inline constexpr size_t kFromCount = 32;
inline constexpr size_t kSenderCount = 36;
inline constexpr size_t kToCount = 40;
inline constexpr size_t kCcCount = 44;
inline constexpr size_t kBccCount = 48;
inline constexpr size_t kAttachmentCount = 52;
inline constexpr size_t kReserved2 = 56;
}  // namespace header_field

// The five recipient groups, in the order in which their records are stored.
enum class RecipientGroup : size_t { From = 0, Sender = 1, To = 2, Cc = 3, Bcc = 4 };
inline constexpr size_t kRecipientGroupCount = 5;

// Writes an attachment's bytes, exactly `size` of them, to `out`: its place
// inside the request while the request is built. Lets a large file be read
// straight into the request, so that its bytes are held in memory once.
// Whatever it throws ends the build; nothing is returned then.
using AttachmentFill = std::function<void(uint8_t* out, size_t size)>;

// Appends `bytes` (sized and copied, as AppendString below).
inline void AppendBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return;
    const size_t start = out.size();
    out.resize(start + bytes.size());
    std::memcpy(out.data() + start, bytes.data(), bytes.size());
}

// Little-endian helpers for building or patching requests by hand.
inline void PutUint32LE(uint8_t* p, uint32_t value) noexcept {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void PutUint64LE(uint8_t* p, uint64_t value) noexcept {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline void AppendUint64LE(std::vector<uint8_t>& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
// Appends the bytes of `text` and, when `terminate` is set, a 0 byte.
// (Sized and copied rather than inserted: GCC 12 at -O3 reports a false
// array-bounds overflow inside vector's range insert.)
inline void AppendString(std::vector<uint8_t>& out, std::string_view text, bool terminate = true) {
    const size_t start = out.size();
    out.resize(start + text.size() + (terminate ? 1 : 0));
    if (!text.empty()) std::memcpy(out.data() + start, text.data(), text.size());
}

// Where the writer put each part of the request it built (byte offsets from
// the start of the request). Useful to patch single bytes of a request.
struct MailRequestLayout {
    struct Recipient {
        size_t displayName = 0;
        size_t address = 0;
    };
    struct Attachment {
        size_t record = 0;    // the record's offset field
        size_t fileName = 0;  // 16 bytes after `record`
        size_t data = 0;      // first byte of the attachment's data
    };
    size_t subject = 0;
    size_t body = 0;
    std::vector<Recipient> recipients;  // in stored (group) order
    std::vector<Attachment> attachments;
    size_t stringAreaEnd = 0;  // after the last record, before any padding
    size_t dataArea = 0;       // where the data area starts (the natural dataOffset)
    size_t length = 0;         // length of the request
};

class MailRequestWriter {
public:
    // Values that replace what the writer would write. Every unset field keeps
    // its correct value; set fields are written as given, even if the result
    // is malformed.
    struct Overrides {
        std::optional<uint32_t> version;     // correct: 0
        std::optional<uint64_t> totalSize;   // correct: the request's length
        std::optional<uint64_t> dataOffset;  // correct: the data area's start
        // Counts as written in the header; correct: the number of records
        // added. Indexed by RecipientGroup.
        std::optional<uint32_t> recipientCounts[kRecipientGroupCount];
        std::optional<uint32_t> attachmentCount;
        uint64_t reserved1 = 0;
        uint64_t reserved2 = 0;
        // Writes the last string of the string area without its terminating 0
        // byte (the data area, if any, follows directly).
        bool unterminatedLastString = false;
    };

    struct AttachmentOverrides {
        std::optional<uint64_t> offset;  // correct: data position - dataOffset
        std::optional<uint64_t> size;    // correct: the number of data bytes
    };

    MailRequestWriter& Subject(std::string_view text) {
        subject_ = std::string(text);
        return *this;
    }
    MailRequestWriter& Body(std::string_view text) {
        body_ = std::string(text);
        return *this;
    }
    MailRequestWriter& Flags(uint32_t flags) {
        flags_ = flags;
        return *this;
    }
    // Adds a recipient record to `group`; records are stored group by group,
    // each group in the order of its AddRecipient calls.
    MailRequestWriter& AddRecipient(RecipientGroup group, std::string_view displayName, std::string_view address) {
        groups_[static_cast<size_t>(group)].push_back({std::string(displayName), std::string(address)});
        return *this;
    }
    // Adds an attachment record; its bytes go to the data area, in the order
    // of the AddAttachment calls.
    MailRequestWriter& AddAttachment(std::string_view fileName, std::vector<uint8_t> data,
                                     AttachmentOverrides overrides = {}) {
        attachments_.push_back({std::string(fileName), std::move(data), overrides, 0, {}});
        return *this;
    }
    // The same for an attachment of `size` bytes that `fill` writes into the
    // request when Build() comes to it.
    MailRequestWriter& AddAttachment(std::string_view fileName, size_t size, AttachmentFill fill,
                                     AttachmentOverrides overrides = {}) {
        if (!fill) throw std::invalid_argument("an attachment filled at build time needs a fill function");
        attachments_.push_back({std::string(fileName), {}, overrides, size, std::move(fill)});
        return *this;
    }
    // Bytes written between the last record and the data area; the receiver
    // ignores them.
    MailRequestWriter& Padding(std::vector<uint8_t> bytes) {
        padding_ = std::move(bytes);
        return *this;
    }
    // Bytes appended after the attachments' data; the receiver ignores them.
    MailRequestWriter& Trailer(std::vector<uint8_t> bytes) {
        trailer_ = std::move(bytes);
        return *this;
    }
    MailRequestWriter& Override(Overrides overrides) {
        overrides_ = overrides;
        return *this;
    }
    Overrides& MutableOverrides() noexcept { return overrides_; }

    // Builds the request. Without data area (no attachment, no trailer) the
    // correct dataOffset is the request's length; a request that should carry
    // 0 instead ("no data area") sets Overrides::dataOffset to 0.
    //
    // An attachment's correct offset is its data position minus the dataOffset
    // written (the request's length when 0 is written), taken modulo 2^64: an
    // overridden dataOffset moves the offsets along, so they keep naming the
    // same bytes whenever the data lies at or after it.
    std::vector<uint8_t> Build(MailRequestLayout* layout = nullptr) const {
        MailRequestLayout where;
        std::vector<uint8_t> out(kMailHeaderSize, 0);
        // One allocation of the final size: the data area is the bulk.
        const uint64_t length = Length();
        if (length <= out.max_size()) out.reserve(static_cast<size_t>(length));

        where.subject = out.size();
        AppendString(out, subject_);
        where.body = out.size();
        AppendString(out, body_);
        for (const auto& group : groups_) {
            for (const auto& recipient : group) {
                MailRequestLayout::Recipient r;
                r.displayName = out.size();
                AppendString(out, recipient.first);
                r.address = out.size();
                AppendString(out, recipient.second);
                where.recipients.push_back(r);
            }
        }
        for (const auto& attachment : attachments_) {
            MailRequestLayout::Attachment a;
            a.record = out.size();
            out.resize(out.size() + kAttachmentRecordFixedSize, 0);  // filled in below
            a.fileName = out.size();
            AppendString(out, attachment.fileName);
            where.attachments.push_back(a);
        }
        if (overrides_.unterminatedLastString && out.size() > kMailHeaderSize) out.pop_back();
        where.stringAreaEnd = out.size();
        AppendBytes(out, padding_);

        where.dataArea = out.size();
        for (size_t i = 0; i < attachments_.size(); ++i) {
            where.attachments[i].data = out.size();
            const Attachment& attachment = attachments_[i];
            if (attachment.fill) {
                const size_t at = out.size();
                out.resize(at + attachment.fillSize);
                if (attachment.fillSize > 0) attachment.fill(out.data() + at, attachment.fillSize);
            } else {
                AppendBytes(out, attachment.data);
            }
        }
        AppendBytes(out, trailer_);
        where.length = out.size();

        const uint64_t dataOffset = overrides_.dataOffset.value_or(where.dataArea);
        const uint64_t effectiveDataOffset = dataOffset == 0 ? where.length : dataOffset;
        for (size_t i = 0; i < attachments_.size(); ++i) {
            const auto& attachment = attachments_[i];
            uint8_t* record = out.data() + where.attachments[i].record;
            PutUint64LE(record, attachment.overrides.offset.value_or(uint64_t(where.attachments[i].data) -
                                                                     effectiveDataOffset));
            PutUint64LE(record + 8, attachment.overrides.size.value_or(attachment.DataSize()));
        }

        uint8_t* h = out.data();
        PutUint32LE(h + header_field::kVersion, overrides_.version.value_or(0));
        PutUint32LE(h + header_field::kFlags, flags_);
        PutUint64LE(h + header_field::kTotalSize, overrides_.totalSize.value_or(where.length));
        PutUint64LE(h + header_field::kDataOffset, dataOffset);
        PutUint64LE(h + header_field::kReserved1, overrides_.reserved1);
        for (size_t g = 0; g < kRecipientGroupCount; ++g) {
            const uint32_t count = overrides_.recipientCounts[g].value_or(static_cast<uint32_t>(groups_[g].size()));
            PutUint32LE(h + header_field::kFromCount + 4 * g, count);
        }
        PutUint32LE(h + header_field::kAttachmentCount,
                    overrides_.attachmentCount.value_or(static_cast<uint32_t>(attachments_.size())));
        PutUint64LE(h + header_field::kReserved2, overrides_.reserved2);

        if (layout != nullptr) *layout = std::move(where);
        return out;
    }

private:
    struct Attachment {
        std::string fileName;
        std::vector<uint8_t> data;
        AttachmentOverrides overrides;
        size_t fillSize;      // with `fill`: the bytes it writes
        AttachmentFill fill;  // set: the bytes come from it, not from `data`
        size_t DataSize() const noexcept { return fill ? fillSize : data.size(); }
    };

    // The length of the request Build() makes.
    uint64_t Length() const noexcept {
        uint64_t length = kMailHeaderSize + subject_.size() + 1 + body_.size() + 1;
        for (const auto& group : groups_)
            for (const auto& recipient : group) length += recipient.first.size() + 1 + recipient.second.size() + 1;
        for (const auto& attachment : attachments_)
            length += kAttachmentRecordFixedSize + attachment.fileName.size() + 1 + attachment.DataSize();
        if (overrides_.unterminatedLastString && length > kMailHeaderSize) --length;
        return length + padding_.size() + trailer_.size();
    }

    std::string subject_;
    std::string body_;
    uint32_t flags_ = 0;
    std::vector<std::pair<std::string, std::string>> groups_[kRecipientGroupCount];
    std::vector<Attachment> attachments_;
    std::vector<uint8_t> padding_;
    std::vector<uint8_t> trailer_;
    Overrides overrides_;
};

// Splits a request into the chunks sent one after another on the channel;
// every chunk but the last has `chunkSize` bytes. The receiver learns the
// request's length from the first chunk, so that chunk should hold at least
// the first 16 bytes (any chunkSize of 16 or more does).
inline std::vector<std::vector<uint8_t>> SplitIntoChunks(const std::vector<uint8_t>& request, size_t chunkSize) {
    if (chunkSize == 0) throw std::invalid_argument("chunk size must not be 0");
    std::vector<std::vector<uint8_t>> chunks;
    chunks.reserve(request.size() / chunkSize + 1);
    for (size_t pos = 0; pos < request.size(); pos += chunkSize) {
        const size_t n = request.size() - pos < chunkSize ? request.size() - pos : chunkSize;
        chunks.emplace_back(request.begin() + static_cast<std::ptrdiff_t>(pos),
                            request.begin() + static_cast<std::ptrdiff_t>(pos + n));
    }
    return chunks;
}

// The same split without copying: calls consume(const uint8_t* data, size_t
// size) once per chunk, in order (not at all for an empty request). Useful
// for large requests, where SplitIntoChunks would double the memory.
template <class Consumer>
void ForEachChunk(const std::vector<uint8_t>& request, size_t chunkSize, Consumer&& consume) {
    if (chunkSize == 0) throw std::invalid_argument("chunk size must not be 0");
    for (size_t pos = 0; pos < request.size(); pos += chunkSize) {
        const size_t n = request.size() - pos < chunkSize ? request.size() - pos : chunkSize;
        consume(request.data() + pos, n);
    }
}

}  // namespace zobrik::sdk
