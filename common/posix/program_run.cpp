#include "include/posix/program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <cerrno>

#include <sys/wait.h>

extern char** environ;

namespace zobrik {

namespace {

// The spawn settings, destroyed with their owner.
class SpawnSettings {
public:
    SpawnSettings() noexcept {
        actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
        attributesReady_ = posix_spawnattr_init(&attributes_) == 0;
    }
    ~SpawnSettings() {
        if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
        if (attributesReady_) posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // Standard input from /dev/null, every descriptor from 3 on closed, no
    // blocked signals and default handlers: the program starts clean,
    // whatever the client's thread had.
    bool Prepare() noexcept {
        if (!actionsReady_ || !attributesReady_) return false;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        return posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
               posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
               posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }

    const posix_spawn_file_actions_t* Actions() const noexcept { return &actions_; }
    const posix_spawnattr_t* Attributes() const noexcept { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    bool actionsReady_ = false;
    bool attributesReady_ = false;
};

}  // namespace

std::optional<int> RunProgramAndWait(const std::vector<std::string>& arguments) noexcept {
    try {
        if (arguments.empty()) return std::nullopt;
        std::vector<char*> argv;
        argv.reserve(arguments.size() + 1);
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);

        SpawnSettings settings;
        if (!settings.Prepare()) return std::nullopt;
        pid_t child = 0;
        if (posix_spawnp(&child, argv[0], settings.Actions(), settings.Attributes(), argv.data(), environ) != 0)
            return std::nullopt;
        int status = 0;
        pid_t waited = 0;
        do {
            waited = waitpid(child, &status, 0);
        } while (waited < 0 && errno == EINTR);
        if (waited != child || !WIFEXITED(status)) return std::nullopt;
        return WEXITSTATUS(status);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace zobrik
