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
        const DirectoryMatch match = machine.MatchDirectory(reading.substr(0, end), staging);
        if (match == DirectoryMatch::None) {
            const bool unknownDevice = end == rootEnd && rootEnd < reading.size() && !DeviceRoot(root).empty();
            return unknownDevice ? Passage::Unknown : Passage::Beside;
        }
        if (match == DirectoryMatch::Same) {
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

// The part of `path` that follows its first `end` characters (a parent
// directory, with or without its closing '\\').
WideString NextPart(const WideString& path, size_t end) {
    const size_t start = path[end - 1] == '\\' ? end : end + 1;
    return path.substr(start, path.find('\\', start) - start);
}

// The names that lead from `directory` one step towards the staging
// directory: for each parent of it that `directory` is, by identity (links,
// shares and short names lead to the same identity) or by a reading with
// long names, the name of the staging path's next part. Empty when the
// staging directory does not lie below `directory`.
std::vector<WideString> NamesTowardsStaging(const WideString& directory, const StagingDirectory& staging,
                                            const MachinePaths& machine) {
    std::vector<WideString> names;
    const WideString& path = staging.path;
    const size_t rootEnd = PathRoot(path).size() + 1;
    for (const WideString& reading : PathReadings(LocalSpelling(directory, machine))) {
        if (PathRoot(reading).empty()) {
            continue;
        }
        if (auto identity = machine.DirectoryIdentity(reading)) {
            for (size_t end = rootEnd; end < path.size(); end = std::min(path.find('\\', end + 1), path.size())) {
                if (machine.DirectoryIdentity(path.substr(0, end)) == identity) {
                    AddUnique(names, NextPart(path, end));
                }
            }
        }
        for (const WideString& resolved : PathReadings(LocalSpelling(WithLongNames(reading, machine), machine))) {
            if (resolved.size() < path.size() && IsSameOrBelow(path, resolved, machine)) {
                AddUnique(names, NextPart(path, resolved.size()));
            }
        }
    }
    return names;
}

// The names the first part of `spelling` may be read as: the part itself and
// what precedes its first ':' (the rest read as a stream), each without the
// trailing dots and spaces Windows drops.
std::vector<WideString> FirstPartNames(WideStringView spelling) {
    const WideStringView first = spelling.substr(0, spelling.find_first_of(ZOBRIK_WIDE("\\/")));
    std::vector<WideString> names;
    for (WideStringView name : {first, first.substr(0, first.find(':'))}) {
        AddUnique(names, WideString(name.substr(0, name.find_last_not_of(ZOBRIK_WIDE(". ")) + 1)));
    }
    return names;
}

// Whether `spelling` is relative and stays below the directory it is read
// in: no root (separator or drive letter first) and no part made only of
// dots and spaces, which Windows or Wine may read as going up.
bool IsRelativeWithoutClimbing(WideStringView spelling) {
    if (!spelling.empty() && (spelling[0] == '\\' || spelling[0] == '/')) {
        return false;
    }
    if (spelling.size() >= 2 && (spelling[1] == ':' || spelling[1] == '|')) {
        return false;
    }
    for (size_t start = 0; start <= spelling.size();) {
        size_t end = spelling.find_first_of(ZOBRIK_WIDE("\\/"), start);
        if (end == WideStringView::npos) {
            end = spelling.size();
        }
        const WideStringView part = spelling.substr(start, end - start);
        if (!part.empty() && part.find_first_not_of(ZOBRIK_WIDE(". ")) == WideStringView::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

// Whether a path `address` may stand for can reach the staging directory
// from the current directory described by `facts`: a spelling with a root,
// one that climbs, an environment variable, a current directory inside the
// staging directory, or a first part named like the next step towards it.
bool MayReachStaging(WideStringView address, const CurrentDirectoryFacts& facts, const MachinePaths& machine) {
    if (facts.insideStaging || address.find('%') != WideStringView::npos) {
        return true;
    }
    for (const WideString& spelling : PathSpellings(address)) {
        if (!IsRelativeWithoutClimbing(spelling)) {
            return true;
        }
        for (const WideString& name : FirstPartNames(spelling)) {
            for (const WideString& step : facts.namesTowardsStaging) {
                if (machine.SameIgnoringCase(name, step)) {
                    return true;
                }
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
    // A directory that did not exist yet holds while it still does not: its
    // reading depends only on its parents, which are read the same way.
    if (!kept.identity) {
        return !machine.DirectoryIdentity(kept.path);
    }
    if (machine.MatchDirectory(kept.path, *kept.identity) != DirectoryMatch::Same) {
        return false;
    }
    // The directory's own text is where attachments are staged; spelled
    // otherwise than the reading (short names, '/', "." or ".."), it may lead
    // elsewhere by now.
    const bool spelledAsRead = machine.SameIgnoringCase(directory, kept.path);
    return spelledAsRead || machine.MatchDirectory(WideString(directory), *kept.identity) == DirectoryMatch::Same;
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
    if (directory_ != directory || (kept_ && kept_->identity)) {
        facts_.reset();  // taken against another directory, or one that was replaced
    }
    directory_ = WideString(directory);
    kept_ = resolved;
    return resolved;
}

std::optional<CurrentDirectoryFacts> StagingDirectoryCache::FactsOf(WideStringView directory,
                                                                    const WideString& currentDirectory,
                                                                    const MachinePaths& machine) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (facts_ && factsFrom_ == currentDirectory && directory_ == directory) {
            return facts_;
        }
    }
    const auto staging = Resolve(directory, machine);
    if (!staging) {
        return std::nullopt;
    }
    CurrentDirectoryFacts facts{IsInDirectory(currentDirectory, *staging, machine),
                                NamesTowardsStaging(currentDirectory, *staging, machine)};
    const std::lock_guard<std::mutex> lock(mutex_);
    if (directory_ == directory) {
        factsFrom_ = currentDirectory;
        facts_ = facts;
    }
    return facts;
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
    // The shell hands an address to its scheme's handler, but may first look
    // for a file of that name in the current directory: an address needs no
    // path check when none of the paths it may stand for can reach the
    // staging directory from there.
    if (IsPlainAddress(text)) {
        if (const auto currentDirectory = machine.FullPath(ZOBRIK_WIDE("."))) {
            const auto facts = cache.FactsOf(stagingDirectory, *currentDirectory, machine);
            if (!facts || !MayReachStaging(text, *facts, machine)) {
                return std::nullopt;
            }
        }
    }
    auto staging = cache.Resolve(stagingDirectory, machine);
    return staging ? PathRefusal(text, *staging, machine) : std::nullopt;
}

}  // namespace zobrik
