// Mail requests as a hostile server would send them: what one request may
// write, what stays on disk afterwards, and files that must keep their own
// bytes, through the real DLL with the recording Simple MAPI stand-in.
#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>

#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

class HostileMail : public MailPipelineFixture {
protected:
    static MailRequestWriter ToOne() {
        MailRequestWriter writer;
        writer.AddRecipient(RecipientGroup::To, "", "to@example.com");
        return writer;
    }

    void ExpectNothingStaged(const char* why) { EXPECT_TRUE(EntriesBelow(StagingDirectory()).empty()) << why; }

    // The staged files of the first hand-over: path and content.
    std::vector<std::pair<std::wstring, std::vector<uint8_t>>> HandedOverFiles() {
        std::vector<std::pair<std::wstring, std::vector<uint8_t>>> files;
        auto call = mapi_.Call(0);
        if (!call) {
            ADD_FAILURE() << "no hand-over";
            return files;
        }
        for (const auto& file : call->files) {
            files.emplace_back(file.pathName.value_or(L""), file.content);
        }
        return files;
    }
};

TEST_F(HostileMail, AttachmentsSharingOneRangeAreRefusedBeforeAnythingIsWritten) {
    // 250 records naming the same 64 KiB: the request is about 70 KiB, the
    // files would take 16 MiB.
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::From, "", "me@example.com").AddAttachment("a0.bin", Pattern(65536, 1));
    for (int i = 1; i < 250; ++i) {
        writer.AddAttachment("a" + std::to_string(i) + ".bin", {}, {0, 65536});
    }
    auto request = writer.Build();
    EXPECT_EQ(Exchange(request), ErrorReply("attachments larger than the request"));
    EXPECT_EQ(mapi_.CallCount(), 0u);
    ExpectNothingStaged("nothing written");

    // The same ranges once each are served.
    MailRequestWriter once = ToOne();
    once.AddAttachment("a.bin", Pattern(65536, 1)).AddAttachment("b.bin", {}, {0, 100});
    EXPECT_EQ(Exchange(once.Build()), StatusOkReply()) << "ranges may still be shared within the request's length";
}

TEST_F(HostileMail, EveryFailureAfterStagingBeganLeavesNothing) {
    // The third attachment cannot be written.
    MailRequestWriter third = ToOne();
    third.AddAttachment("one.txt", Pattern(10, 1))
        .AddAttachment("two.txt", Pattern(10, 2))
        .AddAttachment("folder\\", Pattern(10, 3));
    EXPECT_EQ(Exchange(third.Build()), ErrorReply("unable to write temporary file"));
    ExpectNothingStaged("files staged before the failure are removed");

    EXPECT_EQ(mapi_.CallCount(), 0u);
}

TEST_F(HostileMail, NamesThatWindowsTakesForTheSameFileKeepBothContents) {
    // Case pairs beyond Latin-1, and full-width letters, which Windows folds.
    const char* pairs[][2] = {{"\xD1\x8F.txt", "\xD0\xAF.txt"},           // я / Я
                              {"\xCF\x83.txt", "\xCE\xA3.txt"},           // σ / Σ
                              {"\xEF\xBD\x81.txt", "\xEF\xBC\xA1.txt"}};  // ａ / Ａ
    for (const auto& pair : pairs) {
        mapi_.Reset();
        MailRequestWriter writer = ToOne();
        writer.AddAttachment(pair[0], Pattern(100, 1)).AddAttachment(pair[1], Pattern(100, 2));
        ASSERT_EQ(Exchange(writer.Build()), StatusOkReply()) << pair[0];
        auto files = HandedOverFiles();
        ASSERT_EQ(files.size(), 2u);
        EXPECT_NE(files[0].first, files[1].first) << pair[0];
        EXPECT_EQ(files[0].second, Pattern(100, 1)) << pair[0];
        EXPECT_EQ(files[1].second, Pattern(100, 2)) << pair[1];
    }
}

