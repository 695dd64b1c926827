#include "e2e_checks.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>

#include <sys/stat.h>

namespace zobrik_e2e {
namespace fs = std::filesystem;
namespace sdk = zobrik::sdk;
namespace {

std::string ExecReplyName(ExecReplyKind kind) { return kind == ExecReplyKind::Okay ? "okay" : "failed"; }

Bytes ExecReplyBytes(ExecReplyKind kind) {
    const uint8_t* reply = kind == ExecReplyKind::Okay ? sdk::kExecOkayReply : sdk::kExecFailedReply;
    return Bytes(reply, reply + sdk::kExecReplySize);
}

std::string DescribeReply(const std::optional<Bytes>& reply) {
    if (!reply) return "no reply";
    return "reply \"" + Printable(*reply) + "\" (" + std::to_string(reply->size()) + " bytes)";
}

bool IsHexDigits(const std::string& text, size_t count) {
    if (text.size() != count) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Where a staged attachment lies: directly in a request folder of the
// staging root, under the attachment's file name.
bool IsInRequestFolder(const fs::path& root, const fs::path& staged, const std::string& name) {
    return staged.parent_path().parent_path() == root && staged.filename() == sdk::PathFromUtf8(name);
}

// A request folder is named as the Windows plug-in names them,
// "<16 hex digits>-zr-<pid in 8 hex digits>", after the process that staged
// it: the running client, `program`.
std::string RequestFolderProblem(const fs::path& folder, const std::string& program) {
    const std::string name = folder.filename().string();
    if (name.size() != 16 + 4 + 8 || name.compare(16, 4, "-zr-") != 0 || !IsHexDigits(name.substr(0, 16), 16) ||
        !IsHexDigits(name.substr(20), 8))
        return "\"" + name + "\" is not <16 hex digits>-zr-<8 hex digits>";
    const std::string pid = std::to_string(std::stoul(name.substr(20), nullptr, 16));
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string running;
    std::getline(comm, running);
    if (running != program) return "process " + pid + " is \"" + running + "\", not " + program;
    return {};
}

std::string ArgumentDifference(const std::vector<std::string>& got, const std::vector<std::string>& expected) {
    if (got.size() != expected.size())
        return std::to_string(got.size()) + " arguments instead of " + std::to_string(expected.size()) + ": " +
               Printable(got);
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != expected[i])
            return "argument " + std::to_string(i + 1) + " is \"" + Printable(got[i]) + "\", expected \"" +
                   Printable(expected[i]) + "\"";
    return {};
}

// The paths given after each "--attach" placeholder of `expected`; the
// placeholders are replaced with them, so that the rest of the arguments
// still compares exactly. Nothing when the arguments do not line up.
std::vector<fs::path> StagedPaths(const std::vector<std::string>& got, std::vector<std::string>& expected) {
    std::vector<fs::path> staged;
    if (got.size() != expected.size()) return staged;
    for (size_t i = 1; i < expected.size(); ++i) {
        if (expected[i - 1] != "--attach" || !expected[i].empty()) continue;
        expected[i] = got[i];
        staged.emplace_back(got[i]);
    }
    return staged;
}

}  // namespace

bool Report::Check(bool passed, const std::string& what, const std::string& detail) {
    ++checks_;
    if (passed) {
        std::printf("ok: %s\n", what.c_str());
    } else {
        ++failures_;
        std::printf("FAIL: %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }
    std::fflush(stdout);
    return passed;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes MailErrorReply(const std::string& message) {
    std::string label = "char const *";
    label.resize(sdk::kExceptionLabelWidth, ' ');
    Bytes reply = ToBytes(std::string(sdk::kExceptionPrefix) + label + message);
    reply.push_back(0);
    return reply;
}

Bytes PatternedBytes(size_t size, uint32_t seed) {
    Bytes bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>((state >> 16) ^ i);
    }
    return bytes;
}

std::string BaseName(const std::string& fileName) {
    const size_t cut = fileName.find_last_of("\\/");
    return cut == std::string::npos ? fileName : fileName.substr(cut + 1);
}

// A text as a mailto: field: letters, digits and . - _ @ kept, a line break
// as %0D%0A, every other byte %-encoded.
std::string MailtoField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) {
            out += c;
        } else if (c == '.' || c == '-' || c == '_' || c == '@') {
            out += c;
        } else if (c == '\n') {
            out += "%0D%0A";
        } else {
            char escape[4];
            std::snprintf(escape, sizeof(escape), "%%%02X", static_cast<unsigned char>(c));
            out += escape;
        }
    }
    return out;
}

