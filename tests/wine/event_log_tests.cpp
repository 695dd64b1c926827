// The event log under Wine: the DLL's message table renders every event,
// and the real DLL writes refusals only when the source is registered.
// Wine's ReportEventW keeps nothing; it shows the call on its "advapi" fixme
// line and each insertion string on its "eventlog" channel (warn for
// warnings, err for errors), which expect-events.sh reads from the output.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/event_log.h"
#include "include/win/owners.h"
#include "test_support.h"

namespace zobrik::testing {
namespace {

constexpr wchar_t kSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZobrikWTSDVC";

std::wstring PluginPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\') + 1) + L"ZobrikWTSDVC.dll";
}

// The message `id` of the DLL with `inserts`, as the Event Viewer renders it.
std::wstring Rendered(HMODULE module, DWORD id, std::vector<const wchar_t*> inserts) {
    // An argument array is an array of pointer-sized values.
    std::vector<DWORD_PTR> arguments;
    for (const wchar_t* each : inserts) {
        arguments.push_back(reinterpret_cast<DWORD_PTR>(each));
    }
    arguments.push_back(0);
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    const DWORD length =
        FormatMessageW(flags, module, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), reinterpret_cast<wchar_t*>(&text),
                       0, reinterpret_cast<va_list*>(arguments.data()));
    UniqueLocalMemory<wchar_t> owner(text);
    return length == 0 ? std::wstring() : std::wstring(text, length);
}

TEST(EventLogMessages, TheDllsMessageTableRendersEveryEventAndCategory) {
    UniqueModule module(LoadLibraryExW(PluginPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    EXPECT_NE(FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_MESSAGETABLE), nullptr);
    const struct {
        DWORD id;
        std::vector<const wchar_t*> inserts;
        std::wstring expected;
    } cases[] = {
        {1, {}, L"Exec channel\r\n"},
        {2, {}, L"Mail channel\r\n"},
        {3, {}, L"Policy\r\n"},
        {100,
         {L"a program", L"C:\\x.exe"},
         L"An exec request from the remote computer was refused by a built-in rule: a program\r\n"
         L"Text (shortened): C:\\x.exe\r\n"},
        {101,
         {L"not in the list (policy ExecAllowList)",
          L"ftp://h/\xFF05"
          L"1"},
         L"An exec request from the remote computer was refused by a policy setting: not in the list (policy "
         L"ExecAllowList)\r\nText (shortened): ftp://h/\xFF05"
         L"1\r\n"},
        {200,
         {L"invalid recipient address"},
         L"A mail request from the remote computer was refused or could not be served. Reply sent: invalid "
         L"recipient address\r\n"},
        {300,
         {L"HKLM", L"ExecConfirm", L"not a REG_DWORD"},
         L"The policy value ExecConfirm in HKLM (Software\\Policies\\Zobrik\\WTSDVC) is ignored: not a REG_DWORD\r\n"},
        {400,
         {L"Simple MAPI", L"MAPISendMailW returned 2"},
         L"The hand-over to Simple MAPI failed: MAPISendMailW returned 2\r\n"},
        {900,
         {L"9990", L"exec refusals", L"10"},
         L"9990 further events (exec refusals) were not written: at most 10 events of a kind are written per "
         L"minute.\r\n"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(Rendered(module.Get(), each.id, each.inserts), each.expected) << each.id;
    }
}

class EventLogWrites : public ::testing::Test {
protected:
    void SetUp() override {
        client_ = StartedClient();
        channel_ = client_->OpenChannel("Zobrik/exec");
        ASSERT_NE(channel_, nullptr);
    }

    // Sends `text` `times` times and waits for every reply.
    void SendRefused(const std::string& text, size_t times) {
        for (size_t i = 0; i < times; ++i) {
            const size_t replies = channel_->Writes().size();
            ASSERT_EQ(channel_->Send(text), S_OK);
            ASSERT_TRUE(channel_->WaitForWrites(replies + 1, kReplyTimeout));
        }
    }

    std::unique_ptr<standin::ClientStandIn> client_;
    std::shared_ptr<standin::StandInChannel> channel_;
};

// The source as the per-machine MSI registers it, removed when it goes.
class RegisteredSource {
public:
    RegisteredSource() {
        UniqueRegistryKey key;
        EXPECT_EQ(
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr),
            ERROR_SUCCESS);
    }
    ~RegisteredSource() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey); }
    RegisteredSource(const RegisteredSource&) = delete;
    RegisteredSource& operator=(const RegisteredSource&) = delete;
};

// expect-events.sh: one refusal with its sanitised inserts, then a flood of
// which at most the limit reaches the log.
TEST_F(EventLogWrites, RefusalsReachTheLogSanitisedAndRateLimited) {
    RegisteredSource source;
    SendRefused("ms-msdt:/id zobrik-event %1%%1234\x1b[31m", 1);
    // A text marked as UTF-8 is shown in its own characters.
    SendRefused("\xEF\xBB\xBFms-msdt:/id zobrik-caf\xC3\xA9-\xE2\x82\xAC", 1);
    // The limiter gives one event back every 6 s after the first: a flood
    // that ends within 5 s may only show the rest of the burst, however slow
    // the machine. It must still be more than the burst.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t sent = 0;
    for (; sent < 200 && std::chrono::steady_clock::now() < end; ++sent) {
        SendRefused("search-ms:zobrik-flood", 1);
    }
    EXPECT_GE(sent, 3 * size_t(kEventBurst)) << "too few refusals to show the limit";
}

// expect-events.sh: a text the shell could not open is an error of the exec
// channel, naming the shell and its result.
TEST_F(EventLogWrites, ShellFailureIsAnExecError) {
    RegisteredSource source;
    SendRefused("C:\\zobrik-none\\shell-failure-event.txt", 1);
    // A long text fills the insert up to its limit, and ends in an ellipsis.
    SendRefused("C:\\zobrik-none\\" + std::string(285, 'l') + ".txt", 1);
    for (const std::vector<uint8_t>& reply : channel_->Writes()) {
        EXPECT_EQ(reply, (std::vector<uint8_t>{'f', 'a', 'i', 'l', 'e', 'd', 0, 0}));
    }
}

// expect-events.sh: no ReportEventW call at all.
TEST_F(EventLogWrites, NothingIsWrittenWithoutTheRegisteredSource) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey);
    SendRefused("ms-msdt:/id zobrik-unregistered", 3);
}

}  // namespace
}  // namespace zobrik::testing