TEST_F(HostileMail, ALongNameAndItsShortAliasKeepBothContents) {
    // The short alias that this file system gives the long name.
    const std::wstring probeDir = TempFolder() + L"alias-probe\\";
    ASSERT_TRUE(CreateDirectoryW(probeDir.c_str(), nullptr));
    const std::wstring longName = L"LongFileNameForAnAttachment.txt";
    HANDLE probe = CreateFileW((probeDir + longName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE);
    CloseHandle(probe);
    wchar_t shortPath[MAX_PATH];
    DWORD n = GetShortPathNameW((probeDir + longName).c_str(), shortPath, MAX_PATH);
    RemoveTree(probeDir);
    ASSERT_GT(n, 0u);
    std::wstring alias = std::wstring(shortPath).substr(std::wstring(shortPath).rfind(L'\\') + 1);
    if (alias == longName) {
        GTEST_SKIP() << "this file system gives no short names";
    }
    MailRequestWriter writer = ToOne();
    writer.AddAttachment(standin::ToUtf8(longName), Pattern(100, 1))
        .AddAttachment(standin::ToUtf8(alias), Pattern(100, 2));
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto files = HandedOverFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].second, Pattern(100, 1));
    EXPECT_EQ(files[1].second, Pattern(100, 2)) << standin::ToUtf8(alias) << " is " << standin::ToUtf8(longName);
}

TEST_F(HostileMail, StagedFilesAreMarkedAsFromTheInternetWhereTheVolumeHasStreams) {
    MailRequestWriter writer = ToOne();
    writer.AddAttachment("invoice.pdf", Pattern(100, 1));
    // Keep the file past the reply: the non-blocking dialog (flag 2).
    writer.Flags(2);
    ASSERT_EQ(Exchange(writer.Build()), StatusOkReply());
    auto files = HandedOverFiles();
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(FileExists(files[0].first));

    wchar_t root[MAX_PATH];
    DWORD flags = 0;
    ASSERT_TRUE(GetVolumePathNameW(files[0].first.c_str(), root, MAX_PATH));
    ASSERT_TRUE(GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0));
    HANDLE stream = CreateFileW((files[0].first + L":Zone.Identifier").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (flags & FILE_NAMED_STREAMS) {
        ASSERT_NE(stream, INVALID_HANDLE_VALUE) << "the mark is missing";
        char content[64] = {};
        DWORD read = 0;
        ReadFile(stream, content, sizeof(content) - 1, &read, nullptr);
        CloseHandle(stream);
        EXPECT_STREQ(content, "[ZoneTransfer]\r\nZoneId=3\r\n");
    } else {
        if (stream != INVALID_HANDLE_VALUE) {
            CloseHandle(stream);
        }
        std::printf("the temp volume has no named streams: staged files are not marked\n");
        auto entries = EntriesBelow(StagingDirectory());
        EXPECT_EQ(entries.size(), 2u) << "the request directory and the one file, no stray mark file";
    }
}

// How long a non-blocking hand-over's files are kept at most.
constexpr unsigned long kKeptSeconds = 60 * 60;

// The seconds in the plug-in's last "next removal in N s" line.
std::optional<unsigned long> SecondsToNextKeptRemoval() {
    const std::string marker = "next removal in ";
    std::optional<unsigned long> seconds;
    for (const std::string& line : standin::DebugCapture::Lines()) {
        const size_t at = line.find(marker);
        if (at != std::string::npos) {
            seconds = std::stoul(line.substr(at + marker.size()));
        }
    }
    return seconds;
}

TEST_F(HostileMail, NonBlockingDialogKeepsItsFilesUntilThePlugInUnloads) {
    MailRequestWriter modeless = ToOne();
    modeless.Flags(2).AddAttachment("report.pdf", Pattern(3000, 1));
    ASSERT_EQ(Exchange(modeless.Build()), StatusOkReply());
    auto kept = HandedOverFiles();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(FileExists(kept[0].first)) << "the compose window may read it when the user sends";
    const std::optional<unsigned long> removal = SecondsToNextKeptRemoval();
    ASSERT_TRUE(removal) << "the plug-in says when the kept files go";
    EXPECT_GE(*removal, kKeptSeconds - 60) << "kept for an hour, not less";
    EXPECT_LE(*removal, kKeptSeconds);

    mapi_.Reset();
    MailRequestWriter modal = ToOne();
    modal.AddAttachment("now.pdf", Pattern(3000, 2));
    ASSERT_EQ(Exchange(modal.Build()), StatusOkReply());
    auto removed = HandedOverFiles();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_FALSE(FileExists(removed[0].first)) << "a modal hand-over cleans up at once";

    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    EXPECT_FALSE(FileExists(kept[0].first)) << "gone with the plug-in";
    ExpectNothingStaged("and its directory too");
}

