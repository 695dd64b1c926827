#include "attachment_staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "include/posix/owners.h"
#include "include/utf_conversion.h"
#include "mail/staged_file_names.h"
#include "mail/staging_ledgers.h"
#include "mail/staging_rules.h"
#include "mail/xdg_email_arguments.h"

namespace zobrik {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// An existing root must be this user's own directory, reached without a
// link and closed to others; anything else could hand the files to
// someone else.
void RequirePrivateDirectory(const std::string& path) {
    struct stat facts {};
    if (lstat(path.c_str(), &facts) != 0) RaiseMailError("unable to create temporary directory");
    if (S_ISLNK(facts.st_mode)) RaiseMailError("staging directory is a link");
    if (!S_ISDIR(facts.st_mode) || facts.st_uid != geteuid() || (facts.st_mode & 077) != 0)
        RaiseMailError("unable to create temporary directory");
}

void EnsureRoot(const std::string& root) {
    if (root.size() >= PATH_MAX - 64) RaiseMailError("temp path too long");
    if (mkdir(root.c_str(), 0700) != 0 && errno != EEXIST) RaiseMailError("unable to create temporary directory");
    RequirePrivateDirectory(root);
}

// Reserves the bytes against the free space that other workers have not
// reserved yet (staging_ledgers.h).
DiskReservation ReserveFreeSpace(const std::string& directory, uint64_t bytesToWrite) {
    return ReserveStagingSpace(bytesToWrite, [&] {
        struct statvfs volume {};
        if (statvfs(directory.c_str(), &volume) != 0) RaiseMailError("unable to read the free disk space");
        return VolumeSpace{uint64_t(volume.f_bavail) * volume.f_frsize, uint64_t(volume.f_blocks) * volume.f_frsize};
    });
}

uint64_t RandomBits() {
    uint64_t value = 0;
    if (getrandom(&value, sizeof(value), 0) != ssize_t(sizeof(value)))
        RaiseMailError("unable to create temporary directory");
    return value;
}

std::string CreateRequestDirectory(const std::string& root) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string path = root + "/" + Utf16ToUtf8(RequestDirectoryName(uint32_t(getpid()), RandomBits()));
        if (mkdir(path.c_str(), 0700) == 0) return path;
        if (errno != EEXIST) break;
    }
    RaiseMailError("unable to create temporary directory");
}

bool WriteAll(int fd, const uint8_t* data, uint64_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size_t(std::min<uint64_t>(size, 1u << 30)));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= uint64_t(written);
    }
    return true;
}

// Creates the attachment's file under its name, or, when a file of that
// name exists (only one of this request's own can: the folder is new), under
// the next numbered name.
UniqueFd CreateStagedFile(StagingArea& area, const WideString& name) {
    if (name.empty()) RaiseMailError("unable to write temporary file");
    for (unsigned n = 1; n <= area.Files().size() + 1; ++n) {
        const std::string path = area.Directory() + "/" + Utf16ToUtf8(n == 1 ? name : NumberedFileName(name, n));
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd) {
            area.TakeFile(path);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    RaiseMailError("unable to write temporary file");
}

void RemoveFolderAndFiles(const std::string& directory) noexcept {
    if (const UniqueDirectoryStream folder(opendir(directory.c_str())); folder) {
        while (const dirent* entry = readdir(folder.Get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::string path = directory;
            path += '/';
            path += name;
            unlink(path.c_str());
        }
    }
    rmdir(directory.c_str());
}

// The kept areas and the thread that removes them when due.
class KeptAreas {
public:
    static KeptAreas& Instance() {
        static KeptAreas* instance = new KeptAreas();  // used by detached threads; never destroyed
        return *instance;
    }

    void Keep(StagingArea area, KeptAreaReservation reservation, uint64_t keepMilliseconds) noexcept {
        ReservedArea<StagingArea> kept{std::move(reservation), std::move(area)};
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!keeper_.Keep(kept, Now(), keepMilliseconds))
                return;  // unloading: `kept` removes its files when it goes
            if (!timerRunning_) {
                std::thread([this] { RemoveWhenDue(); }).detach();
                timerRunning_ = true;
            }
            wake_.notify_all();
        } catch (...) {
            // Not kept: `kept` removes its files when it goes.
        }
    }

    void RemoveAll() noexcept {
        std::vector<ReservedArea<StagingArea>> all;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            all = keeper_.End();
        }
    }  // `all` removes its files after the lock is released

