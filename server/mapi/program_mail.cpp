#include "server/mapi/program_mail.h"

#include <cctype>

#include "include/utf_conversion.h"

namespace zobrik::mapi {

// The wide structures have the ANSI ones' layout (server/mapi/win/mapi_layout.cpp checks
// the ANSI ones against <mapi.h>).
static_assert(sizeof(MapiMessageW) == sizeof(MapiMessageA) && sizeof(MapiRecipDescW) == sizeof(MapiRecipDescA) &&
              sizeof(MapiFileDescW) == sizeof(MapiFileDescA));

namespace {

std::string Ordinal(size_t index) { return std::to_string(index + 1); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The part after the last '\' or '/'.
std::string LastPart(std::string_view path) {
    const size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Reads the strings of one structure family (ANSI or wide) through `decode`.
template <class Char, class Decode>
class MessageReader {
public:
    explicit MessageReader(const Decode& decode) : decode_(decode) {}

    // Null is the empty text; false when the text does not decode.
    bool Text(const Char* text, std::string& out) const {
        if (text == nullptr) {
            out.clear();
            return true;
        }
        std::optional<std::string> decoded = decode_(text);
        if (!decoded) return false;
        out = std::move(*decoded);
        return true;
    }

    template <class Recip>
    Outcome Recipients(const Recip* originator, const Recip* list, uint32_t count, sdk::MailMessage& message) const {
        sdk::Recipient sender;
        // The originator names the sender when its address is usable; the
        // mail program sends from the user's own account whatever it says,
        // so one it cannot use is left out rather than refusing the mail.
        if (originator != nullptr && Usable(*originator, sender)) message.sender.push_back(std::move(sender));
        for (uint32_t i = 0; i < count; ++i) {
            const Recip& entry = list[i];
            std::vector<sdk::Recipient>* group = nullptr;
            switch (entry.ulRecipClass) {
                case kMapiOrig: {
                    sdk::Recipient from;
                    if (Usable(entry, from)) message.from.push_back(std::move(from));
                    continue;
                }
                case kMapiTo:
                    group = &message.to;
                    break;
                case kMapiCc:
                    group = &message.cc;
                    break;
                case kMapiBcc:
                    group = &message.bcc;
                    break;
                default:
                    return Refuse(kMapiBadRecipType, "recipient " + Ordinal(i) + " has the class " +
                                                         std::to_string(entry.ulRecipClass) +
                                                         ", not MAPI_TO, MAPI_CC, MAPI_BCC or MAPI_ORIG");
            }
            sdk::Recipient recipient;
            std::string problem;
            if (!Read(entry, recipient, problem))
                return Refuse(kMapiUnknownRecipient, "recipient " + Ordinal(i) + " " + problem);
            group->push_back(std::move(recipient));
        }
        return {};
    }

    template <class File>
    Outcome Attachments(const File* list, uint32_t count, std::vector<ProgramAttachment>& out) const {
        for (uint32_t i = 0; i < count; ++i) {
            const File& file = list[i];
            const std::string which = "attachment " + Ordinal(i);
            ProgramAttachment attachment;
            if (file.lpszPathName == nullptr || !Text(file.lpszPathName, attachment.path) || attachment.path.empty())
                return Refuse(kMapiAttachmentNotFound,
                              which + (file.lpszPathName == nullptr || attachment.path.empty()
                                           ? " has no path"
                                           : "'s path is not text in the program's character set"));
            if (NamesDevice(attachment.path))
                return Refuse(kMapiAttachmentOpenFailure,
                              which + " (\"" + attachment.path + "\") names a device, not a file");
            std::string offered;
            if (!Text(file.lpszFileName, offered))
                return Refuse(kMapiAttachmentOpenFailure, which + "'s name is not text in the program's character set");
            attachment.fileName = LastPart(offered);
            if (attachment.fileName.empty()) attachment.fileName = LastPart(attachment.path);
            if (attachment.fileName.empty())
                return Refuse(kMapiAttachmentNotFound, which + " (\"" + attachment.path + "\") names no file");
            out.push_back(std::move(attachment));
        }
        return {};
    }

private:
    template <class Recip>
    bool Read(const Recip& entry, sdk::Recipient& out, std::string& problem) const {
        std::string name;
        std::string address;
        if (!Text(entry.lpszName, name) || !Text(entry.lpszAddress, address)) {
            problem = "is not text in the program's character set";
            return false;
        }
        std::string why;
        out.address = UsableAddress(address, name, why);
        if (out.address.empty()) {
            problem = "(\"" + (address.empty() ? name : address) + "\") has no usable mail address: " + why;
            return false;
        }
        out.displayName = std::string(Trimmed(name)) == out.address ? std::string() : name;
        return true;
    }

    template <class Recip>
    bool Usable(const Recip& entry, sdk::Recipient& out) const {
        std::string problem;
        return Read(entry, out, problem);
    }

    const Decode& decode_;
};

template <class Message, class Decode>
Outcome ReadMessage(const Message* message, const Decode& decode, ProgramMail& mail) {
    if (message == nullptr) return Refuse(kMapiFailure, "the program passed no message");
    const uint32_t recipients = message->nRecipCount;
    const uint32_t files = message->nFileCount;
    // Counts first: nothing is read from a list longer than the client
    // takes, or from one that is not there.
    if (recipients > sdk::kPluginMaxRecipients)
        return Refuse(kMapiTooManyRecipients, "the program names " + std::to_string(recipients) +
                                                  " recipients, more than the client's plug-in takes (" +
                                                  std::to_string(sdk::kPluginMaxRecipients) + ")");
    if (recipients > 0 && message->lpRecips == nullptr)
        return Refuse(kMapiInvalidRecips,
                      "the program counts " + std::to_string(recipients) + " recipients but passes no list");
    if (files > sdk::kPluginMaxAttachments)
        return Refuse(kMapiTooManyFiles, "the program names " + std::to_string(files) +
                                             " attachments, more than the client's plug-in takes (" +
                                             std::to_string(sdk::kPluginMaxAttachments) + ")");
    if (files > 0 && message->lpFiles == nullptr)
        return Refuse(kMapiAttachmentNotFound,
                      "the program counts " + std::to_string(files) + " attachments but passes no list");

    using Char = std::remove_pointer_t<decltype(message->lpszSubject)>;
    const MessageReader<Char, Decode> reader(decode);
    ProgramMail read;
    if (!reader.Text(message->lpszSubject, read.message.subject))
        return Refuse(kMapiFailure, "the subject is not text in the program's character set");
    if (!reader.Text(message->lpszNoteText, read.message.body))
        return Refuse(kMapiFailure, "the note text is not text in the program's character set");
    Outcome outcome = reader.Recipients(message->lpOriginator, message->lpRecips, recipients, read.message);
    if (!outcome.Succeeded()) return outcome;
    outcome = reader.Attachments(message->lpFiles, files, read.attachments);
    if (!outcome.Succeeded()) return outcome;
    mail = std::move(read);
    return {};
}

std::optional<std::string> DecodeWide(const WideChar* text) { return StrictUtf8FromUtf16(WideStringView(text)); }

// Splits `list` at every `delimiter`; empty parts are dropped.
std::vector<std::string> SplitList(const std::string& list, const std::string& delimiter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = list.find(delimiter, start);
        const std::string part = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) break;
        start = end + delimiter.size();
    }
    return parts;
}

}  // namespace

std::optional<std::string> StrictUtf8FromUtf16(WideStringView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t unit = char16_t(text[i]);
        const char32_t c = TakeCodePoint(text, i);
        // TakeCodePoint reads a lone surrogate as U+FFFD; a U+FFFD that the
        // text really holds is one unit that is not a surrogate.
        if (c == 0xFFFD && unit >= 0xD800 && unit <= 0xDFFF) return std::nullopt;
        AppendUtf8(out, c);
    }
    return out;
}

