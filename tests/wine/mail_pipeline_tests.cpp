// Mail requests end to end through the real DLL: decoding, staging, the
// Simple MAPI hand-over to the recording stand-in, clean-up and the reply.
#include <thread>

#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

using standin::RecordedMapiCall;
using standin::RecordedRecipient;

RecordedRecipient Recipient(uint32_t recipClass, const std::wstring& address) {
    RecordedRecipient r;
    r.recipClass = recipClass;
    r.name = address;
    r.address = L"SMTP:" + address;
    return r;
}

MailRequestWriter FullMail(uint32_t flags) {
    MailRequestWriter writer;
    writer.Subject("Quarterly report \xc3\xa4\xc3\xb6\xc3\xbc")
        .Body("Dear all,\nsee attached.")
        .Flags(flags)
        .AddRecipient(RecipientGroup::From, "Me", "me@example.com")
        .AddRecipient(RecipientGroup::Sender, "Office", "office@example.com")
        .AddRecipient(RecipientGroup::To, "Ann", "ann@example.com")
        .AddRecipient(RecipientGroup::To, "", "bob@example.com")
        .AddRecipient(RecipientGroup::Cc, "Cy", "cy@example.com")
        .AddRecipient(RecipientGroup::Bcc, "Di", "di@example.com")
        .AddAttachment("reports\\2024/summary.pdf", Pattern(5000, 1))
        .AddAttachment("data.csv", Pattern(70, 2));
    return writer;
}

class MailPipeline : public MailPipelineFixture {};

TEST_F(MailPipeline, FullMailIsHandedToSimpleMapiExactlyAndCleanedUp) {
    ASSERT_EQ(Exchange(FullMail(0).Build()), StatusOkReply());
    ASSERT_EQ(mapi_.CallCount(), 1u);
    RecordedMapiCall call = *mapi_.Call(0);
    EXPECT_EQ(call.session, 0u);
    EXPECT_EQ(call.uiParam, 0u);
    EXPECT_EQ(call.flags, 8u);
    EXPECT_EQ(call.reserved, 0u);
    ASSERT_TRUE(call.hasMessage);
    EXPECT_EQ(call.messageReserved, 0u);
    EXPECT_EQ(call.subject, std::optional<std::wstring>(L"Quarterly report \u00e4\u00f6\u00fc"));
    EXPECT_EQ(call.noteText, std::optional<std::wstring>(L"Dear all,\nsee attached."));
    EXPECT_FALSE(call.messageType);
    EXPECT_FALSE(call.dateReceived);
    EXPECT_FALSE(call.conversationId);
    EXPECT_EQ(call.messageFlags, 0u);
    ASSERT_TRUE(call.originator);
    EXPECT_EQ(*call.originator, Recipient(0, L"office@example.com")) << "the sender group wins";
    EXPECT_EQ(call.recipCount, 4u);
    EXPECT_EQ(call.recips,
              (std::vector<RecordedRecipient>{Recipient(1, L"ann@example.com"), Recipient(1, L"bob@example.com"),
                                              Recipient(2, L"cy@example.com"), Recipient(3, L"di@example.com")}));
    ASSERT_EQ(call.fileCount, 2u);
    ASSERT_EQ(call.files.size(), 2u);
    const auto& first = call.files[0];
    EXPECT_EQ(first.position, 0xFFFFFFFFu);
    EXPECT_EQ(first.flags, 0u);
    EXPECT_FALSE(first.hasFileType);
    EXPECT_EQ(first.fileName, std::optional<std::wstring>(L"summary.pdf")) << "offered under its staged name";
    ASSERT_TRUE(first.pathName);
    EXPECT_EQ(first.pathName->rfind(StagingDirectory(), 0), 0u) << "staged in the temp folder's staging directory";
    EXPECT_EQ(first.pathName->substr(first.pathName->size() - 12), L"\\summary.pdf");
    EXPECT_TRUE(first.contentRead);
    EXPECT_EQ(first.content, Pattern(5000, 1));
    EXPECT_EQ(call.files[1].content, Pattern(70, 2));

    EXPECT_FALSE(FileExists(*first.pathName)) << "staged files are removed after the hand-over";
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty()) << "and the request's own directory too";
    // Removing the shared directory could pull it from under a request of
    // another channel or client that is creating its own directory in it.
    EXPECT_TRUE(DirectoryExists(StagingDirectory())) << "the shared staging directory stays";
}

