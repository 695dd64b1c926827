// zobrik-send's command logic against a scripted transport: parsing, what is
// written on which channel, how replies and failures become output and exit
// codes, and that bad input never reaches a channel.
#include <algorithm>

#include <gtest/gtest.h>

#include "send_test_support.h"
#include "zobrik/zobrik.h"

namespace zobrik::send::testing {
namespace {

const Bytes kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const Bytes kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};
const Bytes kHandedOver = {0};

Bytes TextReply(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return b;
}

uint64_t ReadLe64(const uint8_t* p) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SendLogic : public ::testing::Test {
protected:
    CommandResult Run(const std::vector<std::string>& args, const std::string& defaultTransport = "") {
        return RunCommand(args, ScriptedTransports(script_), defaultTransport);
    }
    // The command failed on its input before any transport was made.
    void ExpectRefused(const CommandResult& r, const std::string& message) {
        EXPECT_EQ(r.code, kExitBadInput) << r.err;
        EXPECT_TRUE(Contains(r.err, message)) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(script_.transportNames.empty()) << "nothing may be sent";
        EXPECT_TRUE(script_.writes.empty());
    }

    Script script_;
    TempFolder folder_;
};

// --- help and usage ---------------------------------------------------------

TEST_F(SendLogic, HelpIsPrintedAndSucceeds) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"/?"}, {"help"}, {"open", "--help"}, {"mail", "--help"}, {"mail", "-h"}}) {
        const CommandResult r = Run(args);
        EXPECT_EQ(r.code, kExitOk) << args[0];
        EXPECT_TRUE(Contains(r.out, "usage:")) << r.out;
        EXPECT_TRUE(Contains(r.out, "Exit codes:")) << r.out;
        EXPECT_TRUE(Contains(r.out, "--attach FILE")) << r.out;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(script_.transportNames.empty());
}

TEST_F(SendLogic, UsageErrorsPointToHelp) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"send"}, "unknown command \"send\""},
        {{"open"}, "open needs a path or address"},
        {{"open", "a", "b"}, "open takes one path or address"},
        {{"open", ""}, "the path or address is empty"},
        {{"open", "--verbose", "x"}, "unknown option --verbose"},
        {{"open", "-v", "x"}, "unknown option -v"},
        {{"open", "--timeout", "soon", "x"}, "--timeout needs a whole number"},
        {{"open", "x", "--timeout"}, "--timeout needs a value"},
        {{"mail", "--to", "a@b.c", "--html=yes"}, "--html takes no value"},
        {{"mail", "--to", "a@b.c", "extra"}, "unexpected argument \"extra\""},
        {{"mail", "--to", "a@b.c", "--subject", "a", "--subject", "b"}, "--subject is given more than once"},
        {{"mail", "--to", "a@b.c", "--body", "a", "--body-file", "f"}, "give --body or --body-file, not both"},
        {{"mail", "--to", "a@b.c", "--chunk-size", "15"}, "--chunk-size needs a whole number from 16"},
        {{"mail", "--from", "me@example.com", "--subject", "x"}, "the mail needs a recipient"},
        {{"--transport=carrier-pigeon", "open", "x"}, "unknown transport \"carrier-pigeon\""},
    };
    for (const Case& c : cases) {
        const CommandResult r = Run(c.args);
        ExpectRefused(r, c.message);
        EXPECT_TRUE(Contains(r.err, "Try 'zobrik-send --help'.")) << r.err;
    }
}

// --- open -------------------------------------------------------------------