// Mails whose compose windows stay open keep their files: the next one past
// the cap is refused before anything is handed over, and unloading gives
// the room back.
TEST_F(HostileMail, KeptAttachmentsStopAtTheirCap) {
    size_t kept = 0;
    std::vector<uint8_t> reply;
    for (int mail = 0; mail <= 32; ++mail) {
        MailRequestWriter modeless = ToOne();
        modeless.Flags(2).AddAttachment("kept" + std::to_string(mail) + ".pdf", Pattern(1000, uint8_t(mail)));
        reply = Exchange(modeless.Build());
        if (reply != StatusOkReply()) {
            break;
        }
        ++kept;
    }
    EXPECT_EQ(reply, ErrorReply("too many attachments kept for open compose windows"));
    EXPECT_EQ(mapi_.CallCount(), kept) << "the refused mail is not handed over";
    EXPECT_EQ(EntriesBelow(StagingDirectory()).size(), 2 * kept) << "its files are not left behind";

    MailRequestWriter modal = ToOne();
    modal.AddAttachment("now.pdf", Pattern(1000, 7));
    EXPECT_EQ(Exchange(modal.Build()), StatusOkReply()) << "a modal hand-over keeps nothing and is served";

    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    ExpectNothingStaged("the kept files go with the plug-in");
}

// A server sends a program as an attachment and then asks the exec channel
// to run it from where it was staged: the file is there (the non-blocking
// dialog keeps it), the exec channel refuses it, the program never runs.
TEST_F(HostileMail, AStagedProgramCannotBeRunThroughTheExecChannel) {
    const std::wstring marker = FreshTempFile(L"zobrik-dropped");
    SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", marker.c_str());
    std::vector<uint8_t> program;
    {
        HANDLE file = CreateFileW(standin::FromUtf8(MarkerProgramPath()).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        program.resize(GetFileSize(file, nullptr));
        DWORD read = 0;
        ReadFile(file, program.data(), DWORD(program.size()), &read, nullptr);
        CloseHandle(file);
        ASSERT_EQ(read, program.size());
    }
    MailRequestWriter mail = ToOne();
    mail.Flags(2).AddAttachment("update.exe", program);
    ASSERT_EQ(Exchange(mail.Build()), StatusOkReply());
    auto staged = HandedOverFiles();
    ASSERT_EQ(staged.size(), 1u);
    ASSERT_TRUE(FileExists(staged[0].first)) << "kept for the compose window";

    auto exec = client_->OpenChannel("Zobrik/exec");
    ASSERT_EQ(exec->Send(standin::ToUtf8(staged[0].first)), S_OK);
    ASSERT_TRUE(exec->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(Text(exec->Writes()[0]), std::string("failed\0\0", 8));
    Sleep(500);
    EXPECT_EQ(MarkerRuns(marker), 0) << "the dropped program ran";
    SetEnvironmentVariableW(L"ZOBRIK_MARKER_FILE", nullptr);
    DeleteFileW(marker.c_str());
}

// The owner and access list of `path` in SDDL ("O:<sid>D:(A;...)..."), empty
// when they cannot be read.
std::wstring OwnerAndAccessOf(const std::wstring& path) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), what, nullptr, 0, &size);
    std::vector<uint8_t> descriptor(size);
    wchar_t* text = nullptr;
    if (size == 0 || !GetFileSecurityW(path.c_str(), what, descriptor.data(), size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, what, &text,
                                                              nullptr)) {
        return {};
    }
    std::wstring sddl = text;
    LocalFree(text);
    return sddl;
}

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    std::vector<uint8_t> user(256);
    DWORD size = 0;
    wchar_t* text = nullptr;
    const bool read = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                      GetTokenInformation(token, TokenUser, user.data(), DWORD(user.size()), &size) &&
                      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text);
    if (token) {
        CloseHandle(token);
    }
    std::wstring sid = read ? text : L"";
    LocalFree(text);
    return sid;
}