Outcome ReadProgramMail(const MapiMessageA* message, const AnsiDecoder& decode, ProgramMail& mail) {
    return ReadMessage(message, decode, mail);
}

Outcome ReadProgramMail(const MapiMessageW* message, ProgramMail& mail) {
    return ReadMessage(message, DecodeWide, mail);
}

Outcome ReadSentDocuments(const char* delimiter, const char* paths, const char* names, const AnsiDecoder& decode,
                          ProgramMail& mail) {
    if (delimiter == nullptr || *delimiter == '\0')
        return Refuse(kMapiFailure, "MAPISendDocuments was called without a delimiter");
    std::string mark;
    std::string pathList;
    std::string nameList;
    const auto text = [&](const char* in, std::string& out) {
        if (in == nullptr) return true;
        std::optional<std::string> decoded = decode(in);
        if (decoded) out = std::move(*decoded);
        return bool(decoded);
    };
    // The delimiter is one character: in a double-byte code page, the
    // decoded text of its first one or two bytes.
    if (!text(delimiter, mark) || mark.empty())
        return Refuse(kMapiFailure, "the delimiter is not text in the program's character set");
    mark = mark.substr(0, 1 + (static_cast<unsigned char>(mark[0]) >= 0xC0) +
                              (static_cast<unsigned char>(mark[0]) >= 0xE0) +
                              (static_cast<unsigned char>(mark[0]) >= 0xF0));
    if (!text(paths, pathList))
        return Refuse(kMapiAttachmentNotFound, "the file paths are not text in the program's character set");
    if (!text(names, nameList))
        return Refuse(kMapiAttachmentOpenFailure, "the file names are not text in the program's character set");
    const std::vector<std::string> pathParts = SplitList(pathList, mark);
    const std::vector<std::string> nameParts = SplitList(nameList, mark);
    if (pathParts.size() > sdk::kPluginMaxAttachments)
        return Refuse(kMapiTooManyFiles, "the program names " + std::to_string(pathParts.size()) +
                                             " attachments, more than the client's plug-in takes (" +
                                             std::to_string(sdk::kPluginMaxAttachments) + ")");
    ProgramMail read;
    for (size_t i = 0; i < pathParts.size(); ++i) {
        ProgramAttachment attachment;
        attachment.path = pathParts[i];
        if (NamesDevice(attachment.path))
            return Refuse(kMapiAttachmentOpenFailure,
                          "attachment " + Ordinal(i) + " (\"" + attachment.path + "\") names a device, not a file");
        attachment.fileName = LastPart(i < nameParts.size() ? nameParts[i] : attachment.path);
        if (attachment.fileName.empty()) attachment.fileName = LastPart(attachment.path);
        if (attachment.fileName.empty())
            return Refuse(kMapiAttachmentNotFound,
                          "attachment " + Ordinal(i) + " (\"" + attachment.path + "\") names no file");
        read.attachments.push_back(std::move(attachment));
    }
    mail = std::move(read);
    return {};
}