TEST_F(SendLogic, OpenWritesTheTextOnTheExecChannelAndReportsOkay) {
    script_.replies = {kOkay};
    const CommandResult r = Run({"open", "C:\\Tools\\report one.xlsx"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out, "opened\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(script_.transportNames, (std::vector<std::string>{"wts"})) << "the Remote Desktop transport by default";
    EXPECT_EQ(script_.opened, (std::vector<std::string>{"Zobrik/exec"}));
    ASSERT_EQ(script_.writes.size(), 1u);
    const std::string text = "C:\\Tools\\report one.xlsx";
    EXPECT_EQ(script_.writes[0], Bytes(text.begin(), text.end())) << "the bare text, one message";
    EXPECT_EQ(script_.readTimeouts, (std::vector<std::chrono::milliseconds>{60s}));
    EXPECT_EQ(script_.closes, 1);
}

TEST_F(SendLogic, OpenFailureIsExitOne) {
    script_.replies = {kFailed};
    const CommandResult r = Run({"open", "https://example.com"});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: the client's shell could not open it\n");
    EXPECT_EQ(script_.closes, 1);
}

TEST_F(SendLogic, OpenWithAMalformedReplyIsATransportFailure) {
    script_.replies = {Bytes{'o', 'k'}};
    const CommandResult r = Run({"open", "x"});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: not a reply of the plug-in: an exec reply has 8 bytes, this one 2\n");
}

TEST_F(SendLogic, OpenWithoutReplyTimesOut) {
    const CommandResult r = Run({"open", "--timeout", "5", "x"});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: no reply from the plug-in within 5 seconds\n");
    EXPECT_EQ(script_.readTimeouts, (std::vector<std::chrono::milliseconds>{5s}));
    EXPECT_EQ(script_.closes, 1);
}

TEST_F(SendLogic, TimeoutZeroWaitsWithoutLimit) {
    script_.replies = {kOkay};
    EXPECT_EQ(Run({"open", "--timeout=0", "x"}).code, kExitOk);
    EXPECT_EQ(script_.readTimeouts, (std::vector<std::chrono::milliseconds>{sdk::kWaitForever}));
}

TEST_F(SendLogic, DoubleDashAllowsATargetThatLooksLikeAnOption) {
    script_.replies = {kOkay};
    EXPECT_EQ(Run({"open", "--", "-odd name"}).code, kExitOk);
    ASSERT_EQ(script_.writes.size(), 1u);
    EXPECT_EQ(script_.writes[0], (Bytes{'-', 'o', 'd', 'd', ' ', 'n', 'a', 'm', 'e'}));
}

TEST_F(SendLogic, ChannelThatCannotBeOpenedIsExitThree) {
    script_.openError = "the channel \"Zobrik/exec\" is not available";
    const CommandResult r = Run({"open", "x"});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: the channel \"Zobrik/exec\" is not available\n");
    EXPECT_TRUE(script_.writes.empty());
}

TEST_F(SendLogic, TargetOutsideTheAnsiCodePageIsSentAsUtf8AfterTheMark) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "every character has a form in the code page";
    script_.replies = {kOkay, kOkay};
    const std::string snowman = "C:\\\xe2\x98\x83.txt";
    EXPECT_EQ(Run({"open", snowman}).code, kExitOk);
    const std::string marked = "\xEF\xBB\xBF" + snowman;
    ASSERT_EQ(script_.writes.size(), 1u);
    EXPECT_EQ(script_.writes[0], Bytes(marked.begin(), marked.end()));
    // A text the code page carries stays plain, for older plug-ins.
    EXPECT_EQ(Run({"open", "C:\\caf\xc3\xa9.txt"}).code, kExitOk);
    ASSERT_EQ(script_.writes.size(), 2u);
    const std::string plain = "C:\\caf\xe9.txt";
    if (GetACP() == 1252) {
        EXPECT_EQ(script_.writes[1], Bytes(plain.begin(), plain.end()));
    }
    EXPECT_NE(script_.writes[1][0], 0xEF);
}

// --- transports -------------------------------------------------------------

TEST_F(SendLogic, TransportIsChosenByOptionOrEnvironment) {
    script_.replies = {kOkay, kOkay, kOkay, kOkay};
    EXPECT_EQ(Run({"--transport=standin", "open", "x"}).code, kExitOk);
    EXPECT_EQ(Run({"open", "x", "--transport", "standin"}).code, kExitOk);
    EXPECT_EQ(Run({"open", "x"}, "standin").code, kExitOk);
    EXPECT_EQ(Run({"--transport=wts", "open", "x"}, "standin").code, kExitOk) << "the option wins";
    EXPECT_EQ(script_.transportNames, (std::vector<std::string>{"standin", "standin", "standin", "wts"}));
}

TEST_F(SendLogic, TransportMissingFromTheBuildIsRefused) {
    const TransportFactory none = [](const std::string&) { return std::unique_ptr<sdk::ChannelTransport>(); };
    const CommandResult r = RunCommand({"--transport=standin", "open", "x"}, none);
    EXPECT_EQ(r.code, kExitBadInput);
    EXPECT_EQ(r.err, "zobrik-send: this build of zobrik-send has no \"standin\" transport\n");
}

