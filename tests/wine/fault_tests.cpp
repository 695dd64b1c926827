// Faults of the platform while a mail request is served: the documented
// reply every time, no handle left open, nothing crashing.
#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

class Faults : public MailPipelineFixture {};

// The temp folder lies on a 1 MiB file system, a third of it taken by
// another file, so that its free space is not its size. Attachments that
// would fill it, or leave less than its reserve (a tenth of the size) free,
// are refused before anything is written.
TEST_F(Faults, DiskFullIsRefusedBeforeWriting) {
    wchar_t unixDir[512];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_SMALL_DISK", unixDir, 512);
    if (n == 0 || n >= 512) {
        GTEST_SKIP() << "ZOBRIK_SMALL_DISK is not set";
    }
    std::wstring small = std::wstring(L"Z:") + unixDir + L"\\";
    UseTempFolder(small);
    ULARGE_INTEGER available{}, total{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(small.c_str(), &available, &total, nullptr));
    const std::wstring filler = small + L"filler.bin";
    {
        HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::vector<uint8_t> bytes = Pattern(size_t(total.QuadPart / 3), 9);
        DWORD written = 0;
        const BOOL wrote = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_TRUE(wrote && written == bytes.size());
    }
    ASSERT_TRUE(GetDiskFreeSpaceExW(small.c_str(), &available, &total, nullptr));
    ASSERT_LT(available.QuadPart, total.QuadPart * 3 / 4) << "the filler takes its room";
    const size_t room = size_t(available.QuadPart - total.QuadPart / 10);

    auto mailWith = [](size_t firstSize, size_t secondSize) {
        MailRequestWriter writer;
        writer.AddRecipient(RecipientGroup::To, "", "to@example.com")
            .AddAttachment("first.bin", Pattern(firstSize, 1))
            .AddAttachment("second.bin", Pattern(secondSize, 2));
        return writer.Build();
    };
    for (size_t tooMuch : {size_t(2) << 20, room + 1}) {
        auto reply = Exchange(mailWith(100 * 1024, tooMuch - 100 * 1024));
        EXPECT_EQ(reply, ErrorReply("not enough free disk space for the attachments")) << tooMuch;
        EXPECT_TRUE(EntriesBelow(small + L"Ema1.tmp\\").empty()) << "nothing written";
    }
    EXPECT_EQ(mapi_.CallCount(), 0u);

    EXPECT_EQ(Exchange(mailWith(100 * 1024, room - 120 * 1024)), StatusOkReply())
        << "what leaves the reserve is served";
    EXPECT_EQ(mapi_.CallCount(), 1u);
    RemoveTree(small + L"Ema1.tmp\\");
    DeleteFileW(filler.c_str());
}

TEST_F(Faults, StagingDirectoryNameTakenByAPlainFileIsReplaced) {
    std::wstring blocker = StagingDirectory();
    blocker.pop_back();
    HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("x.bin", Pattern(10, 1));
    EXPECT_EQ(Exchange(writer.Build()), StatusOkReply());
    EXPECT_EQ(mapi_.Call(0)->files.at(0).content, Pattern(10, 1));
}

TEST_F(Faults, StagingDirectoryHeldOpenByAnotherProgramStaysAndRequestsGoOn) {
    // A file that another program keeps open inside the shared staging
    // directory: the request is served, the directory simply stays.
    ASSERT_TRUE(CreateDirectoryW(StagingDirectory().c_str(), nullptr));
    std::wstring foreign = StagingDirectory() + L"foreign.txt";
    HANDLE held = CreateFileW(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("foreign.txt", Pattern(10, 1));
    EXPECT_EQ(Exchange(writer.Build()), StatusOkReply()) << "its own directory keeps it apart";
    EXPECT_EQ(mapi_.Call(0)->files.at(0).content, Pattern(10, 1));
    CloseHandle(held);
    EXPECT_TRUE(FileExists(foreign)) << "another program's file is not touched";
}

}  // namespace
}  // namespace zobrik::testing
