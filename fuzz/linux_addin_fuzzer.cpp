// The Linux add-in's parsers on arbitrary bytes: an exec message through its
// decoding and refusals (with a file system that answers from the text), a
// policy file through its parser and the policy values, and a recipient
// address and a mail text through the mail hand-over's grammar and
// encoding, which must never let a character through that xdg-email or
// Thunderbird would read as syntax.
// Input: one byte choosing what to fuzz and the policy's switches, then the
// message, the file or the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "exec/exec_text_decoding.h"
#include "exec/posix_paths.h"
#include "mail/mail_address.h"
#include "mail/xdg_email_arguments.h"
#include "plugin/policy_file.h"

namespace {

class FuzzFiles final : public zobrik::PosixFiles {
public:
    std::string CurrentDirectory() const override { return "/home/fuzz"; }
    std::optional<std::string> RealPath(const std::string& path) const override {
        if (path.find("missing") != std::string::npos) return std::nullopt;
        if (path.rfind("/link", 0) == 0) return "/target" + path.substr(5);
        return path;
    }
    zobrik::PosixFileFacts Facts(const std::string& path) const override {
        const bool exists = path.find("missing") == std::string::npos;
        return {exists, exists, exists && path.find("bin") != std::string::npos};
    }
    const std::vector<std::string>& MachineNames() const override { return names_; }

private:
    std::vector<std::string> names_ = {"fuzzhost"};
};

// Only ASCII letters, digits and the characters of `extra`.
bool HasOnly(std::string_view text, std::string_view extra) {
    for (const char c : text) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && extra.find(c) == std::string_view::npos) return false;
    }
    return true;
}

void CheckMailHandOver(const std::string& input) {
    if (zobrik::IsPlainMailAddress(input) && (!HasOnly(input, "._+-@") || input[0] == '-')) std::abort();
    if (!HasOnly(zobrik::MailtoEncoded(input), ".-_@%")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    if ((choice & 0xC0) == 0x40) {
        CheckMailHandOver(input);
        return 0;
    }
    if (choice & 0x80) {
        const zobrik::PolicyHive file = zobrik::ParsePolicyFile(input, u"fuzz");
        (void)zobrik::PolicyFromHives(file, zobrik::PolicyHive{u"none", {}});
        return 0;
    }
    zobrik::AdminPolicy policy;
    policy.execAllowLocalPaths = choice & 1;
    policy.execAllowNetworkPaths = choice & 2;
    policy.execConfirm = choice & 4;
    if (choice & 8) policy.execAllowedSchemes = std::vector<zobrik::WideString>{u"https", u"file"};
    if (choice & 16) policy.execAllowList = std::vector<zobrik::WideString>{u"/home/*", u"https://*"};
    if (choice & 32) policy.execDenyList = {u"*secret*"};
    if (const auto text = zobrik::DecodeExecText(input)) {
        (void)zobrik::PosixExecRefusal(*text, "/run/user/1/zobrik-wtsdvc", policy, FuzzFiles());
    }
    (void)zobrik::ParseFileUrl(input);
    (void)zobrik::AbsolutePosixPath(input, "/home/fuzz");
    return 0;
}
