// The Linux add-in's parsers on arbitrary bytes: an exec message through its
// decoding and refusals (with a file system that answers from the text), and
// a policy file through its parser and the policy values.
// Input: one byte choosing what to fuzz and the policy's switches, then the
// message or the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exec/exec_posix_refusals.h"
#include "exec/exec_text_decoding.h"
#include "freerdp/policy_file.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
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
