// The exec channel's refusal of the staging folder on arbitrary texts: host
// names and addresses, device paths, shares of this machine, readings and
// the walk of directory identities.
// Input: UTF-16 text.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "exec/exec_policy.h"

namespace {

using zobrik::WideChar;
using zobrik::WideString;
using zobrik::WideStringView;

// A machine whose directories below C:\d exist, reached also through its
// shares and a volume device; names and addresses of its own.
class FuzzMachine final : public zobrik::MachinePaths {
public:
    std::optional<WideString> ExpandEnvironment(const WideString& text) const override { return text; }
    std::optional<WideString> FullPath(const WideString& path) const override {
        if (path.empty()) return std::nullopt;
        if (!zobrik::PathRoot(path).empty()) return path;
        return WideString(u"C:\\d\\cwd\\") + path;
    }
    std::optional<WideString> LongPath(const WideString& path) const override {
        return path.size() < 64 ? std::optional<WideString>(path) : std::nullopt;
    }
    std::optional<zobrik::FileIdentity> DirectoryIdentity(const WideString& path) const override {
        if (path.size() > 200 || path.find(u"..") != WideString::npos) return std::nullopt;
        // Nothing exists below the current directory, whose own identity
        // is apart from all others.
        if (SameIgnoringCase(path.substr(0, 9), u"C:\\d\\cwd\\")) return std::nullopt;
        if (SameIgnoringCase(path, u"C:\\d\\cwd")) return zobrik::FileIdentity{99, 99};
        uint64_t hash = 1469598103934665603ull;
        for (WideChar c : path) hash = (hash ^ uint64_t(c | 0x20)) * 1099511628211ull;
        return zobrik::FileIdentity{hash & 3, hash >> 2 & 15};  // few identities: many collide with the staging one
    }
    bool SameIgnoringCase(WideStringView a, WideStringView b) const override {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
        }
        return true;
    }
    const std::vector<WideString>& MachineNames() const override { return names_; }
    bool IsNetworkDrive(WideStringView root) const override { return !root.empty() && (root[0] | 0x20) == 'n'; }
    bool IsDirectory(const WideString& path) const override { return !path.empty() && path.back() == '\\'; }
    WideString ProgramExtensions() const override { return u".EXE"; }

private:
    std::vector<WideString> names_ = {u"HOST", u"host.example.", u"192.0.2.7", u"fe80::1:2", u"::ffff:10.0.0.1"};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WideString text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text += WideChar(data[i] | data[i + 1] << 8);
    }
    const FuzzMachine machine;
    (void)zobrik::IsThisMachine(text, machine.MachineNames());
    const WideString local = zobrik::LocalSpelling(text, machine.MachineNames());
    // Asking for the names only when the text still names a host without
    // them changes no reading.
    if (zobrik::LocalSpelling(text, machine) != local) __builtin_trap();
    (void)zobrik::DeviceRoot(local);
    for (const WideString& reading : zobrik::PathReadings(local)) {
        (void)zobrik::PathRoot(reading);
    }
    // An address is let through without the path checks only where they
    // would let it through too.
    const WideStringView staging = u"C:\\d\\Temp\\Ema1.tmp";
    zobrik::StagingDirectoryCache cache;
    for (int twice = 0; twice < 2; ++twice) {
        const bool refused = zobrik::TextRefusal(text, staging, machine, cache).has_value();
        if (!refused && zobrik::PathRefusal(text, staging, machine)) __builtin_trap();
    }
    return 0;
}
