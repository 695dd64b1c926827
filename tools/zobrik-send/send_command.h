// zobrik-send's command line: parsing, building the request, talking to the
// plug-in through a channel transport, and the exit code.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "zobrik/channel_transport.h"

namespace zobrik::send {

// Exit codes of zobrik-send.
enum ExitCode : int {
    kExitOk = 0,            // opened / handed over to the mail program
    kExitPluginFailed = 1,  // the shell could not open it / the plug-in reported an error
    kExitBadInput = 2,      // usage error, missing or unreadable file, bad address, ...; nothing was sent
    kExitTransport = 3,     // channel not available, transport failure, no or no valid reply
};

// Creates the transport of a name: "wts" (the Remote Desktop session) or
// "standin" (test builds). Returns nullptr for a name that this build lacks.
using TransportFactory = std::function<std::unique_ptr<sdk::ChannelTransport>(const std::string& name)>;

struct Invocation {
    std::vector<std::string> args;  // UTF-8, without the program name
    // The transport when no --transport option is given (ZOBRIK_SEND_TRANSPORT);
    // empty means "wts".
    std::string defaultTransport;
    // Whether the error stream is a console: only then does a large mail
    // show its progress line (a redirected stream would collect every step).
    bool errorIsConsole = false;
};

// Runs one command. Results go to `out`, errors and progress to `err`, both UTF-8.
int RunZobrikSend(const Invocation& invocation, const TransportFactory& transports, std::ostream& out,
                  std::ostream& err);

// The text of --help.
std::string UsageText();

}  // namespace zobrik::send
