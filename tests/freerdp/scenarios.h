// The scenarios of the end-to-end test. Each prepares the client user's
// folders before the client starts (files to open, a policy file), then runs
// its checks once the session's dynamic channels are ready.
#pragma once

#include <string>
#include <vector>

#include "e2e_checks.h"

namespace zobrik_e2e {

struct Scenario {
    std::string name;
    void (*prepare)(const ClientFolders& folders);
    void (*run)(E2eContext& context);
    // When set, the server drops the connection after `run` instead of
    // logging the client off, waits for the client to reconnect and runs
    // this in the new session.
    void (*afterReconnect)(E2eContext& context) = nullptr;
};

const std::vector<Scenario>& AllScenarios();

void PrepareNothing(const ClientFolders& folders);
void PrepareExec(const ClientFolders& folders);
void RunExec(E2eContext& context);
void RunMail(E2eContext& context);
void RunMalformed(E2eContext& context);
void RunClose(E2eContext& context);
void RunClientClose(E2eContext& context);
void RunBeforeReconnect(E2eContext& context);
void RunAfterReconnect(E2eContext& context);
void PreparePolicy(const ClientFolders& folders);
void RunPolicy(E2eContext& context);
void PreparePolicyTooLong(const ClientFolders& folders);
void PreparePolicyExecOff(const ClientFolders& folders);
void RunPolicyExecOff(E2eContext& context);
void PrepareThunderbird(const ClientFolders& folders);
void RunThunderbird(E2eContext& context);

// A mail with every recipient group, non-ASCII subject and body, and two
// attachments (one of `largeSize` bytes).
zobrik::sdk::MailMessage SampleMail(size_t largeSize);

}  // namespace zobrik_e2e