// --- mail -------------------------------------------------------------------

sdk::MailMessage ExpectedFullMail(const Bytes& first, const Bytes& second) {
    sdk::MailMessage m;
    m.subject = "Quarterly report \xc3\xa4";
    m.body = "See the attachments.";
    m.from = {{"", "me@example.com"}};
    m.sender = {{"Office", "office@example.com"}};
    m.to = {{"Ann Lee", "ann@example.com"}, {"", "bob@example.com"}};
    m.cc = {{"Lee, Cy", "cy@example.com"}};
    m.bcc = {{"", "di@example.com"}};
    m.attachments = {{"summary.pdf", first}, {"data.csv", second}};
    return m;
}

TEST_F(SendLogic, MailIsBuiltFromTheOptionsAndAnsweredHandedOver) {
    const Bytes first = Pattern(3000, 1);
    const Bytes second = Pattern(70, 2);
    const std::wstring a = folder_.Write(L"summary.pdf", first);
    const std::wstring b = folder_.Write(L"data.csv", second);
    script_.replies = {kHandedOver};
    const CommandResult r = Run({"mail",
                                 "--to",
                                 "Ann Lee <ann@example.com>",
                                 "--to=bob@example.com",
                                 "--cc",
                                 "\"Lee, Cy\" <cy@example.com>",
                                 "--bcc",
                                 "di@example.com",
                                 "--from",
                                 "me@example.com",
                                 "--sender",
                                 "Office <office@example.com>",
                                 "--subject",
                                 "Quarterly report \xc3\xa4",
                                 "--body",
                                 "See the attachments.",
                                 "--attach",
                                 Utf8(a),
                                 "--attach",
                                 Utf8(b)});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "handed over to the mail program\n");
    EXPECT_EQ(r.err, "") << "no progress line for a small mail";
    EXPECT_EQ(script_.opened, (std::vector<std::string>{"Zobrik/mail"}));
    EXPECT_EQ(script_.Joined(), sdk::BuildMailRequest(ExpectedFullMail(first, second)));
    EXPECT_EQ(script_.writes.size(), 1u) << "a small request is one chunk";
    EXPECT_EQ(script_.readTimeouts, (std::vector<std::chrono::milliseconds>{sdk::kWaitForever}))
        << "the reply comes when the user has closed the compose window";
    EXPECT_EQ(script_.closes, 1);
}

TEST_F(SendLogic, FlagOptionsSetTheHeaderFlags) {
    const std::pair<std::vector<std::string>, uint32_t> cases[] = {
        {{}, 0}, {{"--html"}, 1}, {{"--send-now"}, 2}, {{"--outlook"}, 4}, {{"--outlook", "--send-now", "--html"}, 7}};
    for (const auto& [flags, expected] : cases) {
        Script script;
        script.replies = {kHandedOver};
        std::vector<std::string> args = {"mail", "--to", "a@example.com"};
        args.insert(args.end(), flags.begin(), flags.end());
        ASSERT_EQ(RunCommand(args, ScriptedTransports(script)).code, kExitOk);
        const Bytes request = script.Joined();
        ASSERT_GE(request.size(), 8u);
        EXPECT_EQ(request[4] | request[5] << 8 | request[6] << 16 | request[7] << 24, int(expected));
    }
}

TEST_F(SendLogic, RequestIsWrittenInChunks) {
    const std::wstring file = folder_.Write(L"big.bin", Pattern(200000, 3));
    script_.replies = {kHandedOver};
    ASSERT_EQ(Run({"mail", "--to", "a@example.com", "--attach", Utf8(file)}).code, kExitOk);
    ASSERT_EQ(script_.writes.size(), 4u);
    EXPECT_EQ(script_.writes[0].size(), 65536u);
    EXPECT_EQ(script_.writes[2].size(), 65536u);
    const Bytes request = script_.Joined();
    const uint64_t total = ReadLe64(request.data() + 8);
    EXPECT_EQ(total, request.size()) << "the chunks add up to the announced length";

    Script small;
    small.replies = {kHandedOver};
    ASSERT_EQ(RunCommand({"mail", "--to", "a@example.com", "--attach", Utf8(file), "--chunk-size", "1000"},
                         ScriptedTransports(small))
                  .code,
              kExitOk);
    EXPECT_EQ(small.writes.size(), (request.size() + 999) / 1000);
    EXPECT_EQ(small.Joined(), request);
}

