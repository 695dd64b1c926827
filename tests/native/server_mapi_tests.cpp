// The session host's Simple MAPI provider, its platform-free part: reading
// a program's MapiMessage(W), the checks of its attachments, the request
// that reaches the channel (decoded with the plug-in's own decoder), and the
// mapping of the plug-in's replies to Simple MAPI results.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/utf_conversion.h"
#include "mail/mail_decoder.h"
#include "server/mapi/mail_hand_over.h"
#include "server/mapi/previous_client.h"
#include "server/mapi/program_mail.h"
#include "zobrik/client_calls.h"

namespace zobrik::mapi {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- Programs' structures --------------------------------------------------

// Holds the strings and arrays that a MapiMessage(W) points at.
template <class Char>
struct ProgramStrings {
    std::deque<std::basic_string<Char>> texts;
    Char* Put(const std::basic_string<Char>& text) { return texts.emplace_back(text).data(); }
};

std::u16string U(const char* utf8) { return Utf8ToUtf16Lenient(utf8); }

struct WideProgram {
    ProgramStrings<WideChar> strings;
    std::vector<MapiRecipDescW> recips;
    std::vector<MapiFileDescW> files;
    MapiMessageW message{};

    WideChar* T(const char* utf8) {
        const std::u16string u = U(utf8);
        return strings.Put(WideString(u.begin(), u.end()));
    }
    void AddRecipient(uint32_t cls, const char* name, const char* address) {
        MapiRecipDescW r{};
        r.ulRecipClass = cls;
        r.lpszName = name ? T(name) : nullptr;
        r.lpszAddress = address ? T(address) : nullptr;
        recips.push_back(r);
    }
    void AddFile(const char* path, const char* name = nullptr) {
        MapiFileDescW f{};
        f.lpszPathName = path ? T(path) : nullptr;
        f.lpszFileName = name ? T(name) : nullptr;
        files.push_back(f);
    }
    MapiMessageW* Get() {
        message.nRecipCount = uint32_t(recips.size());
        message.lpRecips = recips.empty() ? nullptr : recips.data();
        message.nFileCount = uint32_t(files.size());
        message.lpFiles = files.empty() ? nullptr : files.data();
        return &message;
    }
};

WideProgram Typical() {
    WideProgram p;
    p.message.lpszSubject = p.T("Quarterly report");
    p.message.lpszNoteText = p.T("See the attached file.\r\nAnn");
    p.AddRecipient(kMapiTo, "Bob Stone", "SMTP:bob@example.com");
    p.AddRecipient(kMapiCc, "carol@example.com", nullptr);
    p.AddRecipient(kMapiBcc, nullptr, " dave@example.com ");
    p.AddFile("C:\\reports\\q3.pdf");
    return p;
}

Outcome Read(WideProgram& p, ProgramMail& mail) { return ReadProgramMail(p.Get(), mail); }

TEST(ServerMapiRead, TypicalMessageReadsIntoGroupsWithBareAddresses) {
    WideProgram p = Typical();
    p.AddFile("C:\\reports\\data.csv", "Sales\\figures.csv");
    ProgramMail mail;
    ASSERT_TRUE(Read(p, mail).Succeeded());
    EXPECT_EQ(mail.message.subject, "Quarterly report");
    EXPECT_EQ(mail.message.body, "See the attached file.\r\nAnn");
    ASSERT_EQ(mail.message.to.size(), 1u);
    EXPECT_EQ(mail.message.to[0], (sdk::Recipient{"Bob Stone", "bob@example.com"}));
    ASSERT_EQ(mail.message.cc.size(), 1u);
    EXPECT_EQ(mail.message.cc[0], (sdk::Recipient{"", "carol@example.com"}));
    ASSERT_EQ(mail.message.bcc.size(), 1u);
    EXPECT_EQ(mail.message.bcc[0].address, "dave@example.com");
    ASSERT_EQ(mail.attachments.size(), 2u);
    EXPECT_EQ(mail.attachments[0].path, "C:\\reports\\q3.pdf");
    EXPECT_EQ(mail.attachments[0].fileName, "q3.pdf");
    EXPECT_EQ(mail.attachments[1].fileName, "figures.csv");
}

TEST(ServerMapiRead, OriginatorIsTheSenderOnlyWithAUsableAddress) {
    WideProgram p = Typical();
    MapiRecipDescW originator{};
    originator.lpszName = p.T("Ann Lee");
    originator.lpszAddress = p.T("SMTP:ann@example.com");
    p.message.lpOriginator = &originator;
    p.AddRecipient(kMapiOrig, "Accounts", "accounts@example.com");
    ProgramMail mail;
    ASSERT_TRUE(Read(p, mail).Succeeded());
    EXPECT_EQ(mail.message.sender, (std::vector<sdk::Recipient>{{"Ann Lee", "ann@example.com"}}));
    EXPECT_EQ(mail.message.from, (std::vector<sdk::Recipient>{{"Accounts", "accounts@example.com"}}));

    // Programs often name only the user: the mail goes without an originator.
    originator.lpszAddress = nullptr;
    ProgramMail without;
    ASSERT_TRUE(Read(p, without).Succeeded());
    EXPECT_TRUE(without.message.sender.empty());
}

struct BadMessage {
    const char* what;
    void (*spoil)(WideProgram&);
    uint32_t code;
    const char* lineHas;
};

const BadMessage kBadMessages[] = {
    {"recipients counted, no list", [](WideProgram& p) { p.recips.clear(), p.message.nRecipCount = 2; },
     kMapiInvalidRecips, "counts 2 recipients but passes no list"},
    {"files counted, no list", [](WideProgram& p) { p.files.clear(), p.message.nFileCount = 1; },
     kMapiAttachmentNotFound, "counts 1 attachments but passes no list"},
    {"unknown recipient class", [](WideProgram& p) { p.recips[1].ulRecipClass = 4; }, kMapiBadRecipType,
     "recipient 2 has the class 4"},
    {"recipient class far out", [](WideProgram& p) { p.recips[0].ulRecipClass = 0xFFFFFFFF; }, kMapiBadRecipType,
     "class 4294967295"},
    {"recipient with neither name nor address",
     [](WideProgram& p) { p.recips[0].lpszName = nullptr, p.recips[0].lpszAddress = nullptr; }, kMapiUnknownRecipient,
     "neither an address nor a name"},
    {"an Exchange address", [](WideProgram& p) { p.recips[0].lpszAddress = p.T("EX:/o=Org/cn=bob"); },
     kMapiUnknownRecipient, "recipient 1"},
    {"a name that is no address", [](WideProgram& p) { p.recips[1].lpszName = p.T("Carol Jones"); },
     kMapiUnknownRecipient, "(\"Carol Jones\") has no usable mail address"},
    {"two addresses in one", [](WideProgram& p) { p.recips[0].lpszAddress = p.T("bob@example.com,eve@evil.test"); },
     kMapiUnknownRecipient, "the character ','"},
    {"a lone surrogate in the subject",
     [](WideProgram& p) {
         p.message.lpszSubject = p.strings.Put(WideString{WideChar(0x48), WideChar(0xD800), WideChar(0x69)});
     },
     kMapiFailure, "subject is not text"},
    {"a lone surrogate in an address",
     [](WideProgram& p) {
         p.recips[0].lpszAddress = p.strings.Put(WideString{WideChar('b'), WideChar(0xDC00), WideChar('@')});
     },
     kMapiUnknownRecipient, "not text in the program's character set"},
    {"attachment without a path", [](WideProgram& p) { p.files[0].lpszPathName = nullptr; }, kMapiAttachmentNotFound,
     "attachment 1 has no path"},
    {"attachment with an empty path", [](WideProgram& p) { p.files[0].lpszPathName = p.T(""); },
     kMapiAttachmentNotFound, "attachment 1 has no path"},
    {"attachment path ending in a separator", [](WideProgram& p) { p.files[0].lpszPathName = p.T("C:\\reports\\"); },
     kMapiAttachmentNotFound, "names no file"},
    {"attachment naming a console", [](WideProgram& p) { p.files[0].lpszPathName = p.T("C:\\temp\\CON"); },
     kMapiAttachmentOpenFailure, "names a device"},
    {"attachment naming a pipe", [](WideProgram& p) { p.files[0].lpszPathName = p.T("\\\\.\\pipe\\secrets"); },
     kMapiAttachmentOpenFailure, "names a device"},
};

TEST(ServerMapiRead, BadInputAnswersItsSimpleMapiErrorAndReadsNothing) {
    for (const BadMessage& bad : kBadMessages) {
        SCOPED_TRACE(bad.what);
        WideProgram p = Typical();
        bad.spoil(p);
        ProgramMail mail;
        mail.message.subject = "untouched";
        MapiMessageW* message = p.Get();
        // Get() recounts from the arrays; a spoiled count is put back.
        if (p.recips.empty() && std::string(bad.what) == "recipients counted, no list") message->nRecipCount = 2;
        if (p.files.empty() && std::string(bad.what) == "files counted, no list") message->nFileCount = 1;
        const Outcome outcome = ReadProgramMail(message, mail);
        EXPECT_EQ(outcome.code, bad.code);
        EXPECT_NE(outcome.line.find("ZobrikMapi: "), std::string::npos);
        EXPECT_NE(outcome.line.find(bad.lineHas), std::string::npos) << outcome.line;
        EXPECT_EQ(mail.message.subject, "untouched");
    }
}

TEST(ServerMapiRead, CountsAboveTheClientsLimitsAreRefusedBeforeAnyEntryIsRead) {
    WideProgram p = Typical();
    MapiMessageW* message = p.Get();
    // The lists hold 3 and 1 entries: reading past them would be caught by
    // the address sanitizer.
    message->nRecipCount = 1001;
    ProgramMail mail;
    EXPECT_EQ(ReadProgramMail(message, mail).code, kMapiTooManyRecipients);
    message->nRecipCount = 3;
    message->nFileCount = 251;
    EXPECT_EQ(ReadProgramMail(message, mail).code, kMapiTooManyFiles);
    EXPECT_EQ(ReadProgramMail(static_cast<const MapiMessageW*>(nullptr), mail).code, kMapiFailure);
}

// An ANSI decoder standing in for a code page in which the byte 0x81 is
// undefined (as in Windows-1252); other bytes read as Latin-1.
std::optional<std::string> TestCodePage(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        const auto b = static_cast<unsigned char>(*c);
        if (b == 0x81) return std::nullopt;
        AppendUtf8(out, char32_t(b));
    }
    return out;
}

