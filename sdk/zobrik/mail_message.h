// Zobrik mail message: the mail as an application describes it, the loading of
// attachments from files, and BuildMailRequest, which turns a message into
// the request that is sent on the "Zobrik/mail" channel.
//
// Header-only, C++17 standard library only.
//
//   zobrik::sdk::MailMessage mail;
//   mail.subject = "Report";
//   mail.body = "The report is attached.";
//   mail.to.push_back(zobrik::sdk::ParseRecipient("Ann Lee <ann@example.com>"));
//   mail.attachments.push_back(zobrik::sdk::LoadAttachment("C:\\reports\\q3.pdf"));
//   std::vector<uint8_t> request = zobrik::sdk::BuildMailRequest(std::move(mail));
//   for (const auto& chunk : zobrik::sdk::SplitIntoChunks(request, zobrik::sdk::kDefaultMailChunkSize))
//       WriteToChannel(chunk);   // one channel write per chunk
//
// All text is UTF-8. The plug-in shows the mail in the user's mail program
// (Simple MAPI: a compose dialog), or with preferOutlook through Outlook.
// MailRequestWriter (mail_request_writer.h) stays available for requests that
// this struct cannot express, malformed ones included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "address.h"
#include "channels.h"
#include "mail_request_writer.h"

namespace zobrik::sdk {

// One attachment: the name under which the mail program offers it and its
// bytes. The plug-in uses only the part of the name after the last '\' or
// '/' as the file name on the client.
struct Attachment {
    std::string fileName;
    std::vector<uint8_t> data;
    // Instead of `data`: the attachment's size and a function that writes
    // exactly that many bytes straight into the request while
    // BuildMailRequest builds it (a file read into its place), so that a
    // large attachment is held in memory once, not twice.
    uint64_t fillSize = 0;
    AttachmentFill fill = {};

    uint64_t Size() const noexcept { return fill ? fillSize : data.size(); }
};

struct MailMessage {
    std::string subject;
    std::string body;              // plain text, or HTML with htmlBody
    bool htmlBody = false;         // kMailFlagHtmlBody: Outlook stores the body as HTML
    bool sendImmediately = false;  // kMailFlagImmediate: Outlook sends at once instead of
                                   // showing the mail; Simple MAPI opens a modeless dialog
    bool preferOutlook = false;    // kMailFlagOutlook: try Outlook first, Simple MAPI after

    // The five recipient groups. `from` and `sender` name the originator:
    // Simple MAPI uses the first `sender` entry, or else the first `from`
    // entry; Outlook picks the sending account from both. A mail without any
    // `to`, `cc` or `bcc` recipient is handed over with the compose window,
    // where the user fills in the To line (HasRecipient tells).
    std::vector<Recipient> from;
    std::vector<Recipient> sender;
    std::vector<Recipient> to;
    std::vector<Recipient> cc;
    std::vector<Recipient> bcc;

    std::vector<Attachment> attachments;

