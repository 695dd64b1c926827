// Writing the attachments of a request to files for the hand-over, and
// removing them again afterwards.
#pragma once

#include <string>
#include <vector>

#include "mail_request.h"

namespace zobrik {

// Where one request's attachments are staged: a directory of its own, made
// new inside the shared staging directory of the user's temp folder, so that
// requests running at the same time never touch each other's files.
struct StagingArea {
    std::wstring sharedDirectory;  // "...\Temp\Ema1.tmp\"
    std::wstring directory;        // this request's own, ending in a backslash
    std::vector<std::wstring> files;  // one per attachment; empty until written
};

// Prepares the directories and writes every attachment in order, setting its
// stagedPath. Raises the message of the first failure; what was written so
// far stays on disk.
void StageAttachments(MailRequest& request, StagingArea& area);

// Deletes the staged files and the request's directory. The shared directory
// stays: removing it while another request creates its own directory inside
// would fail that request. Never fails.
void RemoveStagedFiles(const StagingArea& area, uint32_t count) noexcept;

}  // namespace zobrik