TEST_F(MailPipeline, ManySmallChunksGiveTheSameHandOver) {
    auto request = FullMail(0).Build();
    ASSERT_EQ(Exchange(request, 7), StatusOkReply());
    ASSERT_EQ(mapi_.CallCount(), 1u);
    EXPECT_EQ(mapi_.Call(0)->files.at(0).content, Pattern(5000, 1));
    EXPECT_EQ(mapi_.Call(0)->files.at(1).content, Pattern(70, 2));
}

TEST_F(MailPipeline, OptionsFollowTheFlagsWithOutlookFallingBack) {
    // Without Outlook (Wine has none) flags 4 to 7 reach Simple MAPI as the fall-back.
    const uint32_t expected[8] = {8, 8, 12, 12, 9, 8, 12, 12};
    for (uint32_t flags = 0; flags < 8; ++flags) {
        mapi_.Reset();
        ASSERT_EQ(Exchange(FullMail(flags).Build()), StatusOkReply()) << flags;
        ASSERT_EQ(mapi_.CallCount(), 1u) << flags;
        EXPECT_EQ(mapi_.Call(0)->flags, expected[flags]) << flags;
        EXPECT_EQ(mapi_.Call(0)->noteText, std::optional<std::wstring>(L"Dear all,\nsee attached."));
    }
}

TEST_F(MailPipeline, MailWithoutAttachmentsPassesNoFiles) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    EXPECT_EQ(call.fileCount, 0u);
    EXPECT_FALSE(call.hasFiles);
    EXPECT_FALSE(call.originator);
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty());
}

// A mail without to, cc or bcc (a program's MAPISendDocuments, Explorer's
// "Send to"): the compose window opens without a recipient list, for the user
// to fill in the To line, with the originator as in any mail.
TEST_F(MailPipeline, MailWithoutRecipientsOpensTheComposeWindowWithoutList) {
    const struct {
        const char* what;
        uint32_t flags;
        bool withOriginator;
        uint32_t options;
    } cases[] = {
        {"nobody, modal", 0, false, 8},
        {"only originators, modal", 0, true, 8},
        {"only originators, Outlook fall-back", 4, true, 9},
        {"nobody, modeless", 2, false, 12},
    };
    for (const auto& c : cases) {
        mapi_.Reset();
        MailRequestWriter writer;
        writer.Subject("Scan").Body("Page 1").Flags(c.flags).AddAttachment("scan.pdf", Pattern(3000, 5));
        if (c.withOriginator) {
            writer.AddRecipient(RecipientGroup::From, "Me", "me@example.com")
                .AddRecipient(RecipientGroup::Sender, "", "office@example.com");
        }
        ASSERT_EQ(Exchange(writer.Build()), StatusOkReply()) << c.what;
        ASSERT_EQ(mapi_.CallCount(), 1u) << c.what;
        const RecordedMapiCall call = *mapi_.Call(0);
        EXPECT_EQ(call.flags, c.options) << c.what;
        EXPECT_EQ(call.recipCount, 0u) << c.what;
        EXPECT_FALSE(call.hasRecips) << c.what << ": lpRecips is null";
        EXPECT_EQ(call.originator, c.withOriginator
                                       ? std::optional<RecordedRecipient>(Recipient(0, L"office@example.com"))
                                       : std::nullopt)
            << c.what;
        EXPECT_EQ(call.subject, std::optional<std::wstring>(L"Scan")) << c.what;
        ASSERT_EQ(call.files.size(), 1u) << c.what;
        EXPECT_EQ(call.files[0].content, Pattern(3000, 5)) << c.what;
    }
}