std::string UsableAddress(std::string_view address, std::string_view name, std::string& problem) {
    std::string_view candidate = Trimmed(address);
    // Without an address, a name that is an address stands for itself.
    if (candidate.empty()) candidate = Trimmed(name);
    if (StartsWithNoCase(candidate, "SMTP:")) candidate = Trimmed(candidate.substr(5));
    if (candidate.empty()) {
        problem = "it has neither an address nor a name";
        return {};
    }
    problem = sdk::AddressProblem(candidate);
    return problem.empty() ? std::string(candidate) : std::string();
}

bool ResolveName(std::string_view name, sdk::Recipient& out, std::string& problem) {
    std::string_view text = Trimmed(name);
    if (StartsWithNoCase(text, "SMTP:")) text = Trimmed(text.substr(5));
    try {
        out = sdk::ParseRecipient(text);
    } catch (const sdk::RecipientError& e) {
        problem = e.what();
        return false;
    }
    return true;
}

bool NamesDevice(std::string_view path) {
    // \\.\ is the device namespace; \\?\ passes a path on unparsed, which
    // is a file only as \\?\C:\... or \\?\UNC\...
    if (path.size() >= 4 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
        (path[3] == '\\' || path[3] == '/')) {
        if (path[2] == '.') return true;
        if (path[2] == '?') {
            const std::string_view rest = path.substr(4);
            const bool drive = rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':';
            return !drive && !StartsWithNoCase(rest, "UNC\\");
        }
    }
    // The last part's name before its first dot or colon, without the
    // trailing blanks that Win32 drops ("NUL .txt" and "CON:" are devices).
    std::string base = LastPart(path);
    if (base.size() >= 2 && base[1] == ':' && std::isalpha(static_cast<unsigned char>(base[0]))) base.erase(0, 2);
    base = base.substr(0, base.find_first_of(".:"));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
    std::string upper;
    for (const char c : base) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* reserved : kNames)
        if (upper == reserved) return true;
    if (upper.size() >= 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0)) {
        const std::string_view digit = std::string_view(upper).substr(3);
        // COM0-9, LPT0-9, and the superscripts ¹ ² ³ (UTF-8 C2 B9, C2 B2, C2 B3).
        if (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') return true;
        if (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3") return true;
    }
    return false;
}

}  // namespace zobrik::mapi