    uint32_t Flags() const noexcept {
        return (htmlBody ? kMailFlagHtmlBody : 0u) | (sendImmediately ? kMailFlagImmediate : 0u) |
               (preferOutlook ? kMailFlagOutlook : 0u);
    }
    const std::vector<Recipient>& Group(RecipientGroup group) const {
        switch (group) {
            case RecipientGroup::From:
                return from;
            case RecipientGroup::Sender:
                return sender;
            case RecipientGroup::To:
                return to;
            case RecipientGroup::Cc:
                return cc;
            case RecipientGroup::Bcc:
                break;
        }
        return bcc;
    }
    std::vector<Recipient>& Group(RecipientGroup group) {
        return const_cast<std::vector<Recipient>&>(static_cast<const MailMessage&>(*this).Group(group));
    }
    bool HasRecipient() const noexcept { return !to.empty() || !cc.empty() || !bcc.empty(); }
};

// Raised by BuildMailRequest for a message that cannot be sent; what() says why.
class MailRequestError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

inline const char* RecipientGroupName(RecipientGroup group) noexcept {
    switch (group) {
        case RecipientGroup::From:
            return "from";
        case RecipientGroup::Sender:
            return "sender";
        case RecipientGroup::To:
            return "to";
        case RecipientGroup::Cc:
            return "cc";
        case RecipientGroup::Bcc:
            break;
    }
    return "bcc";
}

// The length of the request that BuildMailRequest makes of `message`,
// computed without building it.
inline uint64_t MailRequestSize(const MailMessage& message) noexcept {
    uint64_t size = kMailHeaderSize + message.subject.size() + 1 + message.body.size() + 1;
    for (size_t g = 0; g < kRecipientGroupCount; ++g) {
        for (const Recipient& r : message.Group(static_cast<RecipientGroup>(g)))
            size += r.displayName.size() + 1 + r.address.size() + 1;
    }
    uint64_t dataBytes = 0;
    bool anyEmpty = false;
    for (const Attachment& a : message.attachments) {
        size += kAttachmentRecordFixedSize + a.fileName.size() + 1;
        dataBytes += a.Size();
        anyEmpty = anyEmpty || a.Size() == 0;
    }
    // See BuildMailRequest: empty attachments need one data byte to point at.
    return size + dataBytes + (anyEmpty && dataBytes == 0 ? 1 : 0);
}

// Returns "" when BuildMailRequest accepts `message`, otherwise the reason:
// a text holding a zero byte (strings end at their first zero byte), an empty
// address, an attachment without a file name, an attachment above
// kMaxAttachmentSize, more than kPluginMaxRecipients recipients or
// kPluginMaxAttachments attachments, a request above
// kPluginMaxMailRequestSize (the plug-in refuses each of them). A mail
// without recipients is accepted: the client opens the compose window for it.
//
// Addresses are not checked beyond being non-empty; use AddressProblem or
// ParseRecipient for that.
inline std::string MailMessageProblem(const MailMessage& message) {
    const auto hasZero = [](const std::string& text) { return text.find('\0') != std::string::npos; };
    if (hasZero(message.subject)) return "the subject contains a zero byte";
    if (hasZero(message.body)) return "the body contains a zero byte";
    for (size_t g = 0; g < kRecipientGroupCount; ++g) {
        const RecipientGroup group = static_cast<RecipientGroup>(g);
        const std::string where = std::string("a '") + RecipientGroupName(group) + "' recipient";
        for (const Recipient& r : message.Group(group)) {
            if (hasZero(r.displayName)) return "the display name of " + where + " contains a zero byte";
            if (r.address.empty()) return "the address of " + where + " is empty";
            if (hasZero(r.address)) return "the address of " + where + " contains a zero byte";
        }
    }
    size_t recipients = 0;
    for (size_t g = 0; g < kRecipientGroupCount; ++g)
        recipients += message.Group(static_cast<RecipientGroup>(g)).size();
    if (recipients > kPluginMaxRecipients)
        return "the mail has " + std::to_string(recipients) + " recipients, more than the plug-in's " +
               std::to_string(kPluginMaxRecipients);
    if (message.attachments.size() > kPluginMaxAttachments)
        return "the mail has " + std::to_string(message.attachments.size()) + " attachments, more than the plug-in's " +
               std::to_string(kPluginMaxAttachments);
    for (size_t i = 0; i < message.attachments.size(); ++i) {
        const Attachment& a = message.attachments[i];
        const std::string which = "attachment " + std::to_string(i + 1) + " (\"" + a.fileName + "\")";
        if (hasZero(a.fileName))
            return "the file name of attachment " + std::to_string(i + 1) + " contains a zero byte";
        const size_t slash = a.fileName.find_last_of("\\/");
        if (a.fileName.empty() || slash == a.fileName.size() - 1) return which + " has no file name";
        if (a.Size() > kMaxAttachmentSize)
            return which + " is larger than " + std::to_string(kMaxAttachmentSize) + " bytes";
    }
    const uint64_t size = MailRequestSize(message);
    if (size > kPluginMaxMailRequestSize)
        return "the request would be " + std::to_string(size) + " bytes long, more than the plug-in's " +
               std::to_string(kPluginMaxMailRequestSize);
    return {};
}

namespace mail_message_detail {
template <bool kMoveData, class Message>
std::vector<uint8_t> Build(Message& message) {
    const std::string problem = MailMessageProblem(message);
    if (!problem.empty()) throw MailRequestError(problem);
    MailRequestWriter writer;
    writer.Subject(message.subject).Body(message.body).Flags(message.Flags());
    for (size_t g = 0; g < kRecipientGroupCount; ++g) {
        const RecipientGroup group = static_cast<RecipientGroup>(g);
        for (const Recipient& r : message.Group(group)) writer.AddRecipient(group, r.displayName, r.address);
    }
    // The receiver requires an attachment's first byte to lie inside the
    // request, even for an attachment of 0 bytes; one stored last would start
    // at the request's end and be refused. Empty attachments therefore point
    // at the start of the data area, and a request whose attachments are all
    // empty carries one ignored byte after the records to point at.
    bool anyEmpty = false;
    bool anyData = false;
    for (auto& a : message.attachments) {
        MailRequestWriter::AttachmentOverrides where;
        if (a.Size() == 0) {
            where.offset = 0;
            anyEmpty = true;
        } else {
            anyData = true;
        }
        if (a.fill) {
            // MailMessageProblem keeps the size within kMaxAttachmentSize.
            writer.AddAttachment(a.fileName, static_cast<size_t>(a.fillSize), a.fill, where);
        } else if constexpr (kMoveData) {
            writer.AddAttachment(a.fileName, std::move(a.data), where);
            a.data = {};
        } else {
            writer.AddAttachment(a.fileName, a.data, where);
        }
    }
    if (anyEmpty && !anyData) writer.Trailer({0});
    return writer.Build();
}
}  // namespace mail_message_detail

// Builds the request. Raises MailRequestError when MailMessageProblem finds
// a problem; nothing is built then.
inline std::vector<uint8_t> BuildMailRequest(const MailMessage& message) {
    return mail_message_detail::Build<false>(message);
}
// The same, but moves the attachments' bytes instead of copying them, which
// matters for large attachments. `message` keeps its texts; its attachments'
// data are left empty.
inline std::vector<uint8_t> BuildMailRequest(MailMessage&& message) {
    return mail_message_detail::Build<true>(message);
}

// UTF-8 <-> std::filesystem::path, in C++17 and in C++20 (where u8string()
// returns std::u8string).
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
#if defined(__cpp_lib_char8_t)
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::u8path(utf8.begin(), utf8.end());
#endif
}
inline std::string PathToUtf8(const std::filesystem::path& path) {
#if defined(__cpp_lib_char8_t)
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.u8string();
#endif
}