TEST_F(MailPipeline, WrongVersionIsAnsweredWithItsTextAndLeavesNothing) {
    MailRequestWriter writer = FullMail(0);
    writer.MutableOverrides().version = 1;
    auto reply = Exchange(writer.Build());
    EXPECT_EQ(reply, ErrorReply("Invalid header version"));
    EXPECT_EQ(reply.size(), 53u);
    EXPECT_EQ(mapi_.CallCount(), 0u);
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty());
}

TEST_F(MailPipeline, DecoderRejectionsReachTheChannel) {
    MailRequestWriter badOffset = FullMail(0);
    badOffset.MutableOverrides().dataOffset = 1u << 20;
    EXPECT_EQ(Exchange(badOffset.Build()), ErrorReply("Invalid file offset!"));

    MailRequestWriter unterminated;
    unterminated.Override({}).MutableOverrides().unterminatedLastString = true;
    unterminated.MutableOverrides().dataOffset = 0;
    auto reply = Exchange(unterminated.Build());
    EXPECT_GE(reply.size(), 19u);
    EXPECT_EQ(mapi_.CallCount(), 0u);
}

TEST_F(MailPipeline, MalformedUtf8BecomesReplacementCharacters) {
    MailRequestWriter writer;
    writer.Subject("ab\xe2").Body("\xff x \xf0\x9f\x98\x80").AddRecipient(RecipientGroup::To, "", "to@example.com");
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    EXPECT_EQ(call.subject, std::optional<std::wstring>(L"ab\ufffd")) << "a sequence cut short by the end";
    EXPECT_EQ(call.noteText, std::optional<std::wstring>(L"\ufffd x \U0001F600"));
}