TEST(ServerMapiRead, AnsiStringsAreReadInTheProgramsCodePage) {
    char subject[] = "Caf\xE9";
    char name[] = "Zo\xEB";
    char address[] = "zoe@example.com";
    char path[] = "C:\\r\xE9sum\xE9.txt";
    MapiRecipDescA recipient{0, kMapiTo, name, address, 0, nullptr};
    MapiFileDescA file{0, 0, 0xFFFFFFFF, path, nullptr, nullptr};
    MapiMessageA message{};
    message.lpszSubject = subject;
    message.nRecipCount = 1;
    message.lpRecips = &recipient;
    message.nFileCount = 1;
    message.lpFiles = &file;
    ProgramMail mail;
    ASSERT_TRUE(ReadProgramMail(&message, TestCodePage, mail).Succeeded());
    EXPECT_EQ(mail.message.subject, "Caf\xC3\xA9");
    EXPECT_EQ(mail.message.to[0].displayName, "Zo\xC3\xAB");
    EXPECT_EQ(mail.attachments[0].fileName, "r\xC3\xA9sum\xC3\xA9.txt");

    char undefined[] = "\x81";
    message.lpszNoteText = undefined;
    EXPECT_EQ(ReadProgramMail(&message, TestCodePage, mail).code, kMapiFailure);
    message.lpszNoteText = nullptr;
    file.lpszFileName = undefined;
    EXPECT_EQ(ReadProgramMail(&message, TestCodePage, mail).code, kMapiAttachmentOpenFailure);
    file.lpszFileName = nullptr;
    file.lpszPathName = undefined;
    EXPECT_EQ(ReadProgramMail(&message, TestCodePage, mail).code, kMapiAttachmentNotFound);
}

