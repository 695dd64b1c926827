// A request's staging area and its upkeep, the same on every platform: the
// area removes its files when it goes; after a hand-over that returns while
// the mail program may still read them, the area is kept until it is due or
// the plug-in unloads; a later start sweeps the areas that clients which no
// longer run left behind. Each platform supplies only its file-system calls.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "staging_ledgers.h"
#include "staging_rules.h"

namespace zobrik {

// How long an area is kept after a hand-over that returns while the mail
// program may still read the files (a modeless compose window, xdg-email),
// unless the plug-in unloads first. After a modal hand-over the mail program
// is done with the files, and the area goes with the request.
constexpr unsigned kKeptStagingMinutes = 60;
constexpr uint64_t kKeptStagingMilliseconds = uint64_t(kKeptStagingMinutes) * 60 * 1000;

// The files of one request: a directory of its own, made new inside the
// staging root, and the files written into it. Destroying the area removes
// its files and its directory, whatever ended the request. `FileSystem`
// supplies:
//   Path                                   the platform's path type
//   static void RemoveFile(const Path&) noexcept
//   static void RemoveEmptyDirectory(const Path&) noexcept
template <class FileSystem>
class BasicStagingArea {
public:
    using Path = typename FileSystem::Path;

    BasicStagingArea() = default;
    BasicStagingArea(BasicStagingArea&& other) noexcept
        : directory_(std::exchange(other.directory_, Path())), files_(std::exchange(other.files_, {})) {}
    BasicStagingArea& operator=(BasicStagingArea&& other) noexcept {
        if (this != &other) {
            Remove();
            directory_ = std::exchange(other.directory_, Path());
            files_ = std::exchange(other.files_, {});
        }
        return *this;
    }
    BasicStagingArea(const BasicStagingArea&) = delete;
    BasicStagingArea& operator=(const BasicStagingArea&) = delete;
    ~BasicStagingArea() { Remove(); }

    const Path& Directory() const noexcept { return directory_; }
    const std::vector<Path>& Files() const noexcept { return files_; }  // in attachment order, as created

    // Takes the request directory just created, after removing what the area
    // held; room is made for `fileCount` files.
    void TakeDirectory(Path directory, size_t fileCount) {
        Remove();
        directory_ = std::move(directory);
        files_.reserve(fileCount);
    }
    // Takes a file just created in the directory.
    void TakeFile(Path file) { files_.push_back(std::move(file)); }

    // Deletes the staged files and the request's directory. The staging root
    // stays: removing it while another request creates its own directory
    // inside would fail that request. Never fails.
    void Remove() noexcept {
        for (const Path& file : files_) {
            FileSystem::RemoveFile(file);
        }
        files_.clear();
        if (!directory_.empty()) {
            FileSystem::RemoveEmptyDirectory(directory_);
            directory_.clear();
        }
    }

private:
    Path directory_;
    std::vector<Path> files_;
};

// The areas kept after hand-overs, each with its place in the kept-area
// allowance. Not locked: the platform's keeper calls it under its own lock,
// reads its clock and wakes when NextDeadline comes.
template <class Area>
class StagingKeeper {
public:
    // Keeps the area until `now` + `keepMilliseconds`. Once keeping has
    // ended (the plug-in unloads) nothing is kept: false, and `area` stays
    // with the caller, whose copy removes its files.
    bool Keep(ReservedArea<Area>& area, uint64_t now, uint64_t keepMilliseconds = kKeptStagingMilliseconds) {
        if (ended_) {
            return false;
        }
        areas_.Add(std::move(area), now + keepMilliseconds);
        return true;
    }

    // The areas due at `now`, for the caller to remove outside its lock.
    std::vector<ReservedArea<Area>> TakeDue(uint64_t now) { return areas_.TakeDue(now); }

    // At unload: every kept area, for the caller to remove outside its lock;
    // areas handed over from now on are not kept.
    std::vector<ReservedArea<Area>> End() {
        ended_ = true;
        return areas_.TakeAll();
    }

    std::optional<uint64_t> NextDeadline() const noexcept { return areas_.NextDeadline(); }

private:
    KeptStagingAreas<ReservedArea<Area>> areas_;
    bool ended_ = false;
};

// Removes the request directories in the staging root that clients which no
// longer run left behind (a crash or a killed process). A directory is
// abandoned when it is a directory itself, not a link; its name is one that
// RequestDirectoryName makes, naming another process than this one; and that
// process no longer runs. Anything else is never ours to remove. `Root`
// supplies:
//   Entry                     one entry of the root: its `name` (WideString),
//                             `isDirectory` (a directory, not a link) and
//                             what the platform needs to remove it
//   bool IsUsable()           the root is a directory of ours, not a link
//   void ForEachEntry(f)      calls f(Entry) for each entry of the root
//   uint32_t ThisProcess()
//   bool StillRuns(uint32_t owner, const Entry&)
//   void RemoveDirectoryAndFiles(const Entry&) noexcept
// Never fails: what is not removed now is removed by a later start.
template <class Root>
void SweepAbandonedRequestDirectories(Root& root) noexcept {
    try {
        if (!root.IsUsable()) {
            return;
        }
        std::vector<typename Root::Entry> abandoned;
        const uint32_t self = root.ThisProcess();
        root.ForEachEntry([&](typename Root::Entry entry) {
            if (!entry.isDirectory) {
                return;
            }
            const std::optional<uint32_t> owner = RequestDirectoryOwner(entry.name);
            if (owner && *owner != self && !root.StillRuns(*owner, entry)) {
                abandoned.push_back(std::move(entry));
            }
        });
        for (const typename Root::Entry& entry : abandoned) {
            root.RemoveDirectoryAndFiles(entry);
        }
    } catch (...) {
    }
}

}  // namespace zobrik
