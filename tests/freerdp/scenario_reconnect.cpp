// Scenario "reconnect": the connection drops and the client reconnects by
// itself. FreeRDP ends the add-in's plug-in with the old connection
// (Terminated) and loads it again for the new one (DVCPluginEntry,
// Initialize): both channels work before and after, in the same client
// process, and the files kept for the mail program's compose windows outlive
// the reconnection (they go when the client ends, which run-e2e.sh checks).
#include <string>
#include <vector>

#include "scenarios.h"

namespace zobrik_e2e {
namespace sdk = zobrik::sdk;
namespace {

namespace fs = std::filesystem;

// The files of the mail handed over before the connection dropped.
std::vector<fs::path> keptBeforeTheDrop;

// Returns the staged files of the mail it hands over.
std::vector<fs::path> CheckExecAndMail(E2eContext& context, const std::string& when) {
    std::optional<DynamicChannel> exec = context.OpenChecked(sdk::kExecChannelName, "reconnect: exec " + when);
    if (exec) {
        const std::string url = "https://example.com/" + when;
        context.CheckExec(*exec, when, ToBytes(url), ExecReplyKind::Okay, url);
    }
    const sdk::MailMessage mail = SampleMail(20 * 1024);
    return context.CheckMailHandedOver(when, context.ExchangeMail(when, sdk::BuildMailRequest(mail), 1000), mail);
}

}  // namespace

void RunBeforeReconnect(E2eContext& context) { keptBeforeTheDrop = CheckExecAndMail(context, "before-the-drop"); }

void RunAfterReconnect(E2eContext& context) {
    bool kept = !keptBeforeTheDrop.empty();
    std::error_code error;
    for (const fs::path& file : keptBeforeTheDrop) kept = kept && fs::is_regular_file(file, error);
    context.Checks().Check(kept, "reconnect: the files kept for the first mail outlive the reconnection",
                           std::to_string(keptBeforeTheDrop.size()) + " staged files before the drop");
    CheckExecAndMail(context, "after-the-reconnection");
}

}  // namespace zobrik_e2e