TEST_F(MailPipeline, UserCancellingStillGivesStatusZeroAndRemovesTheFiles) {
    mapi_.SetResult(1);  // MAPI_USER_ABORT
    ASSERT_EQ(Exchange(FullMail(0).Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    EXPECT_FALSE(FileExists(*call.files[0].pathName));
    EXPECT_EQ(standin::DebugCapture::Count("Zobrik WTS DVC plugin: MAPISendMailW returned 1\n"), 1u);
}

TEST_F(MailPipeline, MailProgramFailureIsLoggedButStillStatusZero) {
    mapi_.SetResult(2);  // MAPI_E_FAILURE
    ASSERT_EQ(Exchange(FullMail(0).Build()), StatusOkReply());
    EXPECT_EQ(standin::DebugCapture::Count("Zobrik WTS DVC plugin: MAPISendMailW returned 2\n"), 1u);
}

TEST_F(MailPipeline, EqualBaseNamesInOneRequestKeepBothContents) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com")
        .AddAttachment("a\\notes.txt", Pattern(100, 4))
        .AddAttachment("b/notes.txt", Pattern(200, 5))
        .AddAttachment("NOTES.TXT", Pattern(300, 6));
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    ASSERT_EQ(call.files.size(), 3u);
    EXPECT_EQ(call.files[0].content, Pattern(100, 4));
    EXPECT_EQ(call.files[1].content, Pattern(200, 5));
    EXPECT_EQ(call.files[2].content, Pattern(300, 6));
    EXPECT_EQ(call.files[1].fileName, std::optional<std::wstring>(L"notes (2).txt"));
    EXPECT_EQ(call.files[1].pathName->substr(call.files[1].pathName->size() - 14), L"\\notes (2).txt");
    EXPECT_EQ(call.files[2].pathName->substr(call.files[2].pathName->size() - 14), L"\\NOTES (3).TXT");
}

TEST_F(MailPipeline, SpecialWindowsNamesAreStagedUnderSafeNames) {
    const char* names[] = {"CON", "nul.txt", "COM1.log",  "a:b",         "file.txt::$DATA",
                           "..",  "x.exe.",  "trail. . ", "q?<>|*\".txt"};
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
    for (size_t i = 0; i < std::size(names); ++i) {
        writer.AddAttachment(names[i], Pattern(50 + i, uint8_t(10 + i)));
    }
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    ASSERT_EQ(call.files.size(), std::size(names));
    const wchar_t* staged[] = {L"_CON",       L"_nul.txt", L"_COM1.log", L"a_b",        L"file.txt__$DATA",
                               L"attachment", L"x.exe",    L"trail",     L"q______.txt"};
    for (size_t i = 0; i < std::size(names); ++i) {
        const auto& file = call.files[i];
        EXPECT_EQ(file.fileName, std::optional<std::wstring>(staged[i])) << names[i];
        ASSERT_TRUE(file.pathName);
        std::wstring base = file.pathName->substr(file.pathName->rfind(L'\\') + 1);
        EXPECT_EQ(base, staged[i]) << names[i];
        EXPECT_TRUE(file.contentRead) << names[i];
        EXPECT_EQ(file.content, Pattern(50 + i, uint8_t(10 + i))) << names[i];
    }
}

TEST_F(MailPipeline, OfferedNamesCarryNoPathPartOrLookAlikeOfOne) {
    struct Case {
        const char* sent;
        const wchar_t* offered;
    };
    const Case cases[] = {
        {"..\\..\\..\\x3", L"x3"},
        {"\\\\?\\UNC\\host\\share\\x10", L"x10"},
        {"C:..\\x5", L"x5"},
        {"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBCx17", L"___x17"},  // U+FF0E U+FF0E U+FF3C
        {"in\xE2\x80\xAE\x07txt.exe", L"in__txt.exe"},           // U+202E, BEL: as staged
    };
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
    for (const Case& c : cases) {
        writer.AddAttachment(c.sent, Pattern(40, 9));
    }
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto call = *mapi_.Call(0);
    ASSERT_EQ(call.files.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(call.files[i].fileName, std::optional<std::wstring>(cases[i].offered)) << cases[i].sent;
    }
}

TEST_F(MailPipeline, EmptyBaseNameCannotBeWrittenAndEarlierFilesAreRemoved) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com")
        .AddAttachment("one.txt", Pattern(10, 1))
        .AddAttachment("two.txt", Pattern(10, 2))
        .AddAttachment("folder\\", Pattern(10, 3));
    EXPECT_EQ(Exchange(writer.Build()), ErrorReply("unable to write temporary file"));
    EXPECT_EQ(mapi_.CallCount(), 0u);
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty());
}

