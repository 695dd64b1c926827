// The administrator's policy through the real DLL: values written into this
// prefix's registry (HKLM and HKCU) before the client creates the plug-in.
// Runs on a virtual display, where the confirmation box can be answered.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "mail_test_support.h"
#include "outlook_standin_client.h"
#include "scoped_policy.h"

namespace zobrik::testing {
namespace {

using standin::DebugCapture;
using standin::OutlookStandIn;

const std::vector<uint8_t> kOkay = {'o', 'k', 'a', 'y', 0, 0, 0, 0};
const std::vector<uint8_t> kFailed = {'f', 'a', 'i', 'l', 'e', 'd', 0, 0};

bool Logged(const std::string& event) { return DebugCapture::Count("Zobrik WTS DVC plugin: " + event + "\n") == 1; }

class Policy : public MailPipelineFixture {
protected:
    void SetUp() override {
        MailPipelineFixture::SetUp();
        marker_ = FreshTempFile(L"zobrik-policy-marker");
        SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker_.c_str());
    }

    // A client whose plug-in object reads the policy as it stands now.
    void Connect() {
        DebugCapture::Clear();
        client_ = StartedClient();
    }

    // Sends `text` on a new exec channel and returns the reply.
    std::vector<uint8_t> Exec(const std::string& text) {
        auto channel = client_->OpenChannel("Zobrik/exec");
        if (!channel) {
            ADD_FAILURE() << "the exec channel did not open";
            return {};
        }
        EXPECT_EQ(channel->Send(text), S_OK);
        if (!channel->WaitForWrites(1, kReplyTimeout + std::chrono::seconds(policySeconds_))) {
            ADD_FAILURE() << "no reply to " << text;
            return {};
        }
        return channel->Writes()[0];
    }

    bool MarkerRan() { return WaitForMarkerRuns(marker_, 1, kReplyTimeout); }
    bool MarkerStayedIdle() {
        Sleep(DWORD(std::chrono::milliseconds(kSilence).count()));
        return MarkerRuns(marker_) == 0;
    }

    ScopedPolicy policy_;
    std::wstring marker_;
    int policySeconds_ = 0;
};

TEST_F(Policy, ChannelsSwitchedOffAreNotOffered) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecChannel", 0);
    Connect();
    EXPECT_EQ(client_->OpenChannel("Zobrik/exec"), nullptr);
    EXPECT_FALSE(client_->LastOpenResult().hadListener);
    EXPECT_NE(client_->OpenChannel("Zobrik/mail"), nullptr);
    EXPECT_TRUE(Logged("exec channel not offered (policy ExecChannel)"));

    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecChannel", 1);
    policy_.Dword(HKEY_CURRENT_USER, L"MailChannel", 0);
    Connect();
    EXPECT_NE(client_->OpenChannel("Zobrik/exec"), nullptr);
    EXPECT_EQ(client_->OpenChannel("Zobrik/mail"), nullptr);
    EXPECT_EQ(client_->InitializeResult(), S_OK);
    EXPECT_TRUE(Logged("mail channel not offered (policy MailChannel)"));
}

TEST_F(Policy, MachineWinsAndItsMalformedSwitchesLeaveTheUsers) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecChannel", 1);
    policy_.Dword(HKEY_CURRENT_USER, L"ExecChannel", 0);
    Connect();
    EXPECT_NE(client_->OpenChannel("Zobrik/exec"), nullptr) << "the machine's value wins";

    policy_.Raw(HKEY_LOCAL_MACHINE, L"ExecChannel", REG_SZ, L"1", 4);
    Connect();
    EXPECT_EQ(client_->OpenChannel("Zobrik/exec"), nullptr) << "the user's value counts";
    EXPECT_TRUE(Logged("policy HKLM ExecChannel ignored: not a REG_DWORD"));
}