TEST(ServerMapiRead, SentDocumentsAreSplitAtTheDelimiter) {
    char delimiter[] = ";";
    char paths[] = "C:\\a\\one.txt;C:\\b\\two.pdf;";
    char names[] = "First.txt";
    ProgramMail mail;
    ASSERT_TRUE(ReadSentDocuments(delimiter, paths, names, TestCodePage, mail).Succeeded());
    ASSERT_EQ(mail.attachments.size(), 2u);
    EXPECT_EQ(mail.attachments[0].path, "C:\\a\\one.txt");
    EXPECT_EQ(mail.attachments[0].fileName, "First.txt");
    EXPECT_EQ(mail.attachments[1].fileName, "two.pdf");
    EXPECT_FALSE(mail.message.HasRecipient());
    EXPECT_EQ(ReadSentDocuments(nullptr, paths, names, TestCodePage, mail).code, kMapiFailure);
    char device[] = "C:\\x\\nul.txt";
    EXPECT_EQ(ReadSentDocuments(delimiter, device, nullptr, TestCodePage, mail).code, kMapiAttachmentOpenFailure);
}

TEST(ServerMapiRead, DeviceNamesAndNamespacesAreToldFromFiles) {
    const char* const devices[] = {"CON",
                                   "c:\\x\\nul",
                                   "nul.txt",
                                   "C:\\x\\COM1.log",
                                   "lpt9",
                                   "AUX .txt",
                                   "CON:",
                                   "prn.",
                                   "C:NUL",
                                   "conin$",
                                   "COM\xC2\xB9",
                                   "\\\\.\\C:\\x.txt",
                                   "//./pipe/x",
                                   "\\\\?\\GLOBALROOT\\Device\\Null",
                                   "\\\\?\\Volume{0}\\x"};
    for (const char* path : devices) EXPECT_TRUE(NamesDevice(path)) << path;
    const char* const files[] = {"C:\\x\\console.txt",
                                 "COM10",
                                 "NULL.txt",
                                 "C:\\CON\\report.txt",
                                 "\\\\?\\C:\\long\\path.txt",
                                 "\\\\?\\UNC\\server\\share\\a.txt",
                                 "\\\\server\\share\\aux1.txt",
                                 "lpt",
                                 "report.con"};
    for (const char* path : files) EXPECT_FALSE(NamesDevice(path)) << path;
}