TEST_F(SendLogic, LargeRequestShowsProgressOnStandardError) {
    const std::wstring file = folder_.Write(L"large.bin", Pattern(3 * 1024 * 1024, 4));
    script_.replies = {kHandedOver};
    const CommandResult r = Run({"mail", "--to", "a@example.com", "--attach", Utf8(file)});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out, "handed over to the mail program\n");
    // One line, rewritten after "\r" whenever the percentage grows, ended
    // when everything is written.
    ASSERT_GT(r.err.size(), 2u);
    ASSERT_EQ(r.err[0], '\r') << r.err;
    ASSERT_EQ(r.err.back(), '\n') << r.err;
    const std::string prefix = "sending the mail request (3.0 MiB): ";
    std::vector<int> percentages;
    size_t start = 1;
    for (;;) {
        const size_t end = r.err.find_first_of("\r\n", start);
        const std::string piece = r.err.substr(start, end - start);
        ASSERT_EQ(piece.compare(0, prefix.size(), prefix), 0) << piece;
        ASSERT_EQ(piece.back(), '%') << piece;
        percentages.push_back(std::stoi(piece.substr(prefix.size())));
        if (r.err[end] == '\n') break;
        start = end + 1;
    }
    EXPECT_GT(percentages.size(), 10u);
    EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
    EXPECT_EQ(std::adjacent_find(percentages.begin(), percentages.end()), percentages.end()) << "no repeats";
    EXPECT_EQ(percentages.back(), 100);
}

TEST_F(SendLogic, ProgressOnlyOnAConsole) {
    const std::wstring file = folder_.Write(L"large.bin", Pattern(3 * 1024 * 1024, 4));
    script_.replies = {kHandedOver};
    const CommandResult r =
        RunCommand({"mail", "--to", "a@example.com", "--attach", Utf8(file)}, ScriptedTransports(script_), "", false);
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.err, "") << "a redirected error stream gets no progress steps";
}

TEST_F(SendLogic, VersionIsTheProjectsVersion) {
    const CommandResult r = Run({"--version"});
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.out, std::string("zobrik-send ") + ZOBRIK_VERSION + "\n");
    EXPECT_TRUE(script_.transportNames.empty()) << "nothing is sent";
}

TEST_F(SendLogic, BodyFileInUtf16WithItsMarkIsRead) {
    // "Hä\n☃" as Windows PowerShell 5.1 writes it (UTF-16 LE with its mark),
    // and big-endian.
    const std::wstring little = folder_.Write(L"le.txt", {0xFF, 0xFE, 'H', 0, 0xE4, 0, '\n', 0, 0x03, 0x26});
    const std::wstring big = folder_.Write(L"be.txt", {0xFE, 0xFF, 0, 'H', 0, 0xE4, 0, '\n', 0x26, 0x03});
    script_.replies = {kHandedOver, kHandedOver};
    sdk::MailMessage expected;
    expected.to = {{"", "a@example.com"}};
    expected.body = "H\xc3\xa4\n\xe2\x98\x83";
    for (const std::wstring& file : {little, big}) {
        script_.writes.clear();
        ASSERT_EQ(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(file)}).code, kExitOk);
        EXPECT_EQ(script_.Joined(), sdk::BuildMailRequest(expected)) << Utf8(file);
    }
    script_.transportNames.clear();
    script_.writes.clear();
    const std::wstring odd = folder_.Write(L"odd.txt", {0xFF, 0xFE, 'H'});
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(odd)}), "odd number of bytes");
    const std::wstring lone = folder_.Write(L"lone.txt", {0xFF, 0xFE, 0x00, 0xD8});  // a lone surrogate
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(lone)}), "not valid UTF-16 text");
}

TEST_F(SendLogic, BodyFileIsReadAsUtf8) {
    const std::wstring body = folder_.Write(L"body.txt", {0xEF, 0xBB, 0xBF, 'H', 0xC3, 0xA4, '\n'});
    script_.replies = {kHandedOver};
    ASSERT_EQ(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(body), "--html"}).code, kExitOk);
    sdk::MailMessage expected;
    expected.to = {{"", "a@example.com"}};
    expected.body = "H\xc3\xa4\n";
    expected.htmlBody = true;
    EXPECT_EQ(script_.Joined(), sdk::BuildMailRequest(expected)) << "the byte order mark is dropped";
}

