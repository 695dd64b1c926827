// Test RDP server for the end-to-end tests of the Zobrik add-in with the real
// client (xfreerdp or xfreerdp3). Accepts one connection on a free port of
// 127.0.0.1 (and the client's second one when the scenario drops the first),
// runs one scenario on the add-in's dynamic channels and prints one line per
// check. Exits 0 only when every check passed.
//
//   zobrik_rdp_test_server<major> --scenario NAME --client PROGRAM --cert FILE
//       --key FILE --home DIR --config-home DIR --runtime-dir DIR
//       --record-dir DIR
//
// Once listening it prints "LISTENING <port>"; run-e2e.sh starts the client
// PROGRAM with that port.
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <optional>
#include <string>

#include <freerdp/channels/channels.h>
#include <winpr/ssl.h>
#include <winpr/winsock.h>
#include <winpr/wtsapi.h>

#include "scenarios.h"

namespace zobrik_e2e {
namespace {

constexpr Millis kConnectTimeout{30000};
constexpr Millis kReconnectTimeout{20000};
constexpr Millis kChannelsReadyTimeout{20000};
constexpr Millis kDrainBeforeDisconnect{300};

struct Options {
    std::string scenario;
    std::string client;
    TlsFiles tls;
    ClientFolders folders;
};

Options ParseOptions(int argc, char** argv) {
    std::map<std::string, std::string> values;
    for (int i = 1; i + 1 < argc; i += 2) values[argv[i]] = argv[i + 1];
    const auto take = [&](const char* name) {
        const auto it = values.find(name);
        if (it == values.end() || it->second.empty()) throw std::runtime_error(std::string("missing ") + name);
        return it->second;
    };
    Options options;
    options.scenario = take("--scenario");
    options.client = take("--client");
    options.tls = {take("--cert"), take("--key")};
    options.folders = {take("--home"), take("--config-home"), take("--runtime-dir"), take("--record-dir")};
    return options;
}

const Scenario& FindScenario(const std::string& name) {
    for (const Scenario& scenario : AllScenarios())
        if (scenario.name == name) return scenario;
    throw std::runtime_error("unknown scenario \"" + name + "\"");
}

void InitializeLibraries() {
    WTSRegisterWtsApiFunctionTable(FreeRDP_InitWtsApi());
    winpr_InitializeSSL(WINPR_SSL_INIT_DEFAULT);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

// Runs `part` of the scenario in the session of `peer`. The last part ends
// it with a logoff; an earlier one drops the connection for the client to
// reconnect. Returns whether the part ran.
bool RunSession(freerdp_peer* peer, const Options& options, void (*part)(E2eContext&), bool last,
                std::optional<E2eContext>& context, Report& report) {
    RdpSession session(peer, options.tls);
    if (!report.Check(session.WaitUntilDynamicChannelsReady(kChannelsReadyTimeout),
                      "the client connects and its dynamic channels are ready"))
        return false;
    if (context)
        context->ContinueIn(session);
    else
        context.emplace(session, options.folders, report, options.client);
    part(*context);
    report.Check(session.PumpFor(kDrainBeforeDisconnect), "the session is still alive at the end");
    if (last)
        session.Disconnect();
    else
        session.Drop();
    return true;
}

int Run(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const Scenario& scenario = FindScenario(options.scenario);
    InitializeLibraries();
    scenario.prepare(options.folders);
    Report report;
    // The expected error text of the documentation's example, 53 bytes.
    report.Check(MailErrorReply("Invalid header version").size() == 53, "the expected error replies are well formed");
    RdpListener listener;
    std::printf("LISTENING %u\n", listener.Port());
    std::fflush(stdout);
    Note("scenario " + scenario.name);
    std::optional<E2eContext> context;
    const bool reconnects = scenario.afterReconnect != nullptr;
    freerdp_peer* peer = listener.AcceptOne(kConnectTimeout);
    if (report.Check(peer != nullptr, options.client + " connects") &&
        RunSession(peer, options, scenario.run, !reconnects, context, report) && reconnects) {
        Note("connection dropped");
        peer = listener.AcceptOne(kReconnectTimeout);
        if (report.Check(peer != nullptr, options.client + " reconnects after the connection dropped"))
            RunSession(peer, options, scenario.afterReconnect, true, context, report);
    }
    Note(std::to_string(report.Checks()) + " checks, " + std::to_string(report.Failures()) + " failed");
    return report.Failures() == 0 ? 0 : 1;
}

}  // namespace

const std::vector<Scenario>& AllScenarios() {
    static const std::vector<Scenario> scenarios{
        {"exec", PrepareExec, RunExec},
        {"mail", PreparePolicyTooLong, RunMail},
        {"malformed", PrepareNothing, RunMalformed},
        {"close", PrepareNothing, RunClose},
        {"client_close", PrepareNothing, RunClientClose},
        {"policy", PreparePolicy, RunPolicy},
        {"policy_exec_off", PreparePolicyExecOff, RunPolicyExecOff},
        {"mail_thunderbird", PrepareThunderbird, RunThunderbird},
        {"reconnect", PrepareNothing, RunBeforeReconnect, RunAfterReconnect},
    };
    return scenarios;
}

}  // namespace zobrik_e2e

int main(int argc, char** argv) {
    try {
        return zobrik_e2e::Run(argc, argv);
    } catch (const std::exception& error) {
        std::printf("FAIL: %s\n", error.what());
        return 1;
    }
}
