// Writing the attachments of a request to files for the hand-over, and
// removing them again afterwards, on Windows. The rules of keeping and
// sweeping are in staging_area.h; this layer supplies the file-system calls.
#pragma once

#include <string>

#include "include/mail_request.h"
#include "mail/staging_area.h"
#include "mail/staging_ledgers.h"

namespace zobrik {

// The file-system calls of a Windows staging area.
struct WindowsStagingFiles {
    using Path = std::wstring;                          // a directory ends in a backslash
    static void RemoveFile(const Path& file) noexcept;  // its Zone.Identifier stream goes with it
    static void RemoveEmptyDirectory(const Path& directory) noexcept;
};

// The files of one request: a directory of its own with a random name,
// made new inside the shared staging directory of the user's temp folder,
// so that requests running at the same time never touch each other's files
// and no one can guess where a file lies.
using StagingArea = BasicStagingArea<WindowsStagingFiles>;

// Prepares the directories and writes every attachment in order, setting its
// stagedPath. Refuses, before writing anything, a request whose attachments
// add up to more than its length or would leave the temp volume short of
// space, counting what other workers are about to write. Raises the message
// of the first failure; the area removes what was written when it is
// destroyed.
void StageAttachments(MailRequest& request, uint64_t requestLength, StagingArea& area);

// After a hand-over that returns while the compose window stays open, the
// mail program may read the attachments only when the user sends: the files
// stay until the plug-in unloads or kKeptStagingMinutes have passed,
// whichever comes first (a later start removes them too if the client ended
// abnormally). `reservation` (ReserveKeptArea, taken before the hand-over) is
// given back when the area is removed.
void KeepForTheMailProgram(StagingArea area, KeptAreaReservation reservation) noexcept;

// Removes every kept area; called when the module unloads, or when the
// process ends (`processEnding`: other threads are gone already).
void RemoveKeptStagingAreas(bool processEnding) noexcept;

// Removes the request directories that clients which no longer run left
// behind in the shared staging directory (SweepAbandonedRequestDirectories).
// Called once, at the first factory call.
void SweepAbandonedStagingAreas() noexcept;

}  // namespace zobrik
