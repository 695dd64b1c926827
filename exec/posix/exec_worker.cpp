#include "exec_worker.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include <sys/stat.h>

#include "exec/exec_policy.h"
#include "exec/exec_text_decoding.h"
#include "exec/posix_paths.h"
#include "include/debug_output.h"
#include "include/posix/program_run.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

class SystemFiles final : public PosixFiles {
public:
    SystemFiles() {
        char name[HOST_NAME_MAX + 1] = {};
        if (gethostname(name, sizeof(name) - 1) == 0 && name[0] != '\0') names_.emplace_back(name);
    }

    std::string CurrentDirectory() const override {
        char path[PATH_MAX];
        return getcwd(path, sizeof(path)) != nullptr ? std::string(path) : std::string("/");
    }

    std::optional<std::string> RealPath(const std::string& path) const override {
        std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
        if (!real) return std::nullopt;
        return std::string(real.get());
    }

    PosixFileFacts Facts(const std::string& path) const override {
        struct stat facts {};
        PosixFileFacts result;
        if (stat(path.c_str(), &facts) != 0) return result;
        result.exists = true;
        result.regular = S_ISREG(facts.st_mode);
        result.executable = result.regular && (facts.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
        return result;
    }

    const std::vector<std::string>& MachineNames() const override { return names_; }

private:
    std::vector<std::string> names_;
};

void ReportRefusal(const std::string& line) noexcept {
    try {
        DebugOutputNarrow(("exec refused: " + line).c_str(), DebugLevel::Info);
    } catch (...) {
    }
}

}  // namespace

const ExecReply& ServeExecRequest(const std::string& message, const AdminPolicy& policy,
                                  const std::string& stagingRoot) noexcept {
    try {
        if (auto refusal = LengthRefusal(message)) {
            ReportRefusal(Utf16ToUtf8(*refusal));
            return kExecReplyFailed;
        }
        const std::optional<DecodedExecText> text = DecodeExecText(message);
        if (!text) {
            ReportRefusal("text after the UTF-8 mark is not valid UTF-8");
            return kExecReplyFailed;
        }
        if (auto refusal = PosixExecRefusal(*text, stagingRoot, policy, SystemFiles())) {
            const std::string reason = Utf16ToUtf8(refusal->reason);
            ReportRefusal(refusal->setting != nullptr ? reason + " (policy " + Utf16ToUtf8(refusal->setting) + ")"
                                                      : reason);
            return kExecReplyFailed;
        }
        const std::optional<int> status = RunProgramAndWait({"xdg-open", text->utf8});
        return status && *status == 0 ? kExecReplyOkay : kExecReplyFailed;
    } catch (...) {
        return kExecReplyFailed;
    }
}

}  // namespace zobrik
