// Staging of attachments on Linux: a private folder per request inside the
// user's staging root, files only the user can read, removed when the
// request ends, or, once handed to the mail program, when it is due or the
// add-in unloads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "include/mail_request.h"
#include "staging_ledgers.h"

namespace zobrik {

// "$XDG_RUNTIME_DIR/zobrik-wtsdvc" (the user's private runtime folder), or,
// where that is unset, "$TMPDIR/zobrik-wtsdvc-<uid>" ("/tmp" without
// TMPDIR). Created with mode 0700; an existing one must be a directory of
// this user, not a link, and not open to others.
std::string PosixStagingRoot();

class PosixStagingArea {
public:
    PosixStagingArea() = default;
    PosixStagingArea(PosixStagingArea&& other) noexcept;
    PosixStagingArea& operator=(PosixStagingArea&& other) noexcept;
    PosixStagingArea(const PosixStagingArea&) = delete;
    PosixStagingArea& operator=(const PosixStagingArea&) = delete;
    ~PosixStagingArea() { Remove(); }

    const std::string& Directory() const noexcept { return directory_; }
    const std::vector<std::string>& Files() const noexcept { return files_; }  // in attachment order

    // Deletes the staged files and the request's folder. Never fails.
    void Remove() noexcept;

private:
    friend void StagePosixAttachments(MailRequest&, uint64_t, const std::string&, PosixStagingArea&);

    std::string directory_;
    std::vector<std::string> files_;
};

// Writes every attachment of `request` into a new folder of `root`, under the
// names the Windows plug-in gives them, less the characters xdg-email's
// Thunderbird route would misread (XdgEmailFileName). Refuses, before
// writing anything, a request whose attachments add up to more than its
// length or would leave the volume short of space, counting what other
// workers are about to write. Raises the message of the first failure; the
// area removes what was written when it is destroyed.
void StagePosixAttachments(MailRequest& request, uint64_t requestLength, const std::string& root,
                           PosixStagingArea& area);

// How long staged files are kept for the mail program after the hand-over.
constexpr unsigned kKeptPosixStagingMinutes = 60;

// Keeps `area` until it is due, then removes it (a thread of its own waits
// for the earliest deadline) and gives back `reservation` (ReserveKeptArea,
// taken before the hand-over).
void KeepForTheMailProgram(PosixStagingArea area, KeptAreaReservation reservation) noexcept;
// Removes every kept area now, and every one handed over later at once: at
// unload.
void RemoveKeptAreas() noexcept;
// Removes the request folders in `root` whose owning process no longer runs
// (a client that ended without unloading the add-in).
void SweepAbandonedAreas(const std::string& root) noexcept;

}  // namespace zobrik
