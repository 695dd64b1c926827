// What the xdg-open, xdg-email and thunderbird stand-ins recorded: one file
// per call, named "<program>.<nanoseconds>.<pid>", holding the arguments,
// each followed by a NUL byte; xdg-email also leaves the copies of its
// attachments in "<record>.attach/1", "2", ...
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "rdp_session.h"

namespace zobrik_e2e {

struct RecordedCall {
    std::string program;  // "xdg-open", "xdg-email" or "thunderbird"
    std::vector<std::string> arguments;
    std::vector<Bytes> attachmentCopies;  // xdg-email: the --attach files, in order
};

class Recordings {
public:
    explicit Recordings(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // The calls recorded since the last call of TakeNew, oldest first.
    std::vector<RecordedCall> TakeNew();

private:
    std::filesystem::path folder_;
    std::set<std::string> seen_;
};

Bytes ReadWholeFile(const std::filesystem::path& file);
void WriteWholeFile(const std::filesystem::path& file, const std::string& content);

// Text for a report line: printable ASCII as is, everything else as \xNN.
std::string Printable(const std::string& bytes, size_t limit = 200);
std::string Printable(const Bytes& bytes, size_t limit = 200);
std::string Printable(const std::vector<std::string>& arguments);

}  // namespace zobrik_e2e