std::vector<std::string> ExpectedMailArguments(const sdk::MailMessage& mail) {
    std::vector<std::string> arguments{"--utf8"};
    for (size_t i = 0; i < mail.attachments.size(); ++i) arguments.insert(arguments.end(), {"--attach", ""});
    std::string path;
    std::string fields;
    auto add = [&](const char* name, const std::string& value) {
        if (!value.empty()) fields += std::string(fields.empty() ? "?" : "&") + name + "=" + MailtoField(value);
    };
    for (size_t i = 0; i < mail.to.size(); ++i) {
        if (i == 0)
            path = MailtoField(mail.to[i].address);
        else
            add("to", mail.to[i].address);
    }
    for (const auto& r : mail.cc) add("cc", r.address);
    for (const auto& r : mail.bcc) add("bcc", r.address);
    add("subject", mail.subject);
    add("body", mail.body);
    arguments.push_back("mailto:" + path + fields);
    return arguments;
}

std::optional<DynamicChannel> E2eContext::OpenChecked(const std::string& name, const std::string& what) {
    std::optional<DynamicChannel> channel;
    const OpenOutcome outcome = session_->Open(name, kOpenTimeout, channel);
    const char* detail = outcome == OpenOutcome::Refused ? "the client refused it" : "no answer from the client";
    report_.Check(outcome == OpenOutcome::Opened, what + ": the client opens " + name, detail);
    return channel;
}

void E2eContext::CheckExec(DynamicChannel& channel, const std::string& what, const Bytes& message, ExecReplyKind reply,
                           const std::optional<std::string>& argument) {
    const std::string label = "exec " + what;
    const std::optional<Bytes> got = channel.Write(message) ? channel.Read(kReplyTimeout) : std::nullopt;
    report_.Check(got == ExecReplyBytes(reply), label + ": reply " + ExecReplyName(reply), DescribeReply(got));
    const std::vector<RecordedCall> calls = recordings_.TakeNew();
    if (!argument) {
        report_.Check(calls.empty(), label + ": xdg-open not run",
                      calls.empty() ? "" : calls[0].program + " got " + Printable(calls[0].arguments));
        return;
    }
    const std::vector<std::string> expected{*argument};
    const bool one = calls.size() == 1 && calls[0].program == "xdg-open";
    const std::string difference =
        one ? ArgumentDifference(calls[0].arguments, expected) : std::to_string(calls.size()) + " calls recorded";
    report_.Check(difference.empty(), label + ": xdg-open got \"" + Printable(*argument, 60) + "\"", difference);
}

std::optional<Bytes> E2eContext::ExchangeMail(const std::string& what, const Bytes& request, size_t chunkSize,
                                              Millis timeout) {
    std::optional<DynamicChannel> channel = OpenChecked(sdk::kMailChannelName, "mail " + what);
    if (!channel) return std::nullopt;
    bool written = true;
    sdk::ForEachChunk(request, chunkSize,
                      [&](const uint8_t* data, size_t size) { written = written && channel->Write(data, size); });
    if (!report_.Check(written, "mail " + what + ": request written")) return std::nullopt;
    return channel->Read(timeout);
}

void E2eContext::CheckMailRefused(const std::string& what, const Bytes& request, const Bytes& reply, size_t chunkSize) {
    const std::optional<Bytes> got = ExchangeMail(what, request, chunkSize);
    report_.Check(got == reply, "mail " + what + ": reply \"" + Printable(reply) + "\"", DescribeReply(got));
    CheckNoCalls("mail " + what);
}