// A restriction that is present but unusable restricts everything it
// governs: patterns where schemes belong allow no scheme (not every one), an
// empty deny list refuses everything. A malformed switch is still ignored.
TEST_F(Policy, UnusableRestrictionsRestrictEverythingTheyGovern) {
    policy_.List(HKEY_LOCAL_MACHINE, L"ExecAllowedSchemes", {L"https://*", L"mailto:*"});
    policy_.List(HKEY_CURRENT_USER, L"ExecAllowedSchemes", {L"ftp"});
    policy_.Raw(HKEY_LOCAL_MACHINE, L"ExecAllowPrograms", REG_SZ, L"0", 4);
    Connect();
    EXPECT_TRUE(Logged("policy HKLM ExecAllowedSchemes unusable: no entry is a scheme; no scheme is allowed"));
    EXPECT_TRUE(Logged("policy HKLM ExecAllowPrograms ignored: not a REG_DWORD"));
    EXPECT_EQ(Exec("ftp://files.invalid/report.pdf"), kFailed);
    EXPECT_TRUE(Logged("exec refused: scheme ftp: is not allowed (policy ExecAllowedSchemes)"));
    EXPECT_EQ(Exec("https://intranet.invalid/"), kFailed);
    EXPECT_EQ(Exec(MarkerProgramPath()), kOkay) << "a path has no scheme, and the malformed switch is ignored";
    EXPECT_TRUE(MarkerRan());

    policy_.List(HKEY_LOCAL_MACHINE, L"ExecDenyList", {});
    const std::vector<BYTE> huge(70000, 'a');
    policy_.Raw(HKEY_CURRENT_USER, L"ExecAllowList", REG_MULTI_SZ, huge.data(), DWORD(huge.size()));
    Connect();
    EXPECT_TRUE(Logged("policy HKLM ExecDenyList unusable: empty; everything is refused"));
    EXPECT_TRUE(Logged("policy HKCU ExecAllowList unusable: longer than 65536 bytes; nothing is allowed"));
    EXPECT_EQ(Exec(MarkerProgramPath()), kFailed);
    EXPECT_TRUE(Logged("exec refused: matches the deny list entry \"*\" (policy ExecDenyList)"));
    EXPECT_EQ(MarkerRuns(marker_), 1);
}

TEST_F(Policy, SchemesOutsideTheListAreRefused) {
    policy_.List(HKEY_LOCAL_MACHINE, L"ExecAllowedSchemes", {L"https", L"MAILTO:"});
    Connect();
    EXPECT_EQ(Exec("ftp://files.invalid/report.pdf"), kFailed);
    EXPECT_TRUE(Logged("exec refused: scheme ftp: is not allowed (policy ExecAllowedSchemes)"));
    EXPECT_EQ(Exec("file:///C:/windows/win.ini"), kFailed);
    EXPECT_EQ(Exec(MarkerProgramPath()), kOkay) << "a path has no scheme";
    EXPECT_TRUE(MarkerRan());
}

TEST_F(Policy, ProgramsAreRefusedAndNotRun) {
    policy_.Dword(HKEY_CURRENT_USER, L"ExecAllowPrograms", 0);
    Connect();
    const std::string marker = MarkerProgramPath();
    EXPECT_EQ(Exec(marker), kFailed);
    EXPECT_EQ(Exec(marker.substr(0, marker.size() - 4)), kFailed) << "without its extension";
    EXPECT_TRUE(MarkerStayedIdle());
    EXPECT_TRUE(Logged("exec refused: program or script \"" + marker + "\" (policy ExecAllowPrograms)"));
}

// PATHEXT of the client's process names further programs, written as
// users do: with or without the dot, spaces around, any letter case.
TEST_F(Policy, ProgramsNamedOnlyByPathextAreRefusedToo) {
    std::wstring previous(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"PATHEXT", previous.data(), DWORD(previous.size()));
    previous.resize(length);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATHEXT", L".COM;.EXE; .ZobrikRun ;zbk"));
    policy_.Dword(HKEY_CURRENT_USER, L"ExecAllowPrograms", 0);
    Connect();
    const struct {
        const char* text;
        bool program;
    } cases[] = {
        {"C:\\zobrik-none\\report.zobrikrun", true},
        {"C:\\zobrik-none\\report.ZBK", true},
        {"C:\\zobrik-none\\report.zobrik", false},
        {"C:\\zobrik-none\\report.run", false},
    };
    for (const auto& each : cases) {
        const std::string line = std::string("Zobrik WTS DVC plugin: exec refused: program or script \"") + each.text +
                                 "\" (policy ExecAllowPrograms)\n";
        EXPECT_EQ(Exec(each.text), kFailed) << each.text;
        EXPECT_EQ(DebugCapture::Count(line), each.program ? 1u : 0u) << each.text;
    }
    SetEnvironmentVariableW(L"PATHEXT", length ? previous.c_str() : nullptr);
}

