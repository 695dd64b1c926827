// Running a program of the Linux desktop (xdg-open, xdg-email) for a request.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zobrik {

// Runs the program `arguments[0]`, found through PATH, with `arguments` as
// its argv: no shell reads them. Standard input is /dev/null; no descriptor
// beyond the standard three is inherited, so the program holds no socket or
// file of the client. Waits for it to end. Returns its exit status, or
// nullopt when it could not be started or was ended by a signal.
std::optional<int> RunProgramAndWait(const std::vector<std::string>& arguments) noexcept;

}  // namespace zobrik
