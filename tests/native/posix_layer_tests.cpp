// The Linux add-in's POSIX layer against the real system: running programs,
// staging attachments, and whole exec and mail requests with recording
// xdg-open and xdg-email stand-ins first on PATH.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "exec/posix/exec_worker.h"
#include "include/posix/owners.h"
#include "include/posix/program_run.h"
#include "mail/posix/attachment_staging.h"
#include "mail/posix/mail_processing.h"
#include "native/decoded_request.h"

namespace zobrik {
namespace {

namespace fs = std::filesystem;
using sdk::MailRequestWriter;
using sdk::RecipientGroup;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

class PosixLayer : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zobrik-posix-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        work_ = pattern;
        bin_ = work_ / "bin";
        fs::create_directory(bin_);
        // Each stand-in writes its arguments, one per line, to <name>.args and
        // copies the files it is asked to attach.
        WriteScript(bin_ / "xdg-open",
                    "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/xdg-open.args\"\n"
                    "case \"$1\" in *zobrik-fail*) exit 4;; esac\n");
        WriteScript(bin_ / "xdg-email",
                    "d=\"$(dirname \"$0\")\"; printf '%s\\n' \"$@\" > \"$d/xdg-email.args\"; n=0\n"
                    "while [ $# -gt 0 ]; do if [ \"$1\" = --attach ]; then n=$((n+1)); cp \"$2\" \"$d/attached-$n\"; "
                    "stat -c %a \"$2\" > \"$d/mode-$n\"; fi; shift; done\n"
                    "exit \"${ZOBRIK_TEST_MAIL_EXIT:-0}\"\n");
        oldPath_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        setenv("PATH", (bin_.string() + ":" + oldPath_).c_str(), 1);
        root_ = (work_ / "staging").string();
    }
    void TearDown() override {
        setenv("PATH", oldPath_.c_str(), 1);
        unsetenv("ZOBRIK_TEST_MAIL_EXIT");
        fs::remove_all(work_);
    }