TEST_F(MailPipeline, LongNamesAreShortenedAndAPathPastTheBufferIsRejected) {
    MailRequestWriter longName;
    longName.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment(std::string(600, 'n') + ".txt", {1});
    ASSERT_EQ(Exchange(longName.Build()), StatusOkReply());
    std::wstring staged = *mapi_.Call(0)->files.at(0).pathName;
    std::wstring base = staged.substr(staged.rfind(L'\\') + 1);
    EXPECT_EQ(base, std::wstring(251, L'n') + L".txt") << "cut to the 255 characters of a file name";

    // A temp folder of 250 characters leaves too little room for that name.
    std::wstring deep = TempFolder();
    while (deep.size() < 240) {
        deep += std::wstring(std::min<size_t>(40, 240 - deep.size()), L'd') + L"\\";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    UseTempFolder(deep);
    MailRequestWriter tooLong;
    tooLong.AddRecipient(RecipientGroup::To, "", "to@example.com")
        .AddAttachment("first.txt", Pattern(10, 1))
        .AddAttachment(std::string(300, 'n'), {1});
    EXPECT_EQ(Exchange(tooLong.Build()), ErrorReply("unable to create temp file name"));
    EXPECT_TRUE(EntriesBelow(deep + L"Ema1.tmp\\").empty()) << "the first file is removed again";
}

TEST_F(MailPipeline, EmptyAttachmentIsStagedAsAnEmptyFile) {
    MailRequestWriter writer;
    // The data of an empty attachment must start inside the request.
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("empty.bin", {}).Trailer({0});
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto file = mapi_.Call(0)->files.at(0);
    EXPECT_TRUE(file.contentRead);
    EXPECT_TRUE(file.content.empty());
}

TEST_F(MailPipeline, TempFolderThatIsMissingIsCreated) {
    std::wstring missing = TempFolder() + L"not\\yet\\there\\";
    UseTempFolder(missing);
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("x.txt", Pattern(5, 1));
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    EXPECT_TRUE(DirectoryExists(missing));
    EXPECT_EQ(mapi_.Call(0)->files.at(0).content, Pattern(5, 1));
}

TEST_F(MailPipeline, TempFolderThatCannotBeCreatedIsReported) {
    std::wstring blocker = TempFolder() + L"plain-file";
    HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    UseTempFolder(blocker + L"\\sub\\");
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
    EXPECT_EQ(Exchange(writer.Build()), ErrorReply("unable to ensure temp directory exists"));
}

// Windows reports temp paths of up to 260 characters; Wine's GetTempPathW
// already fails (returns 0) from 259 on, so the longest path it can report,
// 258, is the accepted case here, and a failure must read "temp path too long".
TEST_F(MailPipeline, LongestReportableTempPathIsAcceptedAndLongerIsTooLong) {
    // GetTempPathW reports the variable's value with a trailing backslash.
    std::wstring base = TempFolder();
    auto pathOfLength = [&](size_t length) {
        std::wstring path = base;
        while (path.size() < length - 1) {
            path += (path.size() % 100 == 99) ? L'\\' : L'd';
        }
        if (path.back() == L'\\') {
            path.back() = L'e';
        }
        return path + L"\\";
    };
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com");

    std::wstring longest = pathOfLength(258);
    ASSERT_EQ(longest.size(), 258u);
    UseTempFolder(longest);
    EXPECT_EQ(Exchange(writer.Build()), StatusOkReply());

    UseTempFolder(pathOfLength(300));
    EXPECT_EQ(Exchange(writer.Build()), ErrorReply("temp path too long"));
}

TEST_F(MailPipeline, ConcurrentRequestsWithEqualNamesEachDeliverTheirOwnBytes) {
    mapi_.SetBlocking(true);
    std::vector<std::shared_ptr<standin::StandInChannel>> channels;
    for (uint8_t i = 0; i < 4; ++i) {
        MailRequestWriter writer;
        writer.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("same.txt", Pattern(1000, i));
        channels.push_back(SendOnNewChannel(writer.Build()));
        // A dialog held open by one request does not hold up the next one.
        ASSERT_TRUE(mapi_.WaitForBlocked(i + 1, kReplyTimeout)) << "request " << int(i) << " did not reach MAPI";
    }
    for (auto& channel : channels) {
        EXPECT_TRUE(channel->Writes().empty()) << "no reply while the dialog is open";
    }
    mapi_.SetBlocking(false);
    for (auto& channel : channels) {
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        EXPECT_EQ(channel->Writes()[0], StatusOkReply());
    }
    auto calls = mapi_.Calls();
    ASSERT_EQ(calls.size(), 4u);
    std::vector<std::vector<uint8_t>> contents;
    for (const auto& call : calls) {
        ASSERT_EQ(call.files.size(), 1u);
        ASSERT_TRUE(call.files[0].contentRead);
        contents.push_back(call.files[0].content);
    }
    for (uint8_t i = 0; i < 4; ++i) {
        EXPECT_EQ(std::count(contents.begin(), contents.end(), Pattern(1000, i)), 1) << "request " << int(i);
    }
    Sleep(100);
    EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty());
}