private:
    static uint64_t Now() {
        return uint64_t(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }

    void RemoveWhenDue() noexcept {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const std::optional<uint64_t> next = keeper_.NextDeadline();
            if (!next) {
                timerRunning_ = false;
                return;
            }
            const uint64_t now = Now();
            if (*next > now) {
                wake_.wait_for(lock, std::chrono::milliseconds(*next - now));
                continue;
            }
            std::vector<ReservedArea<StagingArea>> due = keeper_.TakeDue(now);
            lock.unlock();
            due.clear();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    StagingKeeper<StagingArea> keeper_;
    bool timerRunning_ = false;
};

// The staging root as SweepAbandonedRequestDirectories sees it.
class PosixStagingRootView {
public:
    struct Entry {
        WideString name;
        bool isDirectory = false;  // and not a link
        std::string path;
    };

    explicit PosixStagingRootView(const std::string& root) : root_(root) {}

    bool IsUsable() const {
        struct stat facts {};
        return lstat(root_.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) && facts.st_uid == geteuid();
    }

    template <class Visit>
    void ForEachEntry(Visit visit) const {
        const UniqueDirectoryStream folder(opendir(root_.c_str()));
        if (!folder) return;
        while (const dirent* entry = readdir(folder.Get())) {
            const std::string name = entry->d_name;
            struct stat facts {};
            const bool isDirectory =
                fstatat(dirfd(folder.Get()), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(facts.st_mode);
            visit(Entry{WideString(name.begin(), name.end()), isDirectory, root_ + "/" + name});
        }
    }

    static uint32_t ThisProcess() noexcept { return uint32_t(getpid()); }
    // A process that is gone: kill answers ESRCH. Any other answer (EPERM:
    // another user's process) means it runs.
    static bool StillRuns(uint32_t owner, const Entry&) noexcept {
        const bool gone = kill(pid_t(owner), 0) != 0 && errno == ESRCH;
        return !gone;
    }
    static void RemoveDirectoryAndFiles(const Entry& entry) noexcept { RemoveFolderAndFiles(entry.path); }

private:
    const std::string& root_;
};

}  // namespace

std::string StagingDirectoryPath() {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/') return runtime + "/zobrik-wtsdvc";
    std::string temp = Environment("TMPDIR");
    if (temp.empty() || temp[0] != '/') temp = "/tmp";
    return temp + "/zobrik-wtsdvc-" + std::to_string(geteuid());
}

void PosixStagingFiles::RemoveFile(const Path& file) noexcept { unlink(file.c_str()); }

void PosixStagingFiles::RemoveEmptyDirectory(const Path& directory) noexcept { rmdir(directory.c_str()); }

void StageAttachments(MailRequest& request, uint64_t requestLength, const std::string& root, StagingArea& area) {
    if (!AttachmentsFitTheRequest(request.attachments, requestLength))
        RaiseMailError("attachments larger than the request");
    EnsureRoot(root);
    DiskReservation space = ReserveFreeSpace(root, StagedBytes(request.attachments));

    area.Remove();
    area.TakeDirectory(CreateRequestDirectory(root), request.attachments.size());
    const std::vector<WideString> names = StagedFileNames(request.attachments);
    for (size_t j = 0; j < request.attachments.size(); ++j) {
        const MailAttachment& attachment = request.attachments[j];
        UniqueFd fd = CreateStagedFile(area, XdgEmailFileName(names[j]));
        if (!WriteAll(fd.Get(), attachment.data, attachment.size)) {
            CloseReporting(fd);
            RaiseMailError("unable to write to temporary file");
        }
        if (!CloseReporting(fd)) RaiseMailError("error closing temporary file");
        space.GiveBackPart(attachment.size);  // in the free space from now on
    }
}

void KeepForTheMailProgram(StagingArea area, KeptAreaReservation reservation, uint64_t keepMilliseconds) noexcept {
    KeptAreas::Instance().Keep(std::move(area), std::move(reservation), keepMilliseconds);
}

void RemoveKeptStagingAreas() noexcept { KeptAreas::Instance().RemoveAll(); }

void SweepAbandonedStagingAreas(const std::string& root) noexcept {
    PosixStagingRootView view(root);
    SweepAbandonedRequestDirectories(view);
}

}  // namespace zobrik