    std::vector<std::string> Args(const char* program) const {
        std::vector<std::string> lines;
        std::istringstream in(ReadAll(bin_ / (std::string(program) + ".args")));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    fs::path work_;
    fs::path bin_;
    std::string root_;
    std::string oldPath_;
};

TEST_F(PosixLayer, ProgramsRunWithoutShellOrInheritedDescriptors) {
    EXPECT_EQ(RunProgramAndWait({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(RunProgramAndWait({"zobrik-no-such-program"}), std::nullopt);
    EXPECT_EQ(RunProgramAndWait({"sh", "-c", "kill -9 $$"}), std::nullopt) << "ended by a signal";
    UniqueFd inherited(open("/dev/null", O_RDONLY));  // no O_CLOEXEC: a careless client's descriptor
    ASSERT_TRUE(inherited);
    const std::string check = "test -e /proc/self/fd/" + std::to_string(inherited.Get());
    EXPECT_EQ(RunProgramAndWait({"sh", "-c", check}), 1) << "the descriptor reached the program";
    EXPECT_EQ(RunProgramAndWait({"sh", "-c", "read x; test -z \"$x\""}), 0) << "standard input is empty";
    EXPECT_EQ(RunProgramAndWait({"sh", "-c", "test \"$1\" = 'a b;$(x)'", "sh", "a b;$(x)"}), 0);
}

// The client's standard input, its blocked and its ignored signals are its
// own: the program gets /dev/null and the default handling of every signal.
TEST_F(PosixLayer, ProgramsGetNoInputAndDefaultSignalsWhateverTheClientHas) {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(write(input[1], "data\n", 5), 5);
    close(input[1]);
    const int savedInput = dup(0);
    ASSERT_GE(savedInput, 0);
    dup2(input[0], 0);
    close(input[0]);
    sigset_t term;
    sigset_t savedMask;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &savedMask);
    struct sigaction ignore {};
    struct sigaction savedInterrupt {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &savedInterrupt);

    const std::optional<int> read = RunProgramAndWait({"sh", "-c", "read x; test -z \"$x\""});
    const std::optional<int> blocked = RunProgramAndWait({"sh", "-c", "kill -TERM $$; exit 0"});
    const std::optional<int> ignored = RunProgramAndWait({"sh", "-c", "kill -INT $$; exit 0"});

    sigaction(SIGINT, &savedInterrupt, nullptr);
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    dup2(savedInput, 0);
    close(savedInput);
    EXPECT_EQ(read, 0) << "the program read the client's standard input";
    EXPECT_EQ(blocked, std::nullopt) << "SIGTERM stayed blocked in the program";
    EXPECT_EQ(ignored, std::nullopt) << "SIGINT stayed ignored in the program";
}

TEST_F(PosixLayer, ExecRunsXdgOpenAndAnswersByItsExitStatus) {
    const AdminPolicy policy;
    EXPECT_EQ(ServeExecRequest("\xEF\xBB\xBFhttps://example.com/\xD0\x96", policy, root_), kExecReplyOkay);
    EXPECT_EQ(Args("xdg-open"), (std::vector<std::string>{"https://example.com/\xD0\x96"}));
    EXPECT_EQ(ServeExecRequest("https://example.com/caf\xE9", policy, root_), kExecReplyOkay);
    EXPECT_EQ(Args("xdg-open"), (std::vector<std::string>{"https://example.com/caf\xC3\xA9"}));
    EXPECT_EQ(ServeExecRequest("https://example.com/zobrik-fail", policy, root_), kExecReplyFailed);

    fs::remove(bin_ / "xdg-open.args");
    const fs::path program = work_ / "tool.sh";
    WriteScript(program, "exit 0\n");
    // A program is one that anybody may run: its owner, its group or others.
    for (const fs::perms runnable : {fs::perms::owner_exec, fs::perms::group_exec, fs::perms::others_exec}) {
        fs::permissions(program, fs::perms::owner_read | fs::perms::owner_write | runnable);
        EXPECT_EQ(ServeExecRequest(program.string(), policy, root_), kExecReplyFailed) << std::oct << int(runnable);
    }
    EXPECT_EQ(ServeExecRequest(std::string(32768, 'a'), policy, root_), kExecReplyFailed);
    EXPECT_EQ(ServeExecRequest("\xEF\xBB\xBF\xC0\xAF", policy, root_), kExecReplyFailed);
    EXPECT_FALSE(fs::exists(bin_ / "xdg-open.args")) << "a refused text reached xdg-open";
}

// The exec checks ask the real system: this machine's host name, the
// client's current folder for a relative path, where links lead and which
// files may run.
TEST_F(PosixLayer, ExecAsksTheSystemForHostNameFolderLinksAndPrograms) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    std::ofstream(work_ / "doc.txt") << "text";
    WriteScript(work_ / "tool.sh", "exit 0\n");
    fs::create_directories(root_ + "/zr-1");
    std::ofstream(root_ + "/zr-1/staged.pdf") << "staged";
    fs::create_symlink(work_ / "tool.sh", work_ / "innocent.pdf");
    fs::create_symlink(root_, work_ / "staging-link");
    const fs::path previous = fs::current_path();
    fs::current_path(work_);
    const struct {
        std::string text;
        bool opened;
    } cases[] = {
        {"file://" + std::string(host) + (work_ / "doc.txt").string(), true},
        {"doc.txt", true},
        {"tool.sh", false},       // relative to the current folder, and a program
        {"innocent.pdf", false},  // a link to a program
        {(work_ / "staging-link/zr-1/staged.pdf").string(), false},
    };
    for (const auto& c : cases) {
        fs::remove(bin_ / "xdg-open.args");
        EXPECT_EQ(ServeExecRequest(c.text, AdminPolicy(), root_) == kExecReplyOkay, c.opened) << c.text;
        EXPECT_EQ(fs::exists(bin_ / "xdg-open.args"), c.opened) << c.text;
    }
    fs::current_path(previous);
}

// XDG_RUNTIME_DIR when it is an absolute path, else a folder of this user's
// own in TMPDIR or /tmp.
TEST_F(PosixLayer, TheStagingRootIsTheRuntimeFolderOrAUsersFolderInTemp) {
    const std::string user = std::to_string(geteuid());
    const struct {
        const char* runtime;  // nullptr: unset
        const char* temp;
        std::string root;
    } cases[] = {
        {"/run/user/7", "/var/tmp", "/run/user/7/zobrik-wtsdvc"},
        {"run/user/7", "/var/tmp", "/var/tmp/zobrik-wtsdvc-" + user},
        {nullptr, "/var/tmp", "/var/tmp/zobrik-wtsdvc-" + user},
        {"", nullptr, "/tmp/zobrik-wtsdvc-" + user},
        {nullptr, "var/tmp", "/tmp/zobrik-wtsdvc-" + user},
    };
    const char* names[] = {"XDG_RUNTIME_DIR", "TMPDIR"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names)
        saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    for (const auto& c : cases) {
        const char* values[] = {c.runtime, c.temp};
        for (size_t i = 0; i < std::size(names); ++i) values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
        EXPECT_EQ(StagingDirectoryPath(), c.root)
            << "XDG_RUNTIME_DIR=" << (c.runtime ? c.runtime : "(unset)") << " TMPDIR=" << (c.temp ? c.temp : "(unset)");
    }
    for (size_t i = 0; i < std::size(names); ++i)
        saved[i] ? setenv(names[i], saved[i]->c_str(), 1) : unsetenv(names[i]);
}

TEST_F(PosixLayer, StagedFilesArePrivateAndGoWithTheirArea) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "a@x")
        .AddAttachment("../../etc/report.pdf", std::vector<uint8_t>(70000, 7))
        .AddAttachment("report.pdf", {1, 2, 3})
        .AddAttachment("CON", {9})
        // Distinct names that the mail program's spelling makes equal: the
        // second is numbered, never written over the first.
        .AddAttachment("a,b.txt", {'1'})
        .AddAttachment("a%b.txt", {'2'});
    auto decoded = testing::Decode(writer);
    {
        StagingArea area;
        StageAttachments(decoded.request, decoded.bytes.size(), root_, area);
        ASSERT_EQ(area.Files().size(), 5u);
        EXPECT_EQ(fs::path(area.Files()[0]).filename(), "report.pdf");
        EXPECT_EQ(fs::path(area.Files()[1]).filename(), "report (2).pdf");
        EXPECT_EQ(fs::path(area.Files()[2]).filename(), "_CON");
        EXPECT_EQ(fs::path(area.Files()[3]).filename(), "a_b.txt");
        EXPECT_EQ(fs::path(area.Files()[4]).filename(), "a_b (2).txt");
        EXPECT_EQ(ReadAll(area.Files()[3]) + ReadAll(area.Files()[4]), "12");
        EXPECT_EQ(ReadAll(area.Files()[0]), std::string(70000, '\7'));
        EXPECT_EQ(fs::status(root_).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(area.Directory()).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::status(area.Files()[1]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_TRUE(fs::is_empty(root_)) << "the area left files behind";
}

// A root that is a link, or that another user owns, is not this user's
// to sweep, nor to stage into.
TEST_F(PosixLayer, ARootThatIsALinkOrAnotherUsersIsNeitherSweptNorUsed) {
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    char name[32];
    std::snprintf(name, sizeof(name), "0123456789abcdef-zr-%08x", unsigned(ended));
    const fs::path elsewhere = work_ / "elsewhere";
    fs::create_directories(elsewhere / name);
    std::ofstream(elsewhere / name / "a.pdf") << "x";
    fs::create_directory_symlink(elsewhere, root_);
    SweepAbandonedStagingAreas(root_);
    EXPECT_TRUE(fs::exists(elsewhere / name / "a.pdf")) << "swept through a link";
    fs::remove(root_);

    fs::rename(elsewhere, root_);
    if (geteuid() != 0) GTEST_SKIP() << "only root can give the folder to another user";
    fs::permissions(root_, fs::perms::owner_all);  // closed to others: only its owner is wrong
    ASSERT_EQ(chown(root_.c_str(), 65534, 65534), 0);
    SweepAbandonedStagingAreas(root_);
    EXPECT_TRUE(fs::exists(fs::path(root_) / name / "a.pdf")) << "swept another user's folder";
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "a@x").AddAttachment("a.txt", {1});
    auto decoded = testing::Decode(writer);
    StagingArea area;
    EXPECT_THROW(StageAttachments(decoded.request, decoded.bytes.size(), root_, area), const char*);
    EXPECT_TRUE(area.Files().empty());
}

// Each kept area goes when its own time is due: one kept for less time than
// the area the removal thread already waits for wakes it, and the longer one
// stays.
TEST_F(PosixLayer, KeptAreasGoWhenEachIsDue) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "a@x").AddAttachment("kept.txt", {'k'});
    auto decoded = testing::Decode(writer);
    auto keep = [&](uint64_t milliseconds) {
        StagingArea area;
        StageAttachments(decoded.request, decoded.bytes.size(), root_, area);
        const std::string file = area.Files().at(0);
        KeepForTheMailProgram(std::move(area), ReserveKeptArea(decoded.request.attachments), milliseconds);
        return file;
    };
    const std::string longKept = keep(kKeptStagingMilliseconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the thread now waits for the long one
    const auto keptAt = std::chrono::steady_clock::now();
    const std::string shortKept = keep(1500);
    EXPECT_TRUE(fs::exists(shortKept)) << "removed before it was due";
    while (fs::exists(shortKept) && std::chrono::steady_clock::now() - keptAt < std::chrono::seconds(10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - keptAt, std::chrono::milliseconds(1500))
        << "removed before it was due";
    EXPECT_FALSE(fs::exists(fs::path(shortKept).parent_path())) << "not removed when due";
    EXPECT_TRUE(fs::exists(longKept)) << "removed long before it was due";
    // The long one stays kept: ending the keeping (RemoveKeptStagingAreas)
    // would end it for the rest of this process, whose later tests keep too.
}

// A file the system stops writing halfway (here the process's file size
// limit, as a volume that fills up after the free-space check) fails the
// request, and nothing of it stays.
TEST_F(PosixLayer, AnAttachmentWrittenOnlyInPartFailsTheRequestAndLeavesNothing) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "a@x")
        .AddAttachment("first.bin", std::vector<uint8_t>(4000, 1))
        .AddAttachment("second.bin", std::vector<uint8_t>(70000, 2));
    auto decoded = testing::Decode(writer);
    struct rlimit previous {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const struct rlimit small = {16384, previous.rlim_max};
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string failure;
    {
        StagingArea area;
        try {
            StageAttachments(decoded.request, decoded.bytes.size(), root_, area);
        } catch (const char* message) {
            failure = message;
        }
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(failure, "unable to write to temporary file");
    EXPECT_TRUE(fs::is_empty(root_)) << "a failed request left files behind";
}

// The free-space check reads the staging volume: on a 4 MiB volume, half
// of it full, 1.2 MiB of attachments leave more than the tenth kept free
// and are staged, 1.8 MiB would not and are refused before anything is
// written. (Needs the privilege to mount a tmpfs.)
TEST_F(PosixLayer, AttachmentsMustLeaveATenthOfTheStagingVolumeFree) {
    const fs::path volume = work_ / "small";
    fs::create_directory(volume);
    if (mount("zobrik-small-disk", volume.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    std::ofstream(volume / "filler") << std::string(2 << 20, 'f');
    const std::string root = (volume / "staging").string();
    std::string refusal;
    for (const size_t size : {size_t(1200) << 10, size_t(1800) << 10}) {
        MailRequestWriter writer;
        writer.AddRecipient(RecipientGroup::To, "", "a@x").AddAttachment("big.bin", std::vector<uint8_t>(size, 3));
        auto decoded = testing::Decode(writer);
        StagingArea area;
        try {
            StageAttachments(decoded.request, decoded.bytes.size(), root, area);
            EXPECT_EQ(size, size_t(1200) << 10) << "staged although it leaves less than a tenth free";
        } catch (const char* message) {
            EXPECT_EQ(size, size_t(1800) << 10) << "refused although it leaves more than a tenth free";
            EXPECT_STREQ(message, "not enough free disk space for the attachments");
            EXPECT_TRUE(area.Files().empty()) << "written before the check";
        }
    }
    EXPECT_TRUE(fs::is_empty(root));
    umount2(volume.c_str(), MNT_DETACH);
}

TEST_F(PosixLayer, AStagingRootThatIsALinkOrOpenToOthersIsNotUsed) {
    MailRequestWriter writer;
    writer.AddRecipient(RecipientGroup::To, "", "a@x").AddAttachment("a.txt", {1});
    auto decoded = testing::Decode(writer);
    auto outcome = [&] {
        try {
            StagingArea area;
            StageAttachments(decoded.request, decoded.bytes.size(), root_, area);
        } catch (const char* message) {
            return std::string(message);
        }
        return std::string("(staged)");
    };
    fs::create_directory(work_ / "elsewhere");
    fs::create_directory_symlink(work_ / "elsewhere", root_);
    EXPECT_EQ(outcome(), "staging directory is a link");
    EXPECT_TRUE(fs::is_empty(work_ / "elsewhere"));
    fs::remove(root_);
    fs::create_directory(root_);
    for (const fs::perms opened : {fs::perms::others_all, fs::perms::others_read, fs::perms::group_all,
                                   fs::perms::group_read, fs::perms::group_exec}) {
        fs::permissions(root_, fs::perms::owner_all | opened);
        EXPECT_EQ(outcome(), "unable to create temporary directory") << std::oct << int(opened);
    }
    fs::permissions(root_, fs::perms::owner_all);
    EXPECT_EQ(outcome(), "(staged)");
}

TEST_F(PosixLayer, MailReachesXdgEmailAndFailuresRemoveTheFiles) {
    MailRequestWriter writer;
    writer.Subject("S").Body("B").AddRecipient(RecipientGroup::To, "Ann", "ann@example.com");
    writer.AddAttachment("data.csv", {'1', ';', '2'});
    std::vector<uint8_t> bytes = writer.Build();
    EXPECT_EQ(ProcessMailRequest(uint32_t(bytes.size()), bytes.data(), AdminPolicy(), root_), 0);
    const std::vector<std::string> args = Args("xdg-email");
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[0], "--utf8");
    EXPECT_EQ(args[1], "--attach");
    EXPECT_EQ(fs::path(args[2]).filename(), "data.csv");
    EXPECT_EQ(args[3], "mailto:ann@example.com?subject=S&body=B");
    EXPECT_EQ(ReadAll(bin_ / "attached-1"), "1;2");
    EXPECT_EQ(ReadAll(bin_ / "mode-1"), "600\n");
    EXPECT_TRUE(fs::exists(args[2])) << "kept for the mail program";
    RemoveKeptStagingAreas();
    EXPECT_FALSE(fs::exists(args[2])) << "removed at unload";

    setenv("ZOBRIK_TEST_MAIL_EXIT", "1", 1);
    bytes = writer.Build();
    try {
        ProcessMailRequest(uint32_t(bytes.size()), bytes.data(), AdminPolicy(), root_);
        ADD_FAILURE() << "a failing mail program was reported as a hand-over";
    } catch (const char* message) {
        EXPECT_STREQ(message, "the mail program failed");
    }
    EXPECT_TRUE(fs::is_empty(root_)) << "files of a failed hand-over were left behind";

    // No mail program at all.
    fs::rename(bin_ / "xdg-email", work_ / "xdg-email");
    setenv("PATH", bin_.c_str(), 1);
    bytes = writer.Build();
    try {
        ProcessMailRequest(uint32_t(bytes.size()), bytes.data(), AdminPolicy(), root_);
        ADD_FAILURE() << "a missing mail program was reported as a hand-over";
    } catch (const char* message) {
        EXPECT_STREQ(message, "unable to start the mail program");
    }
    EXPECT_TRUE(fs::is_empty(root_)) << "files for a missing mail program were left behind";
    setenv("PATH", (bin_.string() + ":" + oldPath_).c_str(), 1);
    fs::rename(work_ / "xdg-email", bin_ / "xdg-email");

    // The policy's mail limits apply before anything is staged or started.
    unsetenv("ZOBRIK_TEST_MAIL_EXIT");
    AdminPolicy noAttachments;
    noAttachments.mailMaxAttachments = 0;
    bytes = writer.Build();
    EXPECT_THROW(ProcessMailRequest(uint32_t(bytes.size()), bytes.data(), noAttachments, root_), const char*);
    EXPECT_TRUE(fs::is_empty(root_)) << "a mail the policy refuses was staged";
}

TEST_F(PosixLayer, ASweepRemovesOnlyTheFoldersOfClientsThatEnded) {
    // A process that has ended: its id names no running process.
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    auto folder = [](pid_t pid, const char* form = "0123456789abcdef-zr-%08x") {
        char name[32];
        std::snprintf(name, sizeof(name), form, unsigned(pid));
        return std::string(name);
    };
    const std::string endedOlderForm = folder(ended, "zr-%08x-0123456789abcdef");
    fs::create_directory(root_);
    for (const std::string& name : {folder(ended), endedOlderForm, folder(getpid()), folder(getppid()),
                                    std::string("zr-not-ours"), std::string("other")}) {
        fs::create_directory(fs::path(root_) / name);
        std::ofstream(fs::path(root_) / name / "a.pdf") << "x";
    }
    // A link named as an ended client's folder: not followed, its target's files stay.
    fs::create_directory(work_ / "target");
    std::ofstream(work_ / "target" / "a.pdf") << "x";
    fs::create_directory_symlink(work_ / "target", fs::path(root_) / folder(ended, "fedcba9876543210-zr-%08x"));
    SweepAbandonedStagingAreas(root_);
    EXPECT_FALSE(fs::exists(fs::path(root_) / folder(ended))) << "the ended client's folder stayed";
    EXPECT_TRUE(fs::exists(work_ / "target" / "a.pdf")) << "the sweep followed a link out of the root";
    EXPECT_FALSE(fs::exists(fs::path(root_) / endedOlderForm)) << "an older version's folder stayed";
    EXPECT_TRUE(fs::exists(fs::path(root_) / folder(getpid()) / "a.pdf")) << "this client's folder went";
    EXPECT_TRUE(fs::exists(fs::path(root_) / folder(getppid()) / "a.pdf")) << "a running process's folder went";
    EXPECT_TRUE(fs::exists(fs::path(root_) / "zr-not-ours" / "a.pdf"));
    EXPECT_TRUE(fs::exists(fs::path(root_) / "other" / "a.pdf"));
}

// Debian's real xdg-email (xdg-utils) taking its Thunderbird route: on a
// generic desktop the user's mimeapps.list names thunderbird.desktop as the
// mailto handler, and a thunderbird stand-in records the -compose argument
// the script builds, a list of fields that Thunderbird splits at commas
// outside '…'.
class RealXdgEmail : public PosixLayer {
protected:
    void SetUp() override {
        PosixLayer::SetUp();
        ASSERT_TRUE(fs::exists("/usr/bin/xdg-email")) << "xdg-utils is not installed (scripts/install-deps.sh)";
        fs::remove(bin_ / "xdg-email");
        WriteScript(bin_ / "thunderbird", "printf '%s\\0' \"$@\" > \"$(dirname \"$0\")/thunderbird.args\"\n");
        fs::create_directories(work_ / "share/applications");
        std::ofstream(work_ / "share/applications/thunderbird.desktop")
            << "[Desktop Entry]\nType=Application\nName=Thunderbird\nExec=thunderbird %u\n";
        fs::create_directories(work_ / "config");
        std::ofstream(work_ / "config/mimeapps.list")
            << "[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n";
        for (const char* name : kSaved) saved_.emplace_back(std::getenv(name) ? std::getenv(name) : "");
        for (const char* name : kSaved) unsetenv(name);
        setenv("XDG_CURRENT_DESKTOP", "X-Generic", 1);
        setenv("XDG_DATA_HOME", (work_ / "share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (work_ / "config").c_str(), 1);
    }
    void TearDown() override {
        RemoveKeptStagingAreas();
        for (size_t i = 0; i < std::size(kSaved); ++i)
            if (!saved_[i].empty())
                setenv(kSaved[i], saved_[i].c_str(), 1);
            else
                unsetenv(kSaved[i]);
        PosixLayer::TearDown();
    }

    // The -compose argument thunderbird received; "" when it did not run.
    std::string Compose() const {
        const fs::path record = bin_ / "thunderbird.args";
        if (!fs::exists(record)) return "";
        std::vector<std::string> args;
        std::istringstream in(ReadAll(record));
        for (std::string arg; std::getline(in, arg, '\0');) args.push_back(arg);
        return args.size() == 2 && args[0] == "-compose" ? args[1] : "(unexpected arguments)";
    }

    // The message of the mail's failure, or "(handed over)".
    std::string Outcome(MailRequestWriter& writer) {
        std::vector<uint8_t> bytes = writer.Build();
        try {
            ProcessMailRequest(uint32_t(bytes.size()), bytes.data(), AdminPolicy(), root_);
            return "(handed over)";
        } catch (const char* message) {
            return message;
        }
    }

    static constexpr const char* kSaved[] = {
        "XDG_CURRENT_DESKTOP", "XDG_DATA_HOME",   "XDG_CONFIG_HOME",          "MAILER",
        "KDE_FULL_SESSION",    "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID"};
    std::vector<std::string> saved_;
};

// Addresses that steered the Thunderbird route: a quote ends "cc='…'" and the
// next address adds an attachment field; a "mailto:" argument replaces the
// to-addresses xdg-email had collected.
TEST_F(RealXdgEmail, AddressesThatWouldSteerTheMailProgramAreRefused) {
    const struct {
        const char* what;
        std::vector<std::pair<RecipientGroup, const char*>> recipients;
    } cases[] = {
        {"attachment field in cc",
         {{RecipientGroup::To, "bob@example.com"},
          {RecipientGroup::Cc, "a'"},
          {RecipientGroup::Cc, "attachment='file:///etc/passwd'"},
          {RecipientGroup::Cc, "x='"}}},
        {"mailto: as a to-address",
         {{RecipientGroup::To, "bob@example.com"}, {RecipientGroup::To, "mailto:eve@evil.test"}}},
    };
    for (const auto& c : cases) {
        MailRequestWriter writer;
        writer.Subject("S").Body("B").AddAttachment("a.txt", {'x'});
        for (const auto& [group, address] : c.recipients) writer.AddRecipient(group, "", address);
        EXPECT_EQ(Outcome(writer), "invalid recipient address") << c.what;
        EXPECT_EQ(Compose(), "") << c.what << ": the mail program was started";
    }
}

// Backslash sequences that dash's `echo` in xdg-email would read: "\c" ends
// the URL, "\\0046" and "\\0075" become '&' and '='. A comma in an attachment's
// name would split Thunderbird's attachment list and name a file in its
// current folder.
TEST_F(RealXdgEmail, SubjectBodyAndNamesReachThunderbirdAsTheirOwnFields) {
    MailRequestWriter writer;
    writer.Subject("x\\\\0046attach\\\\0075/etc/passwd \\c").Body("Price\\ncut \\c it's, 100%");
    writer.AddRecipient(RecipientGroup::To, "", "bob@example.com")
        .AddRecipient(RecipientGroup::Cc, "", "cy@example.com");
    writer.AddAttachment("notes,.bash_history", {'n'});
    ASSERT_EQ(Outcome(writer), "(handed over)");
    const std::string fields =
        "to='bob@example.com,',cc='cy@example.com,',"
        "subject=x%5C%5C0046attach%5C%5C0075%2Fetc%2Fpasswd%20%5Cc,"
        "body=Price%5Cncut%20%5Cc%20it%27s%2C%20100%25,attachment='";
    const std::string compose = Compose();
    ASSERT_EQ(compose.substr(0, fields.size()), fields);
    ASSERT_EQ(compose.back(), '\'');
    // The one attachment: the staged file (which an earlier RemoveKeptStagingAreas
    // in this process may have removed already), its comma replaced.
    const fs::path staged = compose.substr(fields.size(), compose.size() - fields.size() - 1);
    EXPECT_EQ(staged.parent_path().parent_path(), fs::canonical(root_));
    EXPECT_EQ(staged.filename(), "notes_.bash_history");
}

// A mail without to, cc or bcc (a scanner's "send as mail"): Thunderbird's
// compose window opens with the subject, body and attachment and no address.
TEST_F(RealXdgEmail, MailWithoutRecipientsOpensTheComposeWindowWithoutAddress) {
    MailRequestWriter writer;
    writer.Subject("Scan").Body("Page 1").AddRecipient(RecipientGroup::From, "", "me@example.com");
    writer.AddAttachment("scan.pdf", {'%', 'P'});
    ASSERT_EQ(Outcome(writer), "(handed over)");
    const std::string fields = "subject=Scan,body=Page%201,attachment='";
    const std::string compose = Compose();
    ASSERT_EQ(compose.substr(0, fields.size()), fields);
    ASSERT_EQ(compose.back(), '\'');
    EXPECT_EQ(fs::path(compose.substr(fields.size(), compose.size() - fields.size() - 1)).filename(), "scan.pdf");
}

}  // namespace
}  // namespace zobrik
