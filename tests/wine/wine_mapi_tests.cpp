// A mail handed to Wine's own mapi32, which passes it on to the desktop's
// mail program through xdg-email (a recording stand-in on PATH here).
#include <fstream>

#include "mail_test_support.h"

namespace zobrik::testing {
namespace {

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// winebrowser tries its list of mail programs in order, and its default list
// starts with /usr/bin/open, which xdg-utils links to xdg-open: on a desktop
// with xdg-utils the mail would go to xdg-open instead. The list is set to
// xdg-email alone, the program whose hand-over this test records.
void HandMailsToXdgEmailOnly() {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t mailers[] = L"xdg-email";
    const LSTATUS status =
        RegSetValueExW(key, L"Mailers", 0, REG_SZ, reinterpret_cast<const BYTE*>(mailers), sizeof(mailers));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

TEST(WineMapi, MailReachesTheDesktopAsAMailtoAddressAndIsAnsweredZero) {
    wchar_t unixLog[1024];
    DWORD n = GetEnvironmentVariableW(L"ZOBRIK_XDG_EMAIL_LOG", unixLog, 1024);
    ASSERT_TRUE(n > 0 && n < 1024) << "ZOBRIK_XDG_EMAIL_LOG is not set";
    std::wstring log = std::wstring(L"Z:") + unixLog;
    DeleteFileW(log.c_str());
    HandMailsToXdgEmailOnly();

    auto client = StartedClient();
    auto channel = client->OpenChannel("Zobrik/mail");
    MailRequestWriter writer;
    writer.Subject("Wine route")
        .Body("Body text")
        .AddRecipient(RecipientGroup::To, "Ann", "ann@example.com")
        .AddRecipient(RecipientGroup::Cc, "", "cy@example.com")
        .AddAttachment("docs/note.txt", Pattern(30, 1));
    ASSERT_EQ(channel->Send(writer.Build()), S_OK);
    ASSERT_TRUE(channel->WaitForWrites(1, kReplyTimeout));
    EXPECT_EQ(channel->Writes()[0], StatusOkReply());

    std::string recorded;
    for (int i = 0; i < 100 && recorded.find("arg: ") == std::string::npos; ++i) {
        Sleep(50);
        recorded = ReadAll(log);
    }
    std::printf("xdg-email received:\n%s", recorded.c_str());
    EXPECT_NE(recorded.find("mailto:ann@example.com"), std::string::npos);
    EXPECT_NE(recorded.find("subject=Wine%20route"), std::string::npos);
    EXPECT_NE(recorded.find("cc=cy@example.com"), std::string::npos);
    EXPECT_NE(recorded.find("body=Body%20text"), std::string::npos);
}

}  // namespace
}  // namespace zobrik::testing