// A debugger line longer than the plug-in's line buffer ends cut, still
// with its newline: here a refusal that quotes a long path.
TEST_F(Policy, ProgramsWithLongPathsAreRefusedOnACutLine) {
    policy_.Dword(HKEY_CURRENT_USER, L"ExecAllowPrograms", 0);
    Connect();
    const std::string path = "C:\\zobrik-none\\" + std::string(600, 'p') + ".exe";
    EXPECT_EQ(Exec(path), kFailed);
    const std::string whole = "Zobrik WTS DVC plugin: exec refused: program or script \"" + path + "\"";
    constexpr size_t kLongestLine = 510;  // without the newline
    EXPECT_EQ(DebugCapture::Count(whole.substr(0, kLongestLine) + "\n"), 1u);
    EXPECT_TRUE(MarkerStayedIdle());
}

TEST_F(Policy, NetworkAndLocalPaths) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecAllowNetworkPaths", 0);
    Connect();
    for (const char* text :
         {"\\\\fileserver.invalid\\share\\a.pdf", "//fileserver.invalid/share/a.pdf",
          "file://fileserver.invalid/share/a.pdf", "\\\\fileserver.invalid@SSL\\DavWWWRoot\\a.pdf"}) {
        EXPECT_EQ(Exec(text), kFailed) << text;
    }
    // The first three name the same share, so they are refused with the same line.
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: exec refused: network path "
                                  "\"\\\\fileserver.invalid\\share\\a.pdf\" (policy ExecAllowNetworkPaths)\n"),
              3u);
    // N: is a network drive of the prefix (add-network-drive.sh).
    EXPECT_EQ(Exec("N:\\a.pdf"), kFailed);
    EXPECT_TRUE(Logged("exec refused: network path \"N:\\a.pdf\" (policy ExecAllowNetworkPaths)"));
    EXPECT_EQ(Exec(MarkerProgramPath()), kOkay);
    EXPECT_TRUE(MarkerRan());

    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecAllowNetworkPaths", 1);
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecAllowLocalPaths", 0);
    Connect();
    EXPECT_EQ(Exec(MarkerProgramPath()), kFailed);
    EXPECT_EQ(MarkerRuns(marker_), 1);
}

TEST_F(Policy, DenyListWinsOverAllowList) {
    const std::string marker = MarkerProgramPath();
    const std::wstring folder = standin::ExecutableDirectory();
    policy_.List(HKEY_LOCAL_MACHINE, L"ExecAllowList", {folder + L"*"});
    Connect();
    EXPECT_EQ(Exec("C:\\windows\\notepad.exe"), kFailed);
    EXPECT_TRUE(Logged("exec refused: matches no allow list entry (policy ExecAllowList)"));
    EXPECT_EQ(Exec(marker), kOkay);
    EXPECT_TRUE(MarkerRan());

    policy_.List(HKEY_CURRENT_USER, L"ExecDenyList", {L"*\\MARKER.EXE"});
    Connect();
    EXPECT_EQ(Exec(marker), kFailed);
    EXPECT_TRUE(Logged("exec refused: matches the deny list entry \"*\\MARKER.EXE\" (policy ExecDenyList)"));
    EXPECT_EQ(MarkerRuns(marker_), 1);
}

