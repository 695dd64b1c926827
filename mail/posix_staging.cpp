#include "posix_staging.h"

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

#include "include/posix_owners.h"
#include "include/utf_conversion.h"
#include "staged_file_names.h"
#include "staging_ledgers.h"
#include "staging_rules.h"
#include "xdg_email_arguments.h"

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
        const std::string path = root + "/" + Utf16ToUtf8(RequestDirectoryName(uint32_t(getpid()), RandomBits()));
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
UniqueFd CreateStagedFile(const std::string& directory, std::vector<std::string>& files, const WideString& name) {
    if (name.empty()) RaiseMailError("unable to write temporary file");
    for (unsigned n = 1; n <= files.size() + 1; ++n) {
        const std::string path = directory + "/" + Utf16ToUtf8(n == 1 ? name : NumberedFileName(name, n));
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd) {
            files.push_back(path);
            return fd;
        }
        if (errno != EEXIST) break;
    }
    RaiseMailError("unable to write temporary file");
}

void RemoveFolderAndFiles(const std::string& directory) noexcept {
    if (DIR* folder = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") unlink((directory + "/" + name).c_str());
        }
        closedir(folder);
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

    void Keep(PosixStagingArea area, KeptAreaReservation reservation) noexcept {
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            if (unloading_) return;  // `area` removes its files when it goes
            areas_.Add({std::move(reservation), std::move(area)},
                       Now() + uint64_t(kKeptPosixStagingMinutes) * 60 * 1000);
            if (!timerRunning_) {
                std::thread([this] { RemoveWhenDue(); }).detach();
                timerRunning_ = true;
            }
            wake_.notify_all();
        } catch (...) {
            // Not kept: `area` removes its files when it goes.
        }
    }

    void RemoveAll() noexcept {
        std::vector<ReservedArea<PosixStagingArea>> all;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            unloading_ = true;
            all = areas_.TakeAll();
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
            const std::optional<uint64_t> next = areas_.NextDeadline();
            if (!next) {
                timerRunning_ = false;
                return;
            }
            const uint64_t now = Now();
            if (*next > now) {
                wake_.wait_for(lock, std::chrono::milliseconds(*next - now));
                continue;
            }
            std::vector<ReservedArea<PosixStagingArea>> due = areas_.TakeDue(now);
            lock.unlock();
            due.clear();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    KeptStagingAreas<ReservedArea<PosixStagingArea>> areas_;
    bool timerRunning_ = false;
    bool unloading_ = false;  // areas handed over from now on are removed at once
};

}  // namespace

std::string PosixStagingRoot() {
    const std::string runtime = Environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && runtime[0] == '/') return runtime + "/zobrik-wtsdvc";
    std::string temp = Environment("TMPDIR");
    if (temp.empty() || temp[0] != '/') temp = "/tmp";
    return temp + "/zobrik-wtsdvc-" + std::to_string(geteuid());
}

PosixStagingArea::PosixStagingArea(PosixStagingArea&& other) noexcept
    : directory_(std::move(other.directory_)), files_(std::move(other.files_)) {
    other.directory_.clear();
    other.files_.clear();
}

PosixStagingArea& PosixStagingArea::operator=(PosixStagingArea&& other) noexcept {
    if (this != &other) {
        Remove();
        directory_ = std::move(other.directory_);
        files_ = std::move(other.files_);
        other.directory_.clear();
        other.files_.clear();
    }
    return *this;
}

void PosixStagingArea::Remove() noexcept {
    for (const std::string& file : files_) unlink(file.c_str());
    files_.clear();
    if (!directory_.empty()) {
        rmdir(directory_.c_str());
        directory_.clear();
    }
}

void StagePosixAttachments(MailRequest& request, uint64_t requestLength, const std::string& root,
                           PosixStagingArea& area) {
    if (!AttachmentsFitTheRequest(request.attachments, requestLength))
        RaiseMailError("attachments larger than the request");
    EnsureRoot(root);
    DiskReservation space = ReserveFreeSpace(root, StagedBytes(request.attachments));

    area.Remove();
    area.directory_ = CreateRequestDirectory(root);
    area.files_.reserve(request.attachments.size());
    const std::vector<WideString> names = StagedFileNames(request.attachments);
    for (size_t j = 0; j < request.attachments.size(); ++j) {
        const MailAttachment& attachment = request.attachments[j];
        UniqueFd fd = CreateStagedFile(area.directory_, area.files_, XdgEmailFileName(names[j]));
        if (!WriteAll(fd.get(), attachment.data, attachment.size)) {
            CloseReporting(fd);
            RaiseMailError("unable to write to temporary file");
        }
        if (!CloseReporting(fd)) RaiseMailError("error closing temporary file");
        space.GiveBackPart(attachment.size);  // in the free space from now on
    }
}

void KeepForTheMailProgram(PosixStagingArea area, KeptAreaReservation reservation) noexcept {
    KeptAreas::Instance().Keep(std::move(area), std::move(reservation));
}

void RemoveKeptAreas() noexcept { KeptAreas::Instance().RemoveAll(); }

void SweepAbandonedAreas(const std::string& root) noexcept {
    try {
        struct stat facts {};
        if (lstat(root.c_str(), &facts) != 0 || !S_ISDIR(facts.st_mode) || facts.st_uid != geteuid()) return;
        DIR* folder = opendir(root.c_str());
        if (folder == nullptr) return;
        std::vector<std::string> abandoned;
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            const WideString wide(name.begin(), name.end());
            const std::optional<uint32_t> owner = RequestDirectoryOwner(wide);
            if (owner && *owner != uint32_t(getpid()) && kill(pid_t(*owner), 0) != 0 && errno == ESRCH)
                abandoned.push_back(root + "/" + name);
        }
        closedir(folder);
        for (const std::string& directory : abandoned) RemoveFolderAndFiles(directory);
    } catch (...) {
        // What is not removed now is removed by a later start.
    }
}

}  // namespace zobrik