TEST(ServerMapiRead, NamesResolveWhenTheyAreAddresses) {
    struct Case {
        const char* name;
        bool resolves;
        const char* address;
        const char* displayName;
    };
    const Case cases[] = {
        {"ann@example.com", true, "ann@example.com", ""},
        {" SMTP:ann@example.com ", true, "ann@example.com", ""},
        {"Ann Lee <ann@example.com>", true, "ann@example.com", "Ann Lee"},
        {"Ann Lee", false, "", ""},
        {"ann@example.com; eve@evil.test", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        sdk::Recipient r;
        std::string problem;
        EXPECT_EQ(ResolveName(c.name, r, problem), c.resolves) << c.name;
        if (!c.resolves) continue;
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(r.displayName, c.displayName);
    }
}

TEST(ServerMapiPrevious, TheProvidersOwnNameIsNeverThePreviousClient) {
    for (const wchar_t* own : {L"Zobrik", L"zobrik", L"ZOBRIK", L" Zobrik "}) EXPECT_TRUE(IsOwnMailClientName(own));
    for (const wchar_t* other : {L"Microsoft Outlook", L"Zobrik2", L"Zobri", L"", L"Mozilla Thunderbird"})
        EXPECT_FALSE(IsOwnMailClientName(other));
    EXPECT_STREQ(PreviousMailClientValue(true), L"MailClient");
    EXPECT_STREQ(PreviousMailClientValue(false), L"MailClient32");
}

// ---- The hand-over -----------------------------------------------------------

class FakeChannel : public sdk::ChannelTransport {
public:
    void Open(const std::string&) override { open = true; }
    void Write(const uint8_t* data, size_t size) override {
        if (failWrites) throw sdk::ChannelError(sdk::ChannelErrorKind::WriteFailed, "the client went away");
        received.insert(received.end(), data, data + size);
        ++writes;
    }
    std::optional<Bytes> Read(std::chrono::milliseconds timeout) override {
        waited = timeout;
        if (replies.empty()) throw sdk::ChannelError(sdk::ChannelErrorKind::ReadFailed, "closed");
        Bytes reply = replies.front();
        replies.pop_front();
        return reply;
    }
    void Close() noexcept override { open = false; }

    bool open = true;
    bool failWrites = false;
    Bytes received;
    size_t writes = 0;
    std::optional<std::chrono::milliseconds> waited;
    std::deque<Bytes> replies{Bytes{0}};
};

Bytes ErrorReply(const std::string& text) {
    const std::string full = "Exception: " + std::string("char const *").append(19 - 12, ' ') + text;
    Bytes bytes(full.begin(), full.end());
    bytes.push_back(0);
    return bytes;
}

// Files by path: their bytes, or what else the file system says.
struct FakeFiles {
    std::map<std::string, Bytes> contents;
    std::map<std::string, AttachmentFile::Kind> others;
    std::map<std::string, uint64_t> claimedSizes;  // a size other than the bytes'
    size_t reads = 0;

    AttachmentOpener Opener() {
        return [this](const std::string& path) {
            AttachmentFile file;
            if (auto other = others.find(path); other != others.end()) {
                file.kind = other->second;
                file.systemError = other->second == AttachmentFile::Kind::Unreadable ? 32 : 0;
                return file;
            }
            auto content = contents.find(path);
            if (content == contents.end()) return file;
            file.kind = AttachmentFile::Kind::File;
            const Bytes& bytes = content->second;
            auto claimed = claimedSizes.find(path);
            file.size = claimed != claimedSizes.end() ? claimed->second : bytes.size();
            file.fill = [this, &bytes](uint8_t* out, size_t size) {
                ++reads;
                if (size > bytes.size()) throw AttachmentReadError("attachment became shorter while it was read");
                std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(size), out);
            };
            return file;
        };
    }
};