// Raised by ReadFileBytes and LoadAttachment. what() is "\"<path>\": <reason>",
// for instance "\"C:\\q3.pdf\": no such file".
class FileReadError : public std::runtime_error {
public:
    FileReadError(const std::filesystem::path& path, const std::string& reason)
        : std::runtime_error("\"" + PathToUtf8(path) + "\": " + reason), path_(path), reason_(reason) {}
    // Named as std::exception's what().
    // NOLINTBEGIN(readability-identifier-naming)
    const std::filesystem::path& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }
    // NOLINTEND(readability-identifier-naming)

private:
    std::filesystem::path path_;
    std::string reason_;
};

// Reads the whole file. Raises FileReadError with one of the reasons
// "no such file", "is a directory, not a file", "cannot be opened for reading
// (...)", "is larger than <maxSize> bytes" (checked before reading) or
// "could not be read completely".
inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path, uint64_t maxSize = UINT64_MAX) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) throw FileReadError(path, "no such file");
    if (error) throw FileReadError(path, "cannot be examined (" + error.message() + ")");
    if (status.type() == fs::file_type::directory) throw FileReadError(path, "is a directory, not a file");

    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw FileReadError(path, "cannot be opened for reading (no permission, or another program holds it open)");
    const std::string tooBig = "is larger than " + std::to_string(maxSize) + " bytes";
    std::vector<uint8_t> bytes;
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end >= 0) {
        if (static_cast<uint64_t>(end) > maxSize) throw FileReadError(path, tooBig);
        in.seekg(0, std::ios::beg);
        bytes.resize(static_cast<size_t>(end));
        if (end > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(end)))
            throw FileReadError(path, "could not be read completely");
        return bytes;
    }
    // Not seekable (a pipe or device): read up to the end.
    in.clear();
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > maxSize) throw FileReadError(path, tooBig);
    }
    if (in.bad()) throw FileReadError(path, "could not be read completely");
    return bytes;
}

// Reads `file` into an attachment named `fileName`. Raises FileReadError as
// ReadFileBytes does, with kMaxAttachmentSize as the size limit.
inline Attachment LoadAttachment(const std::filesystem::path& file, std::string fileName) {
    Attachment attachment;
    attachment.data = ReadFileBytes(file, kMaxAttachmentSize);
    attachment.fileName = std::move(fileName);
    return attachment;
}
// The same, named after the file's own name (without its folder).
inline Attachment LoadAttachment(const std::filesystem::path& file) {
    return LoadAttachment(file, PathToUtf8(file.filename()));
}

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF). The plug-in replaces malformed sequences, so a
// text that fails this check arrives garbled.
inline bool IsValidUtf8(std::string_view text) noexcept {
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

}  // namespace zobrik::sdk