// A staging directory that an older version left, or that someone else made
// in a shared temp folder, open to everyone: it is made the user's own again
// before anything is staged in it. Wine keeps an access list as the Unix
// permission bits of the directory (everyone's access is the bits of
// others), so this shows everyone's access go and the user's stay; that the
// list is protected from inheritance and holds the user alone only Windows
// shows.
TEST_F(HostileMail, AStagingDirectoryOpenToEveryoneIsMadeTheUsersOwn) {
    const std::wstring shared = StagingDirectory();
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &everyone,
                                                                     nullptr));
    SECURITY_ATTRIBUTES security{sizeof(security), everyone, FALSE};
    const bool created = CreateDirectoryW(shared.c_str(), &security);
    LocalFree(everyone);
    ASSERT_TRUE(created);
    ASSERT_NE(OwnerAndAccessOf(shared).find(L";;;WD)"), std::wstring::npos) << "everyone has access at first";

    MailRequestWriter mail = ToOne();
    mail.AddAttachment("a.txt", Pattern(10, 1));
    ASSERT_EQ(Exchange(mail.Build()), StatusOkReply());
    const std::wstring sid = CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    const std::wstring access = OwnerAndAccessOf(shared);
    EXPECT_EQ(access.find(L";;;WD)"), std::wstring::npos) << standin::ToUtf8(access);
    EXPECT_NE(access.find(L"(A;OICI;FA;;;" + sid + L")"), std::wstring::npos) << standin::ToUtf8(access);
    EXPECT_EQ(access.rfind(L"O:" + sid + L"D:", 0), 0u) << standin::ToUtf8(access);
}

// A request directory whose client process has ended is removed at the next
// start; one of a running client, and anything not named by the plug-in, stay.
TEST_F(HostileMail, StartRemovesWhatEndedClientsLeftAndNothingElse) {
    ASSERT_TRUE(UnloadPlugInCompletely(*client_));
    const std::wstring shared = StagingDirectory();
    ASSERT_TRUE(CreateDirectoryW(shared.c_str(), nullptr));

    // A running client: a suspended copy of this program.
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION running{};
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &running));
    // An id that no process has: ids are multiples of four.
    const DWORD ended = 0x7FFFFFF1;
    auto makeDirectory = [&](const std::wstring& name) {
        EXPECT_TRUE(CreateDirectoryW((shared + name).c_str(), nullptr));
        HANDLE file =
            CreateFileW((shared + name + L"\\left.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    };
    // Folders named as now, random part first, and as older versions named them.
    auto folder = [](const wchar_t* form, DWORD process) {
        wchar_t name[64];
        _snwprintf(name, 64, form, static_cast<unsigned long>(process));
        return std::wstring(name);
    };
    const std::wstring abandoned = folder(L"0123456789abcdef-zr-%08lx", ended);
    const std::wstring abandonedByAnOlderVersion = folder(L"zr-%08lx-0123456789abcdef", ended);
    const std::wstring alive = folder(L"0123456789abcdef-zr-%08lx", running.dwProcessId);
    makeDirectory(abandoned);
    makeDirectory(abandonedByAnOlderVersion);
    makeDirectory(alive);
    makeDirectory(L"zr-not-ours");

    client_ = StartedClient();
    TerminateProcess(running.hProcess, 0);
    CloseHandle(running.hThread);
    CloseHandle(running.hProcess);

    EXPECT_EQ(EntriesBelow(shared), (std::vector<std::wstring>{alive + L"\\", alive + L"\\left.bin", L"zr-not-ours\\",
                                                               L"zr-not-ours\\left.bin"}));
}

}  // namespace
}  // namespace zobrik::testing
