// Mails with the Outlook flag, handed to the Outlook stand-in (registered in
// this test's Wine prefix), with Simple MAPI's recording stand-in as the
// fall-back; and the self-test against the same stand-in.
#include <fstream>
#include <thread>

#include "mail_test_support.h"
#include "outlook_standin_client.h"

namespace zobrik::testing {
namespace {

using standin::OutlookStandIn;
using standin::Quoted;

// The lines of `calls` that contain `part`.
std::vector<std::string> Matching(const std::vector<std::string>& calls, const std::string& part) {
    std::vector<std::string> out;
    for (const auto& call : calls) {
        if (call.find(part) != std::string::npos) out.push_back(call);
    }
    return out;
}

// Whether `parts` occur in `calls` in this order (each in a later line).
::testing::AssertionResult InOrder(const std::vector<std::string>& calls, const std::vector<std::string>& parts) {
    size_t next = 0;
    for (const auto& part : parts) {
        while (next < calls.size() && calls[next].find(part) == std::string::npos) ++next;
        if (next == calls.size()) {
            std::string all;
            for (const auto& c : calls) all += "  " + c + "\n";
            return ::testing::AssertionFailure() << "missing, or out of order: " << part << "\ncalls:\n" << all;
        }
        ++next;
    }
    return ::testing::AssertionSuccess();
}

class OutlookHandOver : public MailPipelineFixture {
protected:
    void SetUp() override {
        outlook_ = OutlookStandIn::Load();
        ASSERT_TRUE(outlook_.Valid()) << "the Outlook stand-in is not registered in this prefix";
        outlook_.Reset();
        MailPipelineFixture::SetUp();
    }
    void TearDown() override {
        EXPECT_EQ(outlook_.LiveObjects(), 0u) << "not released: " << outlook_.LiveObjectList();
        outlook_.Reset();
        MailPipelineFixture::TearDown();
    }

    std::vector<std::string> HandOver(const MailRequestWriter& writer) {
        EXPECT_EQ(Exchange(writer.Build()), StatusOkReply());
        return outlook_.Calls();
    }