TEST_F(MailPipeline, ChannelClosedDuringTheDialogGetsNoReplyButTheMailIsHandedOver) {
    mapi_.SetBlocking(true);
    auto channel = SendOnNewChannel(FullMail(0).Build());
    ASSERT_TRUE(mapi_.WaitForBlocked(1, kReplyTimeout));
    ASSERT_EQ(channel->CloseFromServer(), S_OK);
    mapi_.SetBlocking(false);
    ASSERT_TRUE(standin::DebugCapture::WaitFor("Zobrik WTS DVC plugin: MAPISendMailW returned 0\n", 1, kReplyTimeout));
    Sleep(200);
    EXPECT_EQ(channel->Writes().size(), 0u);
    EXPECT_EQ(channel->WritesAfterClose(), 0u);
}

}  // namespace
}  // namespace zobrik::testing

namespace zobrik::testing {
namespace {

// Requests above the size limit, 4 GiB ones included, are answered right
// after their first chunk; what follows is dropped and changes nothing.
TEST_F(MailPipeline, RequestAboveTheSizeLimitIsAnsweredAtOnceAndTheRestDropped) {
    for (uint64_t total : {(uint64_t(128) << 20) + 1, (uint64_t(1) << 32) + 100}) {
        std::vector<uint8_t> chunk(1 << 20, 0);
        auto header = MinimalMailRequest(64);
        std::copy(header.begin(), header.end(), chunk.begin());
        for (int i = 0; i < 8; ++i) {
            chunk[8 + i] = uint8_t(total >> (8 * i));
        }
        auto channel = client_->OpenChannel("Zobrik/mail");
        ASSERT_EQ(channel->Send(chunk.data(), chunk.size()), S_OK);
        ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
        EXPECT_EQ(channel->Writes()[0], ErrorReply("request too large")) << total;
        for (int i = 0; i < 20; ++i) {
            ASSERT_EQ(channel->Send(chunk.data(), chunk.size()), S_OK);
        }
        Sleep(200);
        EXPECT_EQ(channel->Writes().size(), 1u) << "one answer only";
        channel->CloseFromServer();
    }
    // The channel after it is served as usual.
    EXPECT_EQ(Exchange(FullMail(0).Build()), StatusOkReply());
}

// Many channels that each send part of a large request pass the budget that
// all channels share: the one that would pass it is answered, the others
// are served.
TEST_F(MailPipeline, ChannelsBeyondTheSharedBufferBudgetAreAnswered) {
    const uint64_t total = uint64_t(100) << 20;
    std::vector<uint8_t> chunk(8 << 20, 0x5A);
    auto header = MinimalMailRequest(64);
    std::copy(header.begin(), header.end(), chunk.begin());
    for (int i = 0; i < 8; ++i) {
        chunk[8 + i] = uint8_t(total >> (8 * i));
    }
    std::vector<std::shared_ptr<standin::StandInChannel>> channels;
    size_t refused = 0;
    for (int c = 0; c < 10 && refused == 0; ++c) {
        channels.push_back(client_->OpenChannel("Zobrik/mail"));
        for (int i = 0; i < 9; ++i) {  // 72 MiB each, in a buffer of 80 MiB
            ASSERT_EQ(channels.back()->Send(chunk.data(), chunk.size()), S_OK);
        }
        channels.back()->WaitForWrites(1, std::chrono::milliseconds(300));
        refused += channels.back()->Writes().size();
    }
    ASSERT_EQ(refused, 1u) << "512 MiB are shared by all channels";
    EXPECT_EQ(channels.size(), 7u) << "six buffers of 80 MiB fit, the seventh does not";
    EXPECT_EQ(channels.back()->Writes()[0], ErrorReply("too many requests at once"));
    for (size_t c = 0; c + 1 < channels.size(); ++c) {
        EXPECT_TRUE(channels[c]->Writes().empty()) << "the channels within the budget wait for their rest";
    }
    for (auto& channel : channels) {
        channel->CloseFromServer();
    }
    EXPECT_EQ(Exchange(FullMail(0).Build()), StatusOkReply()) << "closing gives the budget back";
}

}  // namespace
}  // namespace zobrik::testing
