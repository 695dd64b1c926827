#include "exec_policy.h"

#include <algorithm>
#include <optional>

#include "exec_unique_forms.h"
#include "include/ascii_text.h"

namespace zobrik {

namespace {

// The staging directory as the machine resolves it; nullopt when it has no root.
std::optional<WideString> ResolvedDirectory(WideStringView directory, const MachinePaths& machine) {
    WideString path = LocalSpelling(directory, machine);
    if (path.empty()) {
        return std::nullopt;
    }
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, machine);
    }
    WideString reading = PathReadings(path).front();
    if (PathRoot(reading).empty()) {
        return std::nullopt;
    }
    return PathReadings(LocalSpelling(WithLongNames(reading, machine), machine)).front();
}

// Whether the machine may be asked about the directories below `root`: those
// of its own drives, devices and shares; never those of another host, which
// cannot hold the staging directory and would be contacted.
bool IsAskable(WideStringView root, const MachinePaths& machine) {
    if (root.size() == 2 || !DeviceRoot(root).empty()) {
        return true;
    }
    const WideStringView host = root.substr(2, root.find('\\', 2) - 2);
    return root.size() > 2 && IsThisMachine(host, machine.MachineNames());
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

bool IsInDirectory(const WideString& candidate, const StagingDirectory& staging, const MachinePaths& machine) {
    WideString path = LocalSpelling(candidate, machine);
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, machine);
    }
    for (const WideString& reading : PathReadings(path)) {
        const WideStringView root = PathRoot(reading);
        if (root.empty()) {
            continue;
        }
        if (staging.identity && IsAskable(root, machine) &&
            PassesThrough(reading, *staging.identity, machine) != Passage::Beside) {
            return true;
        }
        if (!machine.SameIgnoringCase(root, PathRoot(staging.path))) {
            continue;
        }
        for (const WideString& resolved : PathReadings(LocalSpelling(WithLongNames(reading, machine), machine))) {
            if (IsSameOrBelow(resolved, staging.path, machine)) {
                return true;
            }
        }
    }
    return false;
}

// The scheme refusal of `text` or of `text` with its environment variables
// expanded.
std::optional<WideString> SchemeRefusalExpanded(WideStringView text, const MachinePaths& machine) {
    if (auto refusal = SchemeRefusal(text)) {
        return refusal;
    }
    if (auto expanded = machine.ExpandEnvironment(WideString(text))) {
        if (auto refusal = SchemeRefusal(*expanded)) {
            return refusal;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<StagingDirectory> ResolveStagingDirectory(WideStringView directory, const MachinePaths& machine) {
    auto path = ResolvedDirectory(directory, machine);
    if (!path) {
        return std::nullopt;
    }
    StagingDirectory staging{std::move(*path), std::nullopt};
    staging.identity = machine.DirectoryIdentity(staging.path);
    return staging;
}

bool StagingDirectoryCache::StillHolds(WideStringView directory, const StagingDirectory& kept,
                                       const MachinePaths& machine) const {
    if (!kept.identity || machine.DirectoryIdentity(kept.path) != kept.identity) {
        return false;
    }
    // The directory's own text is where attachments are staged; spelled
    // otherwise than the reading (short names, '/', "." or ".."), it may lead
    // elsewhere by now.
    const bool spelledAsRead = machine.SameIgnoringCase(directory, kept.path);
    return spelledAsRead || machine.DirectoryIdentity(WideString(directory)) == kept.identity;
}

std::optional<StagingDirectory> StagingDirectoryCache::Resolve(WideStringView directory, const MachinePaths& machine) {
    std::optional<StagingDirectory> kept;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (kept_ && directory_ == directory) {
            kept = kept_;
        }
    }
    if (kept && StillHolds(directory, *kept, machine)) {
        return kept;
    }
    auto resolved = ResolveStagingDirectory(directory, machine);
    const std::lock_guard<std::mutex> lock(mutex_);
    directory_ = WideString(directory);
    kept_.reset();
    if (resolved && resolved->identity) {
        kept_ = resolved;  // a directory without an identity is resolved each time until it exists
    }
    return resolved;
}

std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine) {
    auto staging = ResolveStagingDirectory(stagingDirectory, machine);
    return staging ? PathRefusal(text, *staging, machine) : std::nullopt;
}

std::optional<WideString> PathRefusal(WideStringView text, const StagingDirectory& staging,
                                      const MachinePaths& machine) {
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
    StagingDirectoryCache once;
    return TextRefusal(text, stagingDirectory, machine, once);
}

std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory, const MachinePaths& machine,
                                      StagingDirectoryCache& cache) {
    if (auto refusal = SchemeRefusalExpanded(text, machine)) {
        return refusal;
    }
    if (IsPlainAddress(text)) {
        return std::nullopt;  // handed to its scheme's handler, never read as a path
    }
    auto staging = cache.Resolve(stagingDirectory, machine);
    return staging ? PathRefusal(text, *staging, machine) : std::nullopt;
}

}  // namespace zobrik