    OutlookStandIn outlook_;
};

MailRequestWriter OutlookMail(uint32_t flags) {
    MailRequestWriter writer;
    writer.Subject("Offer")
        .Body("Dear Ann")
        .Flags(flags)
        .AddRecipient(RecipientGroup::To, "Ann \"The Boss\" Smith", "ann@example.com")
        .AddRecipient(RecipientGroup::To, "bob@example.com", "bob@example.com")
        .AddRecipient(RecipientGroup::Cc, "back\\slash", "cy@example.com")
        .AddRecipient(RecipientGroup::Bcc, "", "di@example.com")
        .AddAttachment("docs/offer.pdf", Pattern(300, 1))
        .AddAttachment("price list.xlsx", Pattern(200, 2));
    return writer;
}

TEST_F(OutlookHandOver, MailIsBuiltInOutlookAndDisplayedWithoutSimpleMapi) {
    auto calls = HandOver(OutlookMail(sdk::kMailFlagOutlook));
    EXPECT_EQ(mapi_.CallCount(), 0u) << "Outlook took the mail";
    EXPECT_EQ(Matching(calls, "IClassFactory.CreateInstance").size(), 2u) << "two creations";
    EXPECT_TRUE(InOrder(
        calls,
        {
            "IClassFactory.CreateInstance(IUnknown) -> S_OK",
            "IClassFactory.CreateInstance(_Application) -> S_OK",
            "_Application.CreateItem(0) -> S_OK",
            "_MailItem.put_Body(\"Dear Ann\") -> S_OK",
            "_MailItem.put_Subject(\"Offer\") -> S_OK",
            "Recipients.Add(" + Quoted(L"\"Ann \\\"The Boss\\\" Smith\" <ann@example.com>") + ")",
            "Recipient.put_Type(1)",
            "Recipients.Add(\"bob@example.com\")",
            "Recipient.put_Type(1)",
            "Recipients.Add(" + Quoted(L"\"back\\slash\" <cy@example.com>") + ")",
            "Recipient.put_Type(2)",
            "Recipients.Add(\"di@example.com\")",
            "Recipient.put_Type(3)",
            "\\\\offer.pdf\", VT_INT 1, VT_INT 1, VT_BSTR \"offer.pdf\") " + standin::FileBytesRecord(Pattern(300, 1)),
            "\\\\price list.xlsx\", VT_INT 1, VT_INT 1, VT_BSTR \"price list.xlsx\") " +
                standin::FileBytesRecord(Pattern(200, 2)),
            "_MailItem.get_GetInspector() -> S_OK",
            "_Inspector.Display(VT_INT 0) -> S_OK",
        }));
    EXPECT_TRUE(Matching(calls, "put_HTMLBody").empty());
    EXPECT_TRUE(Matching(calls, "_MailItem.Send").empty());
    EXPECT_TRUE(Matching(calls, "Session").empty()) << "no originators, no accounts asked";
    EXPECT_TRUE(Matching(calls, "SentOnBehalfOfName").empty());
    EXPECT_TRUE(Matching(calls, "unexpected").empty());
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty()) << "staged files removed after the hand-over";
}

TEST_F(OutlookHandOver, DisplayNamesCarryNoPathPartOrLookAlikeOfOne) {
    MailRequestWriter writer = OutlookMail(sdk::kMailFlagOutlook);
    writer.AddAttachment("..\\..\\..\\x3", Pattern(10, 3))
        .AddAttachment("\\\\?\\UNC\\host\\share\\x10", Pattern(10, 4))
        .AddAttachment("C:..\\x5", Pattern(10, 5))
        .AddAttachment("\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBCx17", Pattern(10, 6));  // U+FF0E U+FF0E U+FF3C
    auto calls = HandOver(writer);
    EXPECT_EQ(mapi_.CallCount(), 0u) << "Outlook took the mail";
    EXPECT_TRUE(InOrder(calls, {
                                   "\\\\x3\", VT_INT 1, VT_INT 1, VT_BSTR \"x3\") ",
                                   "\\\\x10\", VT_INT 1, VT_INT 1, VT_BSTR \"x10\") ",
                                   "\\\\x5\", VT_INT 1, VT_INT 1, VT_BSTR \"x5\") ",
                                   "\\\\___x17\", VT_INT 1, VT_INT 1, VT_BSTR \"___x17\") ",
                               }));
}

TEST_F(OutlookHandOver, HtmlBodyGoesToHtmlBodyOnly) {
    auto calls = HandOver(OutlookMail(sdk::kMailFlagOutlook | sdk::kMailFlagHtmlBody));
    EXPECT_EQ(Matching(calls, "_MailItem.put_HTMLBody(\"Dear Ann\") -> S_OK").size(), 1u);
    EXPECT_TRUE(Matching(calls, "put_Body").empty());
}

TEST_F(OutlookHandOver, ImmediateFlagSendsAndNeverDisplays) {
    for (uint32_t flags : {6u, 7u}) {
        outlook_.Reset();
        auto calls = HandOver(OutlookMail(flags));
        EXPECT_EQ(Matching(calls, "_MailItem.Send() -> S_OK").size(), 1u) << flags;
        EXPECT_TRUE(Matching(calls, "GetInspector").empty()) << flags;
        EXPECT_TRUE(Matching(calls, "Display").empty()) << flags;
    }
    EXPECT_EQ(mapi_.CallCount(), 0u);
}

// A mail without to, cc or bcc (only an originator, or nobody at all) is
// shown for the user to address, even when it asks to be sent at once:
// Outlook's Send refuses an item without recipients.
TEST_F(OutlookHandOver, WithoutRecipientsTheItemIsShownEvenWhenAskedToSendAtOnce) {
    for (bool withOriginator : {true, false}) {
        for (uint32_t flags : {4u, 6u, 7u}) {
            outlook_.Reset();
            MailRequestWriter writer;
            writer.Subject("Scan").Body("Page 1").Flags(flags).AddAttachment("scan.pdf", Pattern(100, 7));
            if (withOriginator) writer.AddRecipient(RecipientGroup::From, "", "me@example.com");
            auto calls = HandOver(writer);
            EXPECT_TRUE(Matching(calls, "Recipients.Add").empty()) << flags;
            EXPECT_TRUE(Matching(calls, "_MailItem.Send").empty()) << flags;
            EXPECT_TRUE(InOrder(calls, {"\\scan.pdf\", VT_INT 1, VT_INT 1, VT_BSTR \"scan.pdf\") ",
                                        "_Inspector.Display(VT_INT 0) -> S_OK"}))
                << flags;
        }
    }
    EXPECT_EQ(mapi_.CallCount(), 0u) << "Outlook took every mail";
}

TEST_F(OutlookHandOver, MatchingAccountInOtherCaseIsTheSenderAndHigherIndexWins) {
    outlook_.AddAccount(L"office@example.com", L"Office");
    outlook_.AddAccount(L"Me@Example.com", L"Mine 1");
    outlook_.AddAccount(L"me@example.COM", L"Mine 2");
    MailRequestWriter writer = OutlookMail(sdk::kMailFlagOutlook);
    writer.AddRecipient(RecipientGroup::From, "Me", "ME@example.com")
        .AddRecipient(RecipientGroup::Sender, "", "office@example.com");
    auto calls = HandOver(writer);
    EXPECT_TRUE(
        InOrder(calls, {"_Application.get_Session()", "_NameSpace.get_Accounts()", "_Accounts.get_Count() -> S_OK 3",
                        "_Accounts.Item(VT_I4 3)", "_Account.get_SmtpAddress()",
                        "_MailItem.put_SendUsingAccount(account#1)", "_MailItem.put_SentOnBehalfOfName(null)"}));
    EXPECT_TRUE(Matching(calls, "_Accounts.Item(VT_I4 2)").empty()) << "the first match from the top ends the search";
    EXPECT_EQ(Matching(calls, "get_Session").size(), 1u) << "a group-1 match ends the selection";
}

TEST_F(OutlookHandOver, WithoutMatchTheLastNonEmptyCandidateIsSentOnBehalfOf) {
    outlook_.AddAccount(L"other@example.com", L"Other");
    MailRequestWriter writer = OutlookMail(sdk::kMailFlagOutlook);
    writer.AddRecipient(RecipientGroup::From, "A", "a@example.com")
        .AddRecipient(RecipientGroup::From, "Empty", "")
        .AddRecipient(RecipientGroup::Sender, "B", "b@example.com");
    auto calls = HandOver(writer);
    EXPECT_EQ(Matching(calls, "get_Session").size(), 2u) << "the empty candidate asks for no accounts";
    auto onBehalf = Matching(calls, "put_SentOnBehalfOfName");
    ASSERT_EQ(onBehalf.size(), 2u);
    EXPECT_NE(onBehalf[0].find("\"a@example.com\""), std::string::npos);
    EXPECT_NE(onBehalf[1].find("\"b@example.com\""), std::string::npos);
    EXPECT_TRUE(Matching(calls, "SendUsingAccount").empty());
}

TEST_F(OutlookHandOver, ProfileWithoutAccountsSetsEveryCandidate) {
    MailRequestWriter writer = OutlookMail(sdk::kMailFlagOutlook);
    writer.AddRecipient(RecipientGroup::From, "", "a@example.com")
        .AddRecipient(RecipientGroup::Sender, "", "b@example.com");
    auto calls = HandOver(writer);
    EXPECT_EQ(Matching(calls, "_Accounts.get_Count() -> S_OK 0").size(), 2u);
    EXPECT_EQ(Matching(calls, "put_SentOnBehalfOfName").size(), 2u);
}

TEST_F(OutlookHandOver, FailureMidwayFallsBackToSimpleMapiWithTheSameStagedFiles) {
    outlook_.FailCall("Recipients.Add", 3, E_FAIL);
    ASSERT_EQ(Exchange(OutlookMail(sdk::kMailFlagOutlook).Build()), StatusOkReply());
    auto calls = outlook_.Calls();
    EXPECT_EQ(Matching(calls, "Recipients.Add").size(), 3u) << "the attempt ends at the failing call";
    EXPECT_TRUE(Matching(calls, "Attachments").empty());
    ASSERT_EQ(mapi_.CallCount(), 1u);
    auto call = *mapi_.Call(0);
    EXPECT_EQ(call.flags, 9u) << "flags 4 falls back with MAPI_DIALOG | MAPI_LOGON_UI";
    ASSERT_EQ(call.files.size(), 2u);
    EXPECT_EQ(call.files[0].content, Pattern(300, 1));
    EXPECT_EQ(call.files[1].content, Pattern(200, 2));
}

TEST_F(OutlookHandOver, EveryFailingStepEndsInSimpleMapiAndReleasesEverything) {
    const char* members[] = {"_Application.CreateItem",
                             "_MailItem.put_Body",
                             "_MailItem.put_Subject",
                             "_Application.get_Session",
                             "_NameSpace.get_Accounts",
                             "_Accounts.get_Count",
                             "_Accounts.Item",
                             "_Account.get_SmtpAddress",
                             "_MailItem.put_SendUsingAccount",
                             "_MailItem.put_SentOnBehalfOfName",
                             "_MailItem.get_Recipients",
                             "Recipients.Add",
                             "Recipient.put_Type",
                             "_MailItem.get_Attachments",
                             "Attachments.Add",
                             "_MailItem.get_GetInspector",
                             "_Inspector.Display"};
    const char* objectMembers[] = {"_Application.CreateItem",   "_Application.get_Session",
                                   "_NameSpace.get_Accounts",   "_Accounts.Item",
                                   "_MailItem.get_Recipients",  "Recipients.Add",
                                   "_MailItem.get_Attachments", "_MailItem.get_GetInspector"};
    MailRequestWriter writer = OutlookMail(sdk::kMailFlagOutlook);
    writer.AddRecipient(RecipientGroup::From, "", "me@example.com");
    auto request = writer.Build();
    auto check = [&](const std::string& what) {
        mapi_.Reset();
        ASSERT_EQ(Exchange(request), StatusOkReply()) << what;
        EXPECT_EQ(mapi_.CallCount(), 1u) << what << ": Simple MAPI takes over";
        EXPECT_EQ(outlook_.LiveObjects(), 0u) << what << ": " << outlook_.LiveObjectList();
        ASSERT_EQ(mapi_.Call(0)->files.size(), 2u);
        EXPECT_EQ(mapi_.Call(0)->files[0].content, Pattern(300, 1)) << what;
    };
    for (const char* member : members) {
        outlook_.Reset();
        outlook_.AddAccount(L"me@example.com", L"Me");
        outlook_.FailCallWithErrorInfo(member, 1, DISP_E_EXCEPTION, L"refused");
        check(std::string("failing ") + member);
    }
    for (const char* member : objectMembers) {
        outlook_.Reset();
        outlook_.AddAccount(L"me@example.com", L"Me");
        outlook_.FailWithNull(member, 1);
        check(std::string("missing object from ") + member);
    }
    outlook_.Reset();
    outlook_.SetCreateItemNotMail(true);
    check("an item that is not a mail item");
    outlook_.Reset();
    outlook_.FailCreation(2, E_ACCESSDENIED);
    check("the second creation failing");
}

TEST_F(OutlookHandOver, SendRefusedFallsBackWithTheImmediateOptions) {
    outlook_.FailCall("_MailItem.Send", 1, E_FAIL);
    ASSERT_EQ(Exchange(OutlookMail(sdk::kMailFlagOutlook | sdk::kMailFlagImmediate).Build()), StatusOkReply());
    ASSERT_EQ(mapi_.CallCount(), 1u);
    EXPECT_EQ(mapi_.Call(0)->flags, 12u);
    outlook_.Reset();
    mapi_.Reset();
    outlook_.FailCall("_Inspector.Display", 1, E_FAIL);
    ASSERT_EQ(Exchange(OutlookMail(sdk::kMailFlagOutlook | sdk::kMailFlagHtmlBody).Build()), StatusOkReply());
    EXPECT_EQ(mapi_.Call(0)->flags, 8u) << "flags 5 falls back with MAPI_DIALOG";
    // Without a to, cc or bcc recipient Outlook only shows the mail; when
    // that fails, Simple MAPI still gets the request's own flags.
    outlook_.Reset();
    mapi_.Reset();
    outlook_.FailCall("_Inspector.Display", 1, E_FAIL);
    MailRequestWriter unaddressed;
    unaddressed.Subject("Offer").Flags(sdk::kMailFlagOutlook | sdk::kMailFlagImmediate);
    ASSERT_EQ(Exchange(unaddressed.Build()), StatusOkReply());
    EXPECT_TRUE(Matching(outlook_.Calls(), "_MailItem.Send").empty());
    ASSERT_EQ(mapi_.CallCount(), 1u);
    EXPECT_EQ(mapi_.Call(0)->flags, 12u) << "flags 6 falls back with MAPI_DIALOG | MAPI_DIALOG_MODELESS";
}

TEST_F(OutlookHandOver, HostileTextsAlwaysEndInAReply) {
    MailRequestWriter writer;
    std::string longName(20000, 'N');
    writer.Flags(sdk::kMailFlagOutlook)
        .Subject(std::string(5000, '"'))
        .Body(std::string(3000, '\\'))
        .AddRecipient(RecipientGroup::From, "\"\"\"", "")
        .AddRecipient(RecipientGroup::Sender, "", std::string(4000, 'x') + "@example.com")
        .AddRecipient(RecipientGroup::To, longName, "")
        .AddRecipient(RecipientGroup::To, "\"\\\"\\", "\"<>\"@example.com")
        .AddRecipient(RecipientGroup::Cc, "", "")
        .AddAttachment(std::string(200, '"') + ".txt", Pattern(10, 1));
    auto calls = HandOver(writer);
    auto added = Matching(calls, "Recipients.Add(");
    ASSERT_EQ(added.size(), 3u);
    EXPECT_NE(added[0].find(std::string(100, 'N')), std::string::npos);
    EXPECT_NE(added[1].find(Quoted(L"\"\\\"\\\\\"\\\" <\"<>\"@example.com>")), std::string::npos) << added[1];
}

TEST_F(OutlookHandOver, WithoutTheOutlookFlagOutlookIsNeverAsked) {
    auto calls = HandOver(OutlookMail(0));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(mapi_.CallCount(), 1u);
}

// The self-test export, called as rundll32 would, against the stand-in.
class SelfTest : public ::testing::Test {
protected:
    void SetUp() override {
        outlook_ = OutlookStandIn::Load();
        ASSERT_TRUE(outlook_.Valid());
        outlook_.Reset();
        client_ = std::make_unique<standin::ClientStandIn>(ClientOptionsFromEnvironment());
        ASSERT_NE(client_->Module(), nullptr);
        // The self-test attaches the image beside the DLL (copied there by
        // the build, as the packages install it).
        wchar_t dll[MAX_PATH] = {};
        GetModuleFileNameW(client_->Module(), dll, MAX_PATH);
        image_ = dll;
        image_.erase(image_.find_last_of(L'\\') + 1);
        image_ += L"zobrik-selftest.jpg";
        std::ifstream in(image_.c_str(), std::ios::binary);
        jpeg_.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_FALSE(jpeg_.empty()) << "no image beside the DLL";
        run_ = reinterpret_cast<RunFunction>(reinterpret_cast<void*>(GetProcAddress(client_->Module(), "Run")));
        ASSERT_NE(run_, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(outlook_.LiveObjects(), 0u) << outlook_.LiveObjectList();
        outlook_.Reset();
    }

    using RunFunction = int(CALLBACK*)(HWND, HINSTANCE, LPSTR, int);
    OutlookStandIn outlook_;
    std::wstring image_;
    std::vector<uint8_t> jpeg_;
    std::unique_ptr<standin::ClientStandIn> client_;
    RunFunction run_ = nullptr;
};

TEST_F(SelfTest, OpensThePreparedMailModally) {
    standin::DebugCapture::Clear();
    EXPECT_EQ(run_(nullptr, nullptr, const_cast<char*>("ignored"), SW_SHOW), 0);
    EXPECT_EQ(standin::DebugCapture::Count("VirtualChannelGetInstance\n"), 1u);
    auto calls = outlook_.Calls();
    const std::string attachment = "Attachments.Add(VT_BSTR " + Quoted(image_) +
                                   ", VT_INT 1, VT_ERROR 0x80020004, VT_BSTR \"test.jpg\") " +
                                   standin::FileBytesRecord(jpeg_);
    EXPECT_TRUE(
        InOrder(calls, {
                           "IClassFactory.CreateInstance(IUnknown) -> S_OK",
                           "IClassFactory.CreateInstance(_Application) -> S_OK",
                           "_Application.CreateItem(0) -> S_OK",
                           "_MailItem.put_Body(\"TeXt\") -> S_OK",
                           "_MailItem.put_HTMLBody(\"<html><body><b>H</b><i>T</i><u>M</u></body></html>\") -> S_OK",
                           "_MailItem.put_Subject(\"Selbsttest mit sch\xc3\xb6nem Gru\xc3\x9f\") -> S_OK",
                           "_MailItem.put_SentOnBehalfOfName(\"Zobrik Selbsttest <selftest@zobrik.example>\") -> S_OK",
                           "Recipients.Add(\"recipient@zobrik.example\") -> S_OK",
                           "Recipient.put_Type(1) -> S_OK",
                           "Recipients.Add(\"Copy Recipient<copy@zobrik.example>\") -> S_OK",
                           "Recipient.put_Type(2) -> S_OK",
                           "Recipients.ResolveAll() -> S_OK",
                           "_MailItem.get_ReplyRecipients() -> S_OK",
                           "Recipients.Add(\"Reply Person <reply@zobrik.example>\") -> S_OK",
                           attachment,
                           "_MailItem.get_GetInspector() -> S_OK",
                           "_Inspector.Display(VT_BOOL -1) -> S_OK",
                       }));
    EXPECT_EQ(Matching(calls, "put_Type").size(), 2u) << "the reply-to entry gets no type";
    EXPECT_TRUE(Matching(calls, "unexpected").empty());
}

TEST_F(SelfTest, ReturnsOnlyAfterTheWindowIsClosedAndTwiceOpensTwoItems) {
    outlook_.SetModalBlocking(true);
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        run_(nullptr, nullptr, nullptr, 0);
        returned = true;
    });
    ASSERT_TRUE(outlook_.WaitForBlocked(1, kReplyTimeout));
    Sleep(200);
    EXPECT_FALSE(returned) << "Run returned while the window was open";
    outlook_.ReleaseModal();
    caller.join();
    EXPECT_TRUE(returned);

    outlook_.SetModalBlocking(false);
    run_(nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(Matching(outlook_.Calls(), "_Application.CreateItem(0) -> S_OK").size(), 2u);
}

TEST_F(SelfTest, FailingCallStopsTheTestAndReleasesEverything) {
    standin::DebugCapture::Clear();
    outlook_.FailCall("Recipients.ResolveAll", 1, E_FAIL);
    EXPECT_EQ(run_(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_TRUE(Matching(outlook_.Calls(), "Attachments").empty());
    EXPECT_EQ(standin::DebugCapture::Count("Zobrik WTS DVC plugin: self-test stopped: 0x80004005\n"), 1u);
}

}  // namespace
}  // namespace zobrik::testing
