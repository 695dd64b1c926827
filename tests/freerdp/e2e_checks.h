// The checks of the end-to-end scenarios: one report line per check, and the
// exchanges with the add-in (exec texts, mail requests) together with what
// the stand-ins recorded for them.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rdp_session.h"
#include "recordings.h"
#include "zobrik/zobrik.h"

namespace zobrik_e2e {

// Folders of the client's user, made by run-e2e.sh for this run.
struct ClientFolders {
    std::filesystem::path home;
    std::filesystem::path configHome;  // XDG_CONFIG_HOME
    std::filesystem::path runtimeDir;  // XDG_RUNTIME_DIR
    std::filesystem::path recordDir;   // where the stand-ins record their calls
    std::filesystem::path StagingRoot() const { return runtimeDir / "zobrik-wtsdvc"; }
};

// Counts the checks and prints "ok: <what>" or "FAIL: <what>: <detail>".
class Report {
public:
    bool Check(bool passed, const std::string& what, const std::string& detail = {});
    int Failures() const noexcept { return failures_; }
    int Checks() const noexcept { return checks_; }

private:
    int checks_ = 0;
    int failures_ = 0;
};

inline constexpr Millis kOpenTimeout{5000};
inline constexpr Millis kReplyTimeout{10000};
// How long a reply that must not come is waited for.
inline constexpr Millis kSilenceWait{1000};

// The exact mail reply for one of the add-in's own error texts:
// "Exception: " + "char const *" padded to 19 characters + message + NUL.
Bytes MailErrorReply(const std::string& message);
inline const Bytes kMailHandedOver{0x00};

Bytes ToBytes(const std::string& text);
// Bytes whose values follow from their position and `seed`, so a shifted,
// cut or swapped attachment does not compare equal.
Bytes PatternedBytes(size_t size, uint32_t seed);

enum class ExecReplyKind { Okay, Failed };

class E2eContext {
public:
    // `clientProgram`: the client's process name (xfreerdp, xfreerdp3).
    E2eContext(RdpSession& session, const ClientFolders& folders, Report& report, std::string clientProgram)
        : session_(&session),
          folders_(folders),
          report_(report),
          recordings_(folders.recordDir),
          clientProgram_(std::move(clientProgram)) {}

    RdpSession& Session() { return *session_; }
    // The client reconnected: the checks go on in its new session, with the
    // recordings taken so far.
    void ContinueIn(RdpSession& session) { session_ = &session; }
    const ClientFolders& Folders() const { return folders_; }
    Report& Checks() { return report_; }
    Recordings& Calls() { return recordings_; }

    // Opens `name`; reports a check that it opened.
    std::optional<DynamicChannel> OpenChecked(const std::string& name, const std::string& what);

    // Sends `message` on `channel`, checks the 8-byte reply and that xdg-open
    // ran once with exactly `argument`, or not at all when it is nullopt.
    void CheckExec(DynamicChannel& channel, const std::string& what, const Bytes& message, ExecReplyKind reply,
                   const std::optional<std::string>& argument);

    // Sends `request` on a new mail channel in chunks of `chunkSize` and
    // returns the reply (nothing when none came within `timeout`).
    std::optional<Bytes> ExchangeMail(const std::string& what, const Bytes& request, size_t chunkSize,
                                      Millis timeout = kReplyTimeout);
    // A request that must be answered with exactly `reply` and not reach
    // xdg-email.
    void CheckMailRefused(const std::string& what, const Bytes& request, const Bytes& reply,
                          size_t chunkSize = 1 << 20);
    // A request that must get no reply at all within kSilenceWait and not
    // reach xdg-email; `chunks` are written one by one.
    void CheckMailSilent(const std::string& what, const std::vector<Bytes>& chunks);

    // Checks a reply and the xdg-email call of a mail that was handed over;
    // returns the staged paths of its attachments (empty on failure).
    std::vector<std::filesystem::path> CheckMailHandedOver(const std::string& what, const std::optional<Bytes>& reply,
                                                           const zobrik::sdk::MailMessage& mail);
    // Checks that xdg-email/xdg-open did not run since the last check.
    void CheckNoCalls(const std::string& what);
    // The request folders in the staging folder right now.
    std::vector<std::filesystem::path> StagingRequestFolders() const;

private:
    void CheckStagedPaths(const std::string& what, const std::vector<std::filesystem::path>& staged,
                          const zobrik::sdk::MailMessage& mail);
    void CheckStagedFiles(const std::string& what, const std::vector<std::filesystem::path>& staged,
                          const zobrik::sdk::MailMessage& mail);

    RdpSession* session_;
    const ClientFolders& folders_;
    Report& report_;
    Recordings recordings_;
    std::string clientProgram_;
};

// The xdg-email arguments for `mail`, with "" where a staged file's path goes.
std::vector<std::string> ExpectedMailArguments(const zobrik::sdk::MailMessage& mail);
// A file name as sent without its folders ('\' and '/' both separate them).
std::string BaseName(const std::string& fileName);

}  // namespace zobrik_e2e