// Host names are mapped by Windows' own IdnToAscii before they are compared;
// a quote inside a URL never reaches the handler's command line.
TEST_F(Policy, UrlsAreComparedAsBrowsersReadThem) {
    policy_.List(HKEY_LOCAL_MACHINE, L"ExecDenyList", {L"https://evil.invalid/*", L"http://10.0.0.1/*"});
    Connect();
    const std::string utf8 = "\xEF\xBB\xBF";
    for (const std::string& text :
         {utf8 + "https://\xEF\xBD\x85\xEF\xBD\x96\xEF\xBD\x89\xEF\xBD\x8C.invalid/",  // fullwidth letters
          utf8 + "https://evil\xE3\x80\x82invalid/",                                   // U+3002
          utf8 + "https://ev\xC2\xADil.invalid/",                                      // soft hyphen
          std::string("https:evil.invalid:443/x"), std::string("http://0x0a000001/")}) {
        EXPECT_EQ(Exec(text), kFailed) << text;
    }
    EXPECT_EQ(DebugCapture::Count("Zobrik WTS DVC plugin: exec refused: matches the deny list entry "
                                  "\"https://evil.invalid/*\" (policy ExecDenyList)\n"),
              4u);
    EXPECT_TRUE(Logged("exec refused: matches the deny list entry \"http://10.0.0.1/*\" (policy ExecDenyList)"));

    policy_.Remove(HKEY_LOCAL_MACHINE, L"ExecDenyList");
    policy_.List(HKEY_LOCAL_MACHINE, L"ExecAllowList", {L"https://intranet.invalid/*", L"https://fass.invalid/*"});
    Connect();
    // A browser reaches xn--fa-hia.invalid, not fass.invalid.
    EXPECT_EQ(Exec(utf8 + "https://fa\xC3\x9F.invalid/"), kFailed);
    EXPECT_TRUE(Logged("exec refused: URL cannot be read as a browser reads it (policy ExecAllowList)"));
    EXPECT_EQ(Exec("https://intranet.invalid/\" \"https://evil.invalid/"), kFailed);
    EXPECT_TRUE(Logged("exec refused: URL contains a quote, space or control character"));
}

// What the confirmation box showed, and the answer given to it.
struct BoxSeen {
    bool found = false;
    bool owned = true;
    RECT box{};
    RECT dontOpen{};
    std::wstring text;
    std::wstring openButton;
    std::wstring dontOpenButton;
    bool dontOpenIsDefault = false;  // what Enter or a stray key press answers
    bool warningIcon = false;        // the box warns, as its text does
};

// The box's icon, as the system's message box shows it.
HICON BoxIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (HICON icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0))) {
            return icon;
        }
    }
    return nullptr;
}

std::wstring ItemText(HWND box, int id) {
    wchar_t text[8192] = {};
    GetDlgItemTextW(box, id, text, 8192);
    return text;
}

// The box's text without its line breaks: the box breaks the asked text
// into lines of a fixed width, so a long path (a deep build folder) spans
// lines.
std::wstring WithoutLineBreaks(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    return text;
}

// Waits for the box, reads it and answers with `button` (0: no answer).
BoxSeen AnswerBox(int button) {
    BoxSeen seen;
    for (int i = 0; i < 200 && !seen.found; ++i) {
        HWND box = FindWindowW(L"#32770", L"Zobrik WTS Plugin");
        if (!box || !IsWindowVisible(box)) {
            Sleep(100);
            continue;
        }
        Sleep(200);  // the box names its buttons as it is activated
        seen.found = true;
        seen.owned = GetWindow(box, GW_OWNER) != nullptr;
        GetWindowRect(box, &seen.box);
        GetWindowRect(GetDlgItem(box, IDNO), &seen.dontOpen);
        seen.text = ItemText(box, 0xFFFF);
        seen.openButton = ItemText(box, IDYES);
        seen.dontOpenButton = ItemText(box, IDNO);
        seen.dontOpenIsDefault = (GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        seen.warningIcon = BoxIcon(box) == LoadIconW(nullptr, IDI_WARNING);
        if (button) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
        }
    }
    return seen;
}

