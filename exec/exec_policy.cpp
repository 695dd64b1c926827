#include "exec_policy.h"

#include <algorithm>
#include <optional>

#include "exec_unique_forms.h"
#include "include/ascii_text.h"

namespace zobrik {

namespace {

// The staging directory's reading with long names, and its identity when it
// exists.
struct Staging {
    WideString path;
    std::optional<FileIdentity> identity;
};

// The staging directory as the machine resolves it; nullopt when it has no root.
std::optional<WideString> ResolvedDirectory(WideStringView directory, const MachinePaths& machine) {
    const auto& names = machine.MachineNames();
    WideString path = LocalSpelling(directory, names);
    if (path.empty()) {
        return std::nullopt;
    }
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, names);
    }
    WideString reading = PathReadings(path).front();
    if (PathRoot(reading).empty()) {
        return std::nullopt;
    }
    return PathReadings(LocalSpelling(WithLongNames(reading, machine), names)).front();
}

// Whether the machine may be asked about the directories below `root`: those
// of its own drives, devices and shares; never those of another host, which
// cannot hold the staging directory and would be contacted.
bool IsAskable(WideStringView root, const std::vector<WideString>& names) {
    if (root.size() == 2 || !DeviceRoot(root).empty()) {
        return true;
    }
    const WideStringView host = root.substr(2, root.find('\\', 2) - 2);
    return root.size() > 2 && IsThisMachine(host, names);
}

enum class Passage { Beside, Through, Unknown };

// Whether one of the existing directories along `reading`, from its root
// directory on, is the staging directory. Unknown when the root is a device
// whose identity cannot be taken and the reading goes below it: what it
// leads to cannot be told, so it may be the staging directory.
Passage PassesThrough(const WideString& reading, const FileIdentity& staging, const MachinePaths& machine) {
    const WideStringView root = PathRoot(reading);
    const size_t rootEnd = root.size() + 1;  // the root directory, with its '\'
    // A directory can only exist when its parent does, so the walk stops at
    // the first one that does not.
    for (size_t end = std::min(rootEnd, reading.size());;) {
        auto identity = machine.DirectoryIdentity(reading.substr(0, end));
        if (!identity) {
            const bool unknownDevice = end == rootEnd && rootEnd < reading.size() && !DeviceRoot(root).empty();
            return unknownDevice ? Passage::Unknown : Passage::Beside;
        }
        if (*identity == staging) {
            return Passage::Through;
        }
        if (end >= reading.size()) {
            return Passage::Beside;
        }
        end = std::min(reading.find('\\', end + 1), reading.size());
    }
}

bool IsInDirectory(const WideString& candidate, const Staging& staging, const MachinePaths& machine) {
    const auto& names = machine.MachineNames();
    WideString path = LocalSpelling(candidate, names);
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, names);
    }
    for (const WideString& reading : PathReadings(path)) {
        const WideStringView root = PathRoot(reading);
        if (root.empty()) {
            continue;
        }
        if (staging.identity && IsAskable(root, names) &&
            PassesThrough(reading, *staging.identity, machine) != Passage::Beside) {
            return true;
        }
        if (!machine.SameIgnoringCase(root, PathRoot(staging.path))) {
            continue;
        }
        for (const WideString& resolved : PathReadings(LocalSpelling(WithLongNames(reading, machine), names))) {
            if (IsSameOrBelow(resolved, staging.path, machine)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine) {
    auto directory = ResolvedDirectory(stagingDirectory, machine);
    if (!directory) {
        return std::nullopt;
    }
    Staging staging{std::move(*directory), std::nullopt};
    staging.identity = machine.DirectoryIdentity(staging.path);
    std::vector<WideString> texts{WideString(text)};
    if (auto expanded = machine.ExpandEnvironment(texts.front())) {
        AddUnique(texts, std::move(*expanded));
    }
    for (const WideString& each : texts) {
        for (const WideString& spelling : PathSpellings(each)) {
            bool inside = IsInDirectory(spelling, staging, machine);
            if (!inside && spelling.find('%') != WideString::npos) {
                auto expanded = machine.ExpandEnvironment(spelling);
                inside = expanded && *expanded != spelling && IsInDirectory(*expanded, staging, machine);
            }
            if (inside) {
                return Wide(u"names a staged attachment");
            }
        }
    }
    return std::nullopt;
}

std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine) {
    if (auto refusal = SchemeRefusal(text)) {
        return refusal;
    }
    if (auto expanded = machine.ExpandEnvironment(WideString(text))) {
        if (auto refusal = SchemeRefusal(*expanded)) {
            return refusal;
        }
    }
    return PathRefusal(text, stagingDirectory, machine);
}

}  // namespace zobrik