std::string Utf8(const WideChar* text) { return text ? Utf16ToUtf8(text) : "(null)"; }

struct ServerMapiHandOver : ::testing::Test {
    FakeChannel channel;
    FakeFiles files;

    ProgramMail TypicalMail() {
        WideProgram p = Typical();
        ProgramMail mail;
        EXPECT_TRUE(Read(p, mail).Succeeded());
        return mail;
    }
    Outcome Send(ProgramMail mail, uint32_t flags = 0) {
        return HandOver(std::move(mail), flags, files.Opener(), channel);
    }
};

TEST_F(ServerMapiHandOver, TheClientReceivesExactlyTheProgramsMail) {
    Bytes pdf(70000);
    for (size_t i = 0; i < pdf.size(); ++i) pdf[i] = uint8_t(i * 7 + 3);
    files.contents["C:\\reports\\q3.pdf"] = pdf;
    files.contents["C:\\empty.txt"] = {};
    ProgramMail mail = TypicalMail();
    mail.attachments.push_back({"C:\\empty.txt", "empty.txt"});
    ASSERT_TRUE(Send(std::move(mail)).Succeeded());
    EXPECT_EQ(channel.waited, sdk::kWaitForever);
    EXPECT_GT(channel.writes, 1u);  // in chunks

    const MailRequest decoded = DecodeMailRequest(channel.received.data(), uint32_t(channel.received.size()));
    EXPECT_EQ(decoded.flags, 0u);
    EXPECT_EQ(Utf8(decoded.subject), "Quarterly report");
    EXPECT_EQ(Utf8(decoded.body), "See the attached file.\r\nAnn");
    ASSERT_EQ(decoded.toCount + decoded.ccCount + decoded.bccCount, 3u);
    EXPECT_EQ(Utf8(decoded.recipients[0].address), "bob@example.com");
    EXPECT_EQ(Utf8(decoded.recipients[0].displayName), "Bob Stone");
    EXPECT_EQ(Utf8(decoded.recipients[1].address), "carol@example.com");
    EXPECT_EQ(Utf8(decoded.recipients[2].address), "dave@example.com");
    ASSERT_EQ(decoded.attachmentCount, 2u);
    EXPECT_EQ(Utf8(decoded.attachments[0].fileName), "q3.pdf");
    EXPECT_EQ(Bytes(decoded.attachments[0].data, decoded.attachments[0].data + decoded.attachments[0].size), pdf);
    EXPECT_EQ(Utf8(decoded.attachments[1].fileName), "empty.txt");
    EXPECT_EQ(decoded.attachments[1].size, 0u);
}