TEST_F(Policy, ConfirmationOpensOnlyWhatTheUserAccepts) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirm", 1);
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirmTimeout", 3);
    policySeconds_ = 3;
    Connect();
    const std::string marker = MarkerProgramPath();

    BoxSeen seen;
    std::thread accept([&seen] { seen = AnswerBox(IDYES); });
    EXPECT_EQ(Exec(marker), kOkay);
    accept.join();
    ASSERT_TRUE(seen.found) << "no confirmation box appeared";
    EXPECT_FALSE(seen.owned) << "the box belongs to no window";
    EXPECT_NE(WithoutLineBreaks(seen.text).find(standin::ExecutableDirectory() + L"marker.exe"), std::wstring::npos);
    EXPECT_EQ(seen.openButton, L"&Open");
    EXPECT_EQ(seen.dontOpenButton, L"&Don't open");
    EXPECT_TRUE(seen.dontOpenIsDefault);
    EXPECT_TRUE(seen.warningIcon);
    EXPECT_TRUE(MarkerRan());

    std::thread decline([&seen] { seen = AnswerBox(IDNO); });
    EXPECT_EQ(Exec(marker), kFailed);
    decline.join();
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(Logged("exec refused: the user chose not to open it (policy ExecConfirm)"));

    const DWORD before = GetTickCount();
    std::thread ignore([&seen] { seen = AnswerBox(0); });
    EXPECT_EQ(Exec(marker), kFailed);
    ignore.join();
    EXPECT_TRUE(seen.found);
    EXPECT_GE(GetTickCount() - before, 2500u) << "the box waited for its time-out";
    EXPECT_TRUE(Logged("exec refused: the user did not answer in time (policy ExecConfirm)"));
    EXPECT_EQ(FindWindowW(L"#32770", L"Zobrik WTS Plugin"), nullptr) << "the box closed";
    EXPECT_EQ(MarkerRuns(marker_), 1) << "only the accepted text ran";
}

TEST_F(Policy, ConfirmationShowsHiddenCharacters) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirm", 1);
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirmTimeout", 5);
    policySeconds_ = 5;
    Connect();
    BoxSeen seen;
    std::thread decline([&seen] { seen = AnswerBox(IDNO); });
    EXPECT_EQ(Exec("C:\\missing\\report\ttxt.pdf"), kFailed);
    decline.join();
    EXPECT_NE(seen.text.find(L"C:\\missing\\report<U+0009>txt.pdf"), std::wstring::npos);
}

TEST_F(Policy, ConfirmationShowsTheHostInAsciiAndKeepsTheWarningInView) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirm", 1);
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirmTimeout", 5);
    policySeconds_ = 5;
    Connect();
    // "intrаnet" with a Cyrillic а (U+0430), sent as UTF-8; 1,940 characters,
    // the rest of one of the widest letters.
    std::string text = "\xEF\xBB\xBFhttps://intr\xD0\xB0net.example.com/";
    text += std::string(1940 - 29, 'W');
    BoxSeen seen;
    std::thread decline([&seen] { seen = AnswerBox(IDNO); });
    EXPECT_EQ(Exec(text), kFailed);
    decline.join();
    ASSERT_TRUE(seen.found);
    EXPECT_NE(seen.text.find(L":\n\nhttps://xn--intrnet-5fg.example.com\n\nhttps://intr\u0430net.example.com/"),
              std::wstring::npos)
        << "the host in punycode on its own line above the text";
    EXPECT_NE(seen.text.find(L"Open it only if you expected this"), std::wstring::npos);
    const LONG screenBottom = GetSystemMetrics(SM_CYSCREEN);
    const LONG screenRight = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_GE(seen.box.top, 0);
    EXPECT_LE(seen.box.bottom, screenBottom) << "the whole box is on the screen";
    EXPECT_LE(seen.box.right, screenRight);
    EXPECT_LE(seen.dontOpen.bottom, screenBottom) << "and so is its \"Don't open\" button";
}

MailRequestWriter TwoRecipientMail(uint32_t flags) {
    MailRequestWriter writer;
    writer.Subject("Offer")
        .Body("Dear Ann")
        .Flags(flags)
        .AddRecipient(RecipientGroup::To, "Ann", "ann@example.com")
        .AddRecipient(RecipientGroup::Cc, "Bob", "bob@example.com")
        .AddAttachment("offer.pdf", Pattern(300, 1));
    return writer;
}

