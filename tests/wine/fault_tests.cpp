// Faults of the platform while a mail request is served: the documented
// reply every time, no handle left open, nothing crashing.
#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

class Faults : public MailPipelineTest {};

// The temp folder lies on a 1 MiB file system; a 2 MiB attachment fills it.
TEST_F(Faults, DiskFullWhileWritingAnAttachment) {
    wchar_t unixDir[512];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_SMALL_DISK", unixDir, 512);
    if (n == 0 || n >= 512) {
        GTEST_SKIP() << "ZOBRIK_SMALL_DISK is not set";
    }
    std::wstring small = std::wstring(L"Z:") + unixDir + L"\\";
    UseTempFolder(small);

    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "to@example.com")
        .AddAttachment("fits.bin", Pattern(100 * 1024, 1))
        .AddAttachment("too-big.bin", Pattern(2 << 20, 2));
    // Windows fails the write (ERROR_DISK_FULL); Wine writes what fits and
    // reports fewer bytes. Both are answered with their own message.
    auto reply = Exchange(writer.Build());
    EXPECT_TRUE(reply == ErrorReply("unable to write to temporary file") ||
                reply == ErrorReply("short write to temporary file"))
        << std::string(reply.begin(), reply.end());
    std::printf("disk full answered: %s\n", reinterpret_cast<const char*>(reply.data()));
    EXPECT_EQ(mapi_.CallCount(), 0u);

    // Both files are closed: they can be deleted, and the disk has room again.
    auto files = FilesBelow(small + L"Ema1.tmp\\");
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) {
        EXPECT_TRUE(DeleteFileW((small + L"Ema1.tmp\\" + file).c_str())) << standin::ToUtf8(file);
    }

    MailRequestWriter fits;
    fits.AddRecipient(RecipientGroup::To, "", "to@example.com").AddAttachment("small.bin", Pattern(1000, 3));
    EXPECT_EQ(Exchange(fits.Build()), StatusOkReply()) << "the next request is served normally";
    RemoveTree(small + L"Ema1.tmp\\");
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