TEST_F(SendLogic, BadBodyFilesAreRefused) {
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(folder_.File(L"none.txt"))}),
                  "cannot read the body file \"" + Utf8(folder_.File(L"none.txt")) + "\": no such file");
    const std::wstring latin1 = folder_.Write(L"latin1.txt", {'H', 0xE4, 'h'});
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(latin1)}),
                  "is not UTF-8 text; save it as UTF-8");
    const std::wstring utf16 = folder_.Write(L"utf16.txt", {'H', 0, 'i', 0});  // UTF-16 without its mark
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--body-file", Utf8(utf16)}), "contains a zero byte");
}

TEST_F(SendLogic, MissingAttachmentIsRefusedBeforeAnythingIsSent) {
    const std::wstring present = folder_.Write(L"present.txt", {1});
    const std::wstring missing = folder_.File(L"missing.pdf");
    const CommandResult r =
        Run({"mail", "--to", "a@example.com", "--attach", Utf8(present), "--attach", Utf8(missing)});
    ExpectRefused(r, "zobrik-send: cannot attach \"" + Utf8(missing) + "\": no such file\n");
    EXPECT_FALSE(Contains(r.err, "Try")) << "not a usage error";
}

TEST_F(SendLogic, FolderAndLockedFileAreRefused) {
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--attach", Utf8(folder_.Path())}),
                  "is a directory, not a file");

    const std::wstring locked = folder_.Write(L"locked.txt", {1, 2, 3});
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const CommandResult r = Run({"mail", "--to", "a@example.com", "--attach", Utf8(locked)});
    CloseHandle(holder);
    ExpectRefused(r, "\": cannot be opened for reading");
}

TEST_F(SendLogic, BadAddressesAreRefused) {
    ExpectRefused(Run({"mail", "--to", "ann.example.com"}),
                  "zobrik-send: --to: bad recipient \"ann.example.com\": the address is not usable: it has no '@'\n");
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--cc", "Ann <ann@example.com"}), "--cc: bad recipient");
    ExpectRefused(Run({"mail", "--to", "a@example.com", "--from", "a@b,c@d"}),
                  "--from: bad recipient \"a@b,c@d\": the address is not usable: it contains the character ','");
    ExpectRefused(Run({"mail", "--bcc", "<>"}), "--bcc: bad recipient \"<>\": the address is not usable: it is empty");
}

TEST_F(SendLogic, ErrorTextOfThePluginIsExitOne) {
    script_.replies = {TextReply("Exception: char const *       temp path too long")};
    const CommandResult r = Run({"mail", "--to", "a@example.com"});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zobrik-send: the plug-in reported an error: temp path too long\n");
}

TEST_F(SendLogic, OtherFailureRepliesAreExitOne) {
    script_.replies = {TextReply("Exception: unknown"), Bytes{2}};
    CommandResult r = Run({"mail", "--to", "a@example.com"});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.err, "zobrik-send: the plug-in reported an error of unknown type\n");
    r = Run({"mail", "--to", "a@example.com"});
    EXPECT_EQ(r.code, kExitPluginFailed);
    EXPECT_EQ(r.err, "zobrik-send: the plug-in reported the status 2\n");
}

TEST_F(SendLogic, MalformedOrMissingMailReplyIsExitThree) {
    script_.replies = {Bytes{0, 0}};
    CommandResult r = Run({"mail", "--to", "a@example.com"});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: not a reply of the plug-in: a mail reply has 1 byte or at least 19, this one 2\n");

    r = Run({"mail", "--to", "a@example.com", "--timeout", "1"});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: no reply from the plug-in within 1 second\n");
}

TEST_F(SendLogic, BrokenWriteIsExitThreeAndClosesTheChannel) {
    const std::wstring file = folder_.Write(L"big.bin", Pattern(200000, 5));
    script_.failWrite = 1;
    const CommandResult r = Run({"mail", "--to", "a@example.com", "--attach", Utf8(file)});
    EXPECT_EQ(r.code, kExitTransport);
    EXPECT_EQ(r.err, "zobrik-send: the channel broke\n");
    EXPECT_EQ(script_.writes.size(), 1u);
    EXPECT_TRUE(script_.readTimeouts.empty()) << "no reply is awaited";
    EXPECT_EQ(script_.closes, 1);
}

}  // namespace
}  // namespace zobrik::send::testing