TEST_F(Policy, MailLimitsAreLowered) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"MailMaxRecipients", 1);
    Connect();
    EXPECT_EQ(Exchange(TwoRecipientMail(0).Build()), ErrorReply("too many records"));
    EXPECT_TRUE(Logged("mail refused: 2 recipients, at most 1 (policy MailMaxRecipients)"));
    EXPECT_EQ(mapi_.CallCount(), 0u);
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty()) << "nothing staged";

    policy_.Dword(HKEY_LOCAL_MACHINE, L"MailMaxRecipients", 2);
    policy_.Dword(HKEY_CURRENT_USER, L"MailMaxAttachments", 0);
    Connect();
    EXPECT_EQ(Exchange(TwoRecipientMail(0).Build()), ErrorReply("too many records"));
    EXPECT_TRUE(Logged("mail refused: 1 attachments, at most 0 (policy MailMaxAttachments)"));

    policy_.Dword(HKEY_CURRENT_USER, L"MailMaxAttachments", 1);
    policy_.Dword(HKEY_CURRENT_USER, L"MailMaxRequestBytes", 1000);
    Connect();
    EXPECT_EQ(Exchange(MinimalMailRequest(1001), 100), ErrorReply("request too large"));
    EXPECT_TRUE(Logged("mail refused: request of 1001 bytes, at most 1000 (policy MailMaxRequestBytes)"));
    EXPECT_EQ(Exchange(TwoRecipientMail(0).Build()), StatusOkReply()) << "within every limit";
    EXPECT_EQ(mapi_.CallCount(), 1u);
}

class PolicyOutlookRoute : public Policy {
protected:
    void SetUp() override {
        outlook_ = OutlookStandIn::Load();
        ASSERT_TRUE(outlook_.Valid()) << "the Outlook stand-in is not registered in this prefix";
        outlook_.Reset();
        Policy::SetUp();
    }
    void TearDown() override {
        outlook_.Reset();
        Policy::TearDown();
    }
    size_t OutlookCalls(const std::string& part) {
        size_t count = 0;
        for (const auto& call : outlook_.Calls()) {
            count += call.find(part) != std::string::npos;
        }
        return count;
    }
    OutlookStandIn outlook_;
};

TEST_F(PolicyOutlookRoute, WithoutOutlookTheMailGoesToSimpleMapi) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"MailAllowOutlook", 0);
    Connect();
    EXPECT_EQ(Exchange(TwoRecipientMail(sdk::kMailFlagOutlook).Build()), StatusOkReply());
    EXPECT_EQ(mapi_.CallCount(), 1u);
    EXPECT_TRUE(outlook_.Calls().empty());
    EXPECT_TRUE(Logged("mail handed to Simple MAPI, not Outlook (policy MailAllowOutlook)"));
}

TEST_F(PolicyOutlookRoute, WithoutImmediateSendOutlookShowsTheMail) {
    Connect();
    EXPECT_EQ(Exchange(TwoRecipientMail(sdk::kMailFlagOutlook | sdk::kMailFlagImmediate).Build()), StatusOkReply());
    EXPECT_EQ(OutlookCalls("_MailItem.Send() -> S_OK"), 1u) << "sent without the policy";

    policy_.Dword(HKEY_CURRENT_USER, L"MailAllowImmediateSend", 0);
    Connect();
    outlook_.Reset();
    EXPECT_EQ(Exchange(TwoRecipientMail(sdk::kMailFlagOutlook | sdk::kMailFlagImmediate).Build()), StatusOkReply());
    EXPECT_EQ(OutlookCalls("_MailItem.Send"), 0u);
    EXPECT_EQ(OutlookCalls("_Inspector.Display(VT_INT 0) -> S_OK"), 1u);
    EXPECT_EQ(mapi_.CallCount(), 0u);
    EXPECT_TRUE(Logged("mail shown instead of sent at once (policy MailAllowImmediateSend)"));
}

}  // namespace
}  // namespace zobrik::testing

namespace zobrik::testing {
namespace {

// Run without a display: the box cannot be shown, and nothing is opened.
using PolicyWithoutDisplay = Policy;

TEST_F(PolicyWithoutDisplay, ConfirmationThatCannotBeShownRefuses) {
    policy_.Dword(HKEY_LOCAL_MACHINE, L"ExecConfirm", 1);
    Connect();
    EXPECT_EQ(Exec(MarkerProgramPath()), kFailed);
    EXPECT_TRUE(MarkerStayedIdle());
    EXPECT_TRUE(Logged("exec refused: the confirmation could not be shown (policy ExecConfirm)"));
}

}  // namespace
}  // namespace zobrik::testing
