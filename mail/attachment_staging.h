// Writing the attachments of a request to files for the hand-over, and
// removing them again afterwards.
#pragma once

#include <string>
#include <vector>

#include "include/mail_request.h"
#include "staging_ledgers.h"

namespace zobrik {

// The files of one request: a directory of its own with a random name,
// made new inside the shared staging directory of the user's temp folder,
// so that requests running at the same time never touch each other's files
// and no one can guess where a file lies. Destroying the area removes its
// files and its directory, whatever ended the request.
class StagingArea {
public:
    StagingArea() = default;
    StagingArea(StagingArea&& other) noexcept;
    StagingArea& operator=(StagingArea&& other) noexcept;
    StagingArea(const StagingArea&) = delete;
    StagingArea& operator=(const StagingArea&) = delete;
    ~StagingArea() { Remove(); }

    const std::wstring& Directory() const noexcept { return directory_; }  // ends in a backslash
    const std::vector<std::wstring>& Files() const noexcept { return files_; }

    // Deletes the staged files and the request's directory. The shared
    // directory stays: removing it while another request creates its own
    // directory inside would fail that request. Never fails.
    void Remove() noexcept;

private:
    friend void StageAttachments(MailRequest&, uint64_t, StagingArea&);

    std::wstring directory_;
    std::vector<std::wstring> files_;  // in attachment order, as created
};

// Prepares the directories and writes every attachment in order, setting its
// stagedPath. Refuses, before writing anything, a request whose attachments
// add up to more than its length or would leave the temp volume short of
// space, counting what other workers are about to write. Raises the message
// of the first failure; the area removes what was written when it is
// destroyed.
void StageAttachments(MailRequest& request, uint64_t requestLength, StagingArea& area);

// After a hand-over that returns while the compose window stays open, the
// mail program may read the attachments only when the user sends: the files
// stay until the plug-in unloads or an hour has passed, whichever comes
// first (a later start removes them too if the client ended abnormally).
// `reservation` (ReserveKeptArea, taken before the hand-over) is given back
// when the area is removed.
constexpr unsigned kKeptStagingMinutes = 60;
void KeepUntilTheComposeWindowIsDone(StagingArea area, KeptAreaReservation reservation) noexcept;

// Removes every kept area; called when the module unloads, or when the
// process ends (`processEnding`: other threads are gone already).
void RemoveKeptStagingAreas(bool processEnding) noexcept;

// Removes the request directories left behind by clients that no longer run
// (a crash or a killed process): only directories named by this plug-in,
// never anything else. Called once, at the first factory call.
void RemoveAbandonedStagingDirectories() noexcept;

}  // namespace zobrik
