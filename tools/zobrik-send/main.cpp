// zobrik-send.exe: opens paths and addresses and hands mails to the mail
// program on the client computer of a Remote Desktop session, through the
// Zobrik plug-in's channels. See send_command.h and --help.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <ostream>

#include "console_output.h"
#include "include/win/owners.h"
#include "send_command.h"
#include "zobrik/wts_channel.h"
#if defined(ZOBRIK_SEND_STANDIN)
#include "standin_channel.h"
#endif

namespace {

// The command line as CommandLineToArgvW splits it.
class Arguments {
public:
    Arguments() : argv_(CommandLineToArgvW(GetCommandLineW(), &argc_)) {}

    // Without the program name, in UTF-8.
    std::vector<std::string> Utf8() const {
        std::vector<std::string> args;
        for (int i = 1; argv_ && i < argc_; ++i) args.push_back(zobrik::sdk::WideToUtf8(argv_.Get()[i]));
        return args;
    }

private:
    int argc_ = 0;
    zobrik::UniqueLocalMemory<wchar_t*> argv_;
};

std::string EnvironmentUtf8(const wchar_t* name) {
    wchar_t value[256];
    const DWORD n = GetEnvironmentVariableW(name, value, 256);
    return (n > 0 && n < 256) ? zobrik::sdk::WideToUtf8(std::wstring_view(value, n)) : std::string();
}

std::unique_ptr<zobrik::sdk::ChannelTransport> MakeTransport(const std::string& name) {
    if (name == "wts") return std::make_unique<zobrik::sdk::WtsChannel>();
#if defined(ZOBRIK_SEND_STANDIN)
    if (name == "standin") return zobrik::standin::MakeStandInChannel();
#endif
    return nullptr;
}

}  // namespace

int main() {
    zobrik::send::Invocation invocation;
    invocation.args = Arguments().Utf8();
    // Test facility: ZOBRIK_SEND_TRANSPORT=standin selects the in-process
    // client stand-in in zobrik-send-test.exe.
    invocation.defaultTransport = EnvironmentUtf8(L"ZOBRIK_SEND_TRANSPORT");
    DWORD mode = 0;
    invocation.errorIsConsole = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;

    zobrik::send::ConsoleStreamBuf outBuffer(STD_OUTPUT_HANDLE);
    zobrik::send::ConsoleStreamBuf errBuffer(STD_ERROR_HANDLE);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    const int code = zobrik::send::RunZobrikSend(invocation, MakeTransport, out, err);
    out.flush();
    err.flush();
    return code;
}
