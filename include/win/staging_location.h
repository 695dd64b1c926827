// Where mail attachments are staged: one directory in the user's temp folder
// that holds a directory of its own for every request. The exec channel
// refuses to open anything inside it.
#pragma once

#include <string>

namespace zobrik {

// The full path of the shared staging directory, without a trailing
// backslash ("...\Temp\Ema1.tmp"); empty when the temp folder is unknown or
// its path is too long to be used.
std::wstring StagingDirectoryPath();

}  // namespace zobrik
