// Scenarios "policy" and "policy_exec_off": the per-user policy file
// $XDG_CONFIG_HOME/zobrik/wtsdvc.conf, written before the client starts.
#include <string>

#include "scenarios.h"

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace sdk = zobrik::sdk;
namespace {

// The add-in reads a policy file of up to 256 KiB (docs/linux.md).
constexpr size_t kLongestPolicyFile = size_t(256) * 1024;

// The file is `length` bytes long, by default as long as a policy file may
// be: comment lines fill it up to the limit, so that a limit read one byte
// short leaves the policy unread.
void WritePolicy(const ClientFolders& folders, const std::string& lines, size_t length = kLongestPolicyFile) {
    const fs::path file = folders.configHome / "zobrik" / "wtsdvc.conf";
    fs::create_directories(file.parent_path());
    std::string content = "# This user's Zobrik policy, written by the end-to-end test.\n" + lines;
    const std::string filler = "# " + std::string(77, '-') + "\n";
    while (content.size() + filler.size() + 2 <= length) content += filler;
    content += "#" + std::string(length - content.size() - 2, '-') + "\n";
    WriteWholeFile(file, content);
}

sdk::MailMessage MailWithAttachments(size_t count) {
    sdk::MailMessage mail;
    mail.subject = "Policy";
    mail.body = "Policy";
    mail.to.push_back({"Bob", "bob@example.com"});
    for (size_t i = 0; i < count; ++i)
        mail.attachments.push_back({"file" + std::to_string(i + 1) + ".bin", PatternedBytes(2000, uint32_t(i + 5))});
    return mail;
}

}  // namespace

void PreparePolicy(const ClientFolders& folders) {
    WritePolicy(folders,
                "ExecAllowedSchemes = https\n"
                "# a list setting names one entry per line\n"
                "ExecAllowedSchemes = zobrik-e2e\n"
                "MailMaxAttachments = 1\n"
                "MailRequestIdleSeconds = 5\n"
                "# the next line is ignored with a warning in the client's log (run-e2e.sh)\n"
                "MailMaxAttachments\n");
}

void RunPolicy(E2eContext& context) {
    std::optional<DynamicChannel> exec = context.OpenChecked(sdk::kExecChannelName, "policy exec");
    if (exec) {
        const std::string https = "https://example.com/allowed";
        context.CheckExec(*exec, "allowed scheme https", ToBytes(https), ExecReplyKind::Okay, https);
        const std::string own = "zobrik-e2e:item";
        context.CheckExec(*exec, "second allowed scheme", ToBytes(own), ExecReplyKind::Okay, own);
        context.CheckExec(*exec, "scheme mailto not allowed", ToBytes("mailto:a@b"), ExecReplyKind::Failed,
                          std::nullopt);
        context.CheckExec(*exec, "scheme http not allowed", ToBytes("http://example.com/"), ExecReplyKind::Failed,
                          std::nullopt);
    }
    context.CheckMailRefused("two attachments, at most one allowed", sdk::BuildMailRequest(MailWithAttachments(2)),
                             MailErrorReply("too many records"));
    const sdk::MailMessage one = MailWithAttachments(1);
    context.CheckMailHandedOver("one attachment, at most one allowed",
                                context.ExchangeMail("one attachment", sdk::BuildMailRequest(one), 1000), one);

    // Half a request, then nothing: ended after the policy's 5 seconds (and
    // a sweep of at most 1.25 s), not the built-in 2 minutes, and not sooner.
    std::optional<DynamicChannel> stalled = context.OpenChecked(sdk::kMailChannelName, "policy idle time");
    if (stalled) {
        const Bytes request = sdk::BuildMailRequest(one);
        const bool written = stalled->Write(request.data(), request.size() / 2);
        const std::optional<Bytes> early = stalled->Read(Millis(4500));
        context.Checks().Check(!early, "mail stopped halfway, MailRequestIdleSeconds = 5: no reply within 4.5 s",
                               early ? Printable(*early) : "");
        const std::optional<Bytes> got = early ? early : stalled->Read(Millis(500 + 2 * 1250) + kReplyTimeout);
        context.Checks().Check(written && got == MailErrorReply("request timed out"),
                               "mail stopped halfway, MailRequestIdleSeconds = 5: reply \"request timed out\"",
                               got ? Printable(*got) : "no reply");
        context.CheckNoCalls("mail stopped halfway");
    }
}

// One byte longer than a policy file may be: the add-in ignores the whole
// file, with a warning (run-e2e.sh), and both channels stay on.
void PreparePolicyTooLong(const ClientFolders& folders) {
    WritePolicy(folders, "ExecChannel = 0\nMailChannel = 0\n", kLongestPolicyFile + 1);
}

void PreparePolicyExecOff(const ClientFolders& folders) { WritePolicy(folders, "ExecChannel = 0\n"); }

void RunPolicyExecOff(E2eContext& context) {
    std::optional<DynamicChannel> exec;
    const OpenOutcome outcome = context.Session().Open(sdk::kExecChannelName, kOpenTimeout, exec);
    context.Checks().Check(outcome == OpenOutcome::Refused, "policy ExecChannel = 0: the client refuses Zobrik/exec",
                           outcome == OpenOutcome::Opened ? "it opened" : "no answer");
    exec.reset();
    const sdk::MailMessage mail = MailWithAttachments(1);
    context.CheckMailHandedOver("with the exec channel off",
                                context.ExchangeMail("with the exec channel off", sdk::BuildMailRequest(mail), 1000),
                                mail);
}

}  // namespace zobrik_e2e
