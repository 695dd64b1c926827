// Loads the plug-in DLL named on the command line as the Remote Desktop
// client does (the factory call reads the administrator's policy) and prints
// every debugger line the DLL wrote meanwhile, one per line. A test that
// imported policy values into this prefix's registry reads them from there.
#include <windows.h>

#include <cstdio>

#include "client_standin.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: policy_reader_check <dll>\n");
        return 2;
    }
    zobrik::standin::ClientOptions options;
    options.dllPath = argv[1];
    zobrik::standin::ClientStandIn client(options);
    if (!client.Module() || client.Start() != S_OK) {
        std::fwprintf(stderr, L"the plug-in did not start\n");
        return 1;
    }
    for (const std::string& line : zobrik::standin::DebugCapture::Lines()) {
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    client.Stop();
    return 0;
}