void E2eContext::CheckMailSilent(const std::string& what, const std::vector<Bytes>& chunks) {
    std::optional<DynamicChannel> channel = OpenChecked(sdk::kMailChannelName, "mail " + what);
    if (!channel) return;
    bool written = true;
    for (const Bytes& chunk : chunks) written = written && channel->Write(chunk);
    report_.Check(written, "mail " + what + ": request written");
    const std::optional<Bytes> got = channel->Read(kSilenceWait);
    report_.Check(!got, "mail " + what + ": no reply", DescribeReply(got));
    CheckNoCalls("mail " + what);
}

void E2eContext::CheckNoCalls(const std::string& what) {
    const std::vector<RecordedCall> calls = recordings_.TakeNew();
    report_.Check(calls.empty(), what + ": no xdg-email or xdg-open call",
                  calls.empty() ? "" : calls[0].program + " got " + Printable(calls[0].arguments));
}

std::vector<fs::path> E2eContext::CheckMailHandedOver(const std::string& what, const std::optional<Bytes>& reply,
                                                      const sdk::MailMessage& mail) {
    const std::string label = "mail " + what;
    report_.Check(reply == kMailHandedOver, label + ": reply 00 (handed over)", DescribeReply(reply));
    const std::vector<RecordedCall> calls = recordings_.TakeNew();
    if (!report_.Check(calls.size() == 1 && calls[0].program == "xdg-email", label + ": xdg-email ran once",
                       std::to_string(calls.size()) + " calls recorded"))
        return {};
    const RecordedCall& call = calls[0];
    std::vector<std::string> expected = ExpectedMailArguments(mail);
    const std::vector<fs::path> staged = StagedPaths(call.arguments, expected);
    const std::string difference = ArgumentDifference(call.arguments, expected);
    report_.Check(difference.empty(), label + ": xdg-email arguments exact", difference);
    if (mail.attachments.empty()) return staged;
    bool copiesMatch = call.attachmentCopies.size() == mail.attachments.size();
    for (size_t i = 0; copiesMatch && i < mail.attachments.size(); ++i)
        copiesMatch = call.attachmentCopies[i] == mail.attachments[i].data;
    report_.Check(copiesMatch, label + ": xdg-email read the exact attachment bytes",
                  std::to_string(call.attachmentCopies.size()) + " copies, bytes differ or missing");
    if (staged.size() != mail.attachments.size()) return {};
    CheckStagedPaths(label, staged, mail);
    CheckStagedFiles(label, staged, mail);
    return staged;
}

void E2eContext::CheckStagedPaths(const std::string& what, const std::vector<fs::path>& staged,
                                  const sdk::MailMessage& mail) {
    std::string misplaced;
    std::string folderProblem;
    for (size_t i = 0; i < staged.size(); ++i) {
        if (!IsInRequestFolder(folders_.StagingRoot(), staged[i], BaseName(mail.attachments[i].fileName)))
            misplaced = staged[i].string();
        if (folderProblem.empty()) folderProblem = RequestFolderProblem(staged[i].parent_path(), clientProgram_);
    }
    report_.Check(misplaced.empty(), what + ": attachments staged as <staging>/<request folder>/<file name>",
                  Printable(misplaced));
    report_.Check(folderProblem.empty(), what + ": request folder named <16 hex digits>-zr-<pid of xfreerdp>",
                  folderProblem);
}

void E2eContext::CheckStagedFiles(const std::string& what, const std::vector<fs::path>& staged,
                                  const sdk::MailMessage& mail) {
    bool kept = true;
    bool privateFolder = true;
    for (size_t i = 0; i < staged.size(); ++i) {
        std::error_code error;
        kept = kept && fs::is_regular_file(staged[i], error) && ReadWholeFile(staged[i]) == mail.attachments[i].data;
        struct stat info {};
        privateFolder = privateFolder && stat(staged[i].parent_path().c_str(), &info) == 0 &&
                        (info.st_mode & 07777) == 0700 && info.st_uid == getuid();
    }
    report_.Check(kept, what + ": staged files kept after xdg-email returned");
    report_.Check(privateFolder, what + ": request folder has mode 0700 and belongs to the user");
}

std::vector<fs::path> E2eContext::StagingRequestFolders() const {
    std::vector<fs::path> folders;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folders_.StagingRoot(), error)) folders.push_back(entry.path());
    return folders;
}

}  // namespace zobrik_e2e
