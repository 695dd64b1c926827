// Staging of attachments on Linux: a private folder per request inside the
// user's staging root, files only the user can read, removed when the
// request ends, or, once handed to the mail program, when it is due or the
// client process ends. The rules of keeping and sweeping are in staging_area.h;
// this layer supplies the file-system calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "include/mail_request.h"
#include "mail/staging_area.h"
#include "mail/staging_ledgers.h"

namespace zobrik {

// "$XDG_RUNTIME_DIR/zobrik-wtsdvc" (the user's private runtime folder), or,
// where that is unset, "$TMPDIR/zobrik-wtsdvc-<uid>" ("/tmp" without
// TMPDIR). Created with mode 0700; an existing one must be a directory of
// this user, not a link, and not open to others.
std::string StagingDirectoryPath();

// The file-system calls of a POSIX staging area.
struct PosixStagingFiles {
    using Path = std::string;
    static void RemoveFile(const Path& file) noexcept;
    static void RemoveEmptyDirectory(const Path& directory) noexcept;
};

// The files of one request, in a folder of its own inside the staging root.
using StagingArea = BasicStagingArea<PosixStagingFiles>;

// Writes every attachment of `request` into a new folder of `root`, under the
// names the Windows plug-in gives them, less the characters xdg-email's
// Thunderbird route would misread (XdgEmailFileName). Refuses, before
// writing anything, a request whose attachments add up to more than its
// length or would leave the volume short of space, counting what other
// workers are about to write. Raises the message of the first failure; the
// area removes what was written when it is destroyed.
void StageAttachments(MailRequest& request, uint64_t requestLength, const std::string& root, StagingArea& area);

// Keeps `area` for `keepMilliseconds` (kKeptStagingMinutes unless a test
// asks for less), then removes it (a thread of its own waits for the
// earliest deadline) and gives back `reservation` (ReserveKeptArea, taken
// before the hand-over).
void KeepForTheMailProgram(StagingArea area, KeptAreaReservation reservation,
                           uint64_t keepMilliseconds = kKeptStagingMilliseconds) noexcept;
// Removes every kept area now, and every one handed over later at once: at
// the end of the client process.
void RemoveKeptStagingAreas() noexcept;
// Removes the request folders in `root` that clients which no longer run
// left behind (SweepAbandonedRequestDirectories): a client that ended
// without unloading the add-in.
void SweepAbandonedStagingAreas(const std::string& root) noexcept;

}  // namespace zobrik