TEST_F(ServerMapiHandOver, ModelessAsksForTheImmediateHandOverAndEveryOtherCallForTheComposeWindow) {
    files.contents["C:\\reports\\q3.pdf"] = {1};
    for (const uint32_t flags : {0u, kMapiDialog, kMapiDialogModeless | kMapiDialog}) {
        channel.received.clear();
        channel.replies = {Bytes{0}};
        ASSERT_TRUE(Send(TypicalMail(), flags).Succeeded());
        const MailRequest decoded = DecodeMailRequest(channel.received.data(), uint32_t(channel.received.size()));
        EXPECT_EQ(decoded.flags, (flags & kMapiDialogModeless) ? uint32_t(sdk::kMailFlagImmediate) : 0u) << flags;
    }
}

struct FileCase {
    const char* what;
    void (*prepare)(FakeFiles&);
    uint32_t code;
    const char* lineHas;
};

const FileCase kFileCases[] = {
    {"missing", [](FakeFiles&) {}, kMapiAttachmentNotFound, "does not exist"},
    {"a folder", [](FakeFiles& f) { f.others["C:\\reports\\q3.pdf"] = AttachmentFile::Kind::Folder; },
     kMapiAttachmentOpenFailure, "is a folder"},
    {"a device", [](FakeFiles& f) { f.others["C:\\reports\\q3.pdf"] = AttachmentFile::Kind::Device; },
     kMapiAttachmentOpenFailure, "is a device"},
    {"locked", [](FakeFiles& f) { f.others["C:\\reports\\q3.pdf"] = AttachmentFile::Kind::Unreadable; },
     kMapiAttachmentOpenFailure, "cannot be opened for reading (system error 32)"},
    {"larger than the client takes",
     [](FakeFiles& f) {
         f.contents["C:\\reports\\q3.pdf"] = {1};
         f.claimedSizes["C:\\reports\\q3.pdf"] = sdk::kPluginMaxMailRequestSize + 1;
     },
     kMapiAttachmentTooLarge, "more than the client's plug-in takes in one mail"},
    {"together larger than a request",
     [](FakeFiles& f) {
         f.contents["C:\\reports\\q3.pdf"] = {1};
         f.claimedSizes["C:\\reports\\q3.pdf"] = sdk::kPluginMaxMailRequestSize - 10;
     },
     kMapiAttachmentTooLarge, "the mail would be"},
    {"shrinks while read",
     [](FakeFiles& f) {
         f.contents["C:\\reports\\q3.pdf"] = {1, 2};
         f.claimedSizes["C:\\reports\\q3.pdf"] = 5;
     },
     kMapiAttachmentOpenFailure, "became shorter"},
};

TEST_F(ServerMapiHandOver, AttachmentsThatCannotBeSentAreRefusedAndNothingReachesTheChannel) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(c.what);
        files = FakeFiles();
        channel.received.clear();
        c.prepare(files);
        const Outcome outcome = Send(TypicalMail());
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_NE(outcome.line.find(c.lineHas), std::string::npos) << outcome.line;
        EXPECT_TRUE(channel.received.empty());
        EXPECT_FALSE(channel.waited.has_value());
    }
    // Sizes are checked before any byte is read.
    files = FakeFiles();
    kFileCases[4].prepare(files);
    Send(TypicalMail());
    EXPECT_EQ(files.reads, 0u);
}

// MAPISendDocuments and Explorer's "Send to" name nobody: the client opens
// the compose window and the user fills in the To line.
TEST_F(ServerMapiHandOver, MailsWithoutRecipientsReachTheClient) {
    files.contents["C:\\reports\\q3.pdf"] = {1, 2, 3};
    for (const uint32_t flags : {0u, kMapiDialog, kMapiDialogModeless | kMapiDialog}) {
        channel.received.clear();
        channel.replies = {Bytes{0}};
        ProgramMail noRecipients = TypicalMail();
        noRecipients.message.to.clear();
        noRecipients.message.cc.clear();
        noRecipients.message.bcc.clear();
        ASSERT_TRUE(Send(std::move(noRecipients), flags).Succeeded()) << flags;
        const MailRequest decoded = DecodeMailRequest(channel.received.data(), uint32_t(channel.received.size()));
        EXPECT_FALSE(decoded.HasRecipient()) << flags;
        ASSERT_EQ(decoded.attachmentCount, 1u) << flags;
        EXPECT_EQ(decoded.attachments[0].size, 3u) << flags;
    }
}

