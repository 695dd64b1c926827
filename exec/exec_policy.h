// What the exec channel refuses to hand to the shell for where it leads:
// whether one of the paths the text can stand for lies in the attachment
// staging directory. The text's own checks (length, scheme) are in
// exec_text.h, the path readings in windows_paths.h.
//
// The checks lean towards refusing: a text is refused when any reading of it
// that some version of the shell might make is refused.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "exec_text.h"
#include "host_recognition.h"
#include "include/wide_text.h"
#include "windows_paths.h"

namespace zobrik {

// The staging directory as the path checks compare with it: its reading
// with long names, and its identity when it exists.
struct StagingDirectory {
    WideString path;
    std::optional<FileIdentity> identity;
};

// `directory` as the machine resolves it; nullopt when it is empty or has no
// root.
std::optional<StagingDirectory> ResolveStagingDirectory(WideStringView directory, const MachinePaths& machine);

// What the current directory is to the staging directory: inside it (or
// it), and the names of the steps from it towards the staging directory
// when the staging directory lies below it ("Temp" for "...\\Local" and
// "...\\Local\\Temp\\Ema1.tmp").
struct CurrentDirectoryFacts {
    bool insideStaging = false;
    std::vector<WideString> namesTowardsStaging;
};

// The staging directory resolved once and kept between texts, for checks
// that run on several threads at once. What is kept is asked again of the
// machine only as far as it can change: a kept directory counts while its
// reading (and the directory's own text, when that is spelled otherwise)
// still leads to the kept identity, or still to none when it did not exist;
// one that was removed, replaced or made since, or another directory text,
// is resolved afresh.
class StagingDirectoryCache {
public:
    std::optional<StagingDirectory> Resolve(WideStringView directory, const MachinePaths& machine);

    // What `currentDirectory` is to the staging directory `directory`;
    // nullopt when there is no staging directory. Kept until the current
    // directory or the directory text changes.
    std::optional<CurrentDirectoryFacts> FactsOf(WideStringView directory, const WideString& currentDirectory,
                                                 const MachinePaths& machine);

private:
    bool StillHolds(WideStringView directory, const StagingDirectory& kept, const MachinePaths& machine) const;

    std::mutex mutex_;
    WideString directory_;  // the text `kept_` was resolved from
    std::optional<StagingDirectory> kept_;
    WideString factsFrom_;  // the current directory `facts_` describe
    std::optional<CurrentDirectoryFacts> facts_;
};

// "names a staged attachment" when `text` names the directory
// `stagingDirectory` or anything below it under any spelling; nullopt when
// not, or when `stagingDirectory` is empty. A path is below the directory
// when its reading, with long names, starts with the directory's, or when
// one of its existing directories is the staging directory itself: on a
// drive, on a device ("\\?\Volume{GUID}\...") or on a share of this machine
// ("\\<own name or address>\<any share>\..."). A path below a device whose
// root cannot be identified is refused too: it may lead anywhere.
std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

// PathRefusal against a staging directory already resolved.
std::optional<WideString> PathRefusal(WideStringView text, const StagingDirectory& staging,
                                      const MachinePaths& machine);

// The scheme refusal of the text or of the text with its environment
// variables expanded, then, unless the text is plainly an address
// (IsPlainAddress), its path refusal.
std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine);

// TextRefusal with the staging directory taken from `cache`: it is only
// resolved when the text is a path.
std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory, const MachinePaths& machine,
                                      StagingDirectoryCache& cache);

}  // namespace zobrik