TEST_F(ServerMapiHandOver, MailsTheClientCannotTakeAreRefusedBeforeSending) {
    files.contents["C:\\reports\\q3.pdf"] = {1};
    // 1,000 recipients and the originator: one record more than the client takes.
    ProgramMail many = TypicalMail();
    many.message.to.assign(998, sdk::Recipient{"", "x@example.com"});
    many.message.sender.push_back({"", "me@example.com"});
    EXPECT_EQ(Send(std::move(many)).code, kMapiTooManyRecipients);

    ProgramMail longText = TypicalMail();
    longText.attachments.clear();
    longText.message.body.assign(sdk::kPluginMaxMailRequestSize, 'x');
    EXPECT_EQ(Send(std::move(longText)).code, kMapiTextTooLarge);
    EXPECT_TRUE(channel.received.empty());
}

TEST_F(ServerMapiHandOver, ABrokenChannelIsAFailure) {
    files.contents["C:\\reports\\q3.pdf"] = {1};
    channel.failWrites = true;
    const Outcome written = Send(TypicalMail());
    EXPECT_EQ(written.code, kMapiFailure);
    EXPECT_NE(written.line.find("the client went away"), std::string::npos);
    channel.failWrites = false;
    channel.replies.clear();  // the channel closes before the reply
    EXPECT_EQ(Send(TypicalMail()).code, kMapiFailure);
}

TEST(ServerMapiReply, EveryReplyOfThePluginMapsToItsSimpleMapiResult) {
    struct Case {
        Bytes reply;
        size_t recipients;
        size_t attachments;
        uint32_t code;
    };
    const Case cases[] = {
        {Bytes{0}, 1, 0, kMapiSuccess},
        {Bytes{2}, 1, 0, kMapiFailure},
        {ErrorReply("request too large"), 1, 1, kMapiAttachmentTooLarge},
        {ErrorReply("file too big"), 1, 1, kMapiAttachmentTooLarge},
        {ErrorReply("too many records"), 5, 0, kMapiTooManyRecipients},
        {ErrorReply("too many records"), 1, 3, kMapiTooManyFiles},
        {ErrorReply("too many records"), 4, 2, kMapiTooManyRecipients},
        {ErrorReply("not enough free disk space for the attachments"), 1, 1, kMapiAttachmentWriteFailure},
        {ErrorReply("too many attachments kept for open compose windows"), 1, 1, kMapiAttachmentWriteFailure},
        {ErrorReply("unable to write to temporary file"), 1, 1, kMapiAttachmentWriteFailure},
        {ErrorReply("staging directory is a link"), 1, 1, kMapiAttachmentWriteFailure},
        {ErrorReply("invalid recipient address"), 1, 0, kMapiUnknownRecipient},
        {ErrorReply("too many requests at once"), 1, 0, kMapiFailure},
        {ErrorReply("request timed out"), 1, 0, kMapiFailure},
        {ErrorReply("Invalid header version"), 1, 0, kMapiFailure},
        {Bytes{'E', 'x', 'c', 'e', 'p', 't', 'i', 'o', 'n', ':', ' ', 'u', 'n', 'k', 'n', 'o', 'w', 'n', 0}, 1, 0,
         kMapiFailure},
        {Bytes{1, 2, 3}, 1, 0, kMapiFailure},
    };
    for (const Case& c : cases) {
        const sdk::MailReply reply = sdk::ParseMailReply(c.reply);
        const Outcome outcome = MapReply(reply, c.recipients, c.attachments);
        EXPECT_EQ(outcome.code, c.code) << sdk::DescribeMailReply(reply);
        if (c.code == kMapiSuccess) continue;
        // The client's own text is on the debugger line.
        if (reply.kind == sdk::MailReplyKind::ErrorText)
            EXPECT_EQ(outcome.line, "ZobrikMapi: the client refused the mail: " + reply.text);
        else
            EXPECT_EQ(outcome.line.rfind("ZobrikMapi: ", 0), 0u);
    }
}

}  // namespace
}  // namespace zobrik::mapi
