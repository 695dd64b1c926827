// What the Linux add-in refuses to open, decided without the system; what
// only the file system knows is asked of a PosixFiles.
//
// Built in, whatever the policy says: an empty text, a text that begins
// with '-' (xdg-open would read it as an option), a refused scheme (as on
// Windows), a "file:" URL that names another host, a desktop entry
// (".desktop", which names a program to run), a file the desktop runs or
// installs through the program registered for its type, execute bit or not
// (Windows programs and launchers that Wine or Java run, as the Windows
// plug-in's program list names them, and .flatpakref, .flatpakrepo,
// .flatpak, .deb, .rpm, .snap, .AppImage, .jnlp; a local folder of such a
// name excepted), also when a URL of a network scheme names it, a regular file that has an execute bit, and
// anything inside the staging folder. A path is checked as
// written (made absolute against the current directory, "." and ".."
// resolved) and as the file it reaches through links.
//
// Then the administrator's policy with the settings of the Windows client,
// through the ladder of exec_policy_ladder.h: the deny list (any form or the
// text itself), the allow list (every form), the allowed schemes (a "file:"
// URL needs "file"), network locations (schemes that reach file servers:
// smb, nfs, sftp, ftp, dav, ...), local paths; then the confirmation, which
// this client cannot show: with it set, every text is refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exec_text_decoding.h"
#include "include/admin_policy.h"
#include "include/wide_text.h"

namespace zobrik {

struct PosixFileFacts {
    bool exists = false;
    bool regular = false;
    bool executable = false;  // a regular file with any execute bit
};

class PosixFiles {
public:
    virtual ~PosixFiles() = default;
    virtual std::string CurrentDirectory() const = 0;
    // The path with every link resolved (realpath); nullopt when it does
    // not exist.
    virtual std::optional<std::string> RealPath(const std::string& path) const = 0;
    // What the path names, following links.
    virtual PosixFileFacts Facts(const std::string& path) const = 0;
    // This machine's host names besides "localhost".
    virtual const std::vector<std::string>& MachineNames() const = 0;
};

// The absolute, lexically normal form of `path` ("." and ".." resolved,
// repeated slashes joined) against `currentDirectory`.
std::string AbsolutePosixPath(const std::string& path, const std::string& currentDirectory);

// The path a "file:" URL names, %-escapes decoded, and its host ("" for
// "file:///x" and "file:/x"); nullopt when `text` is no "file:" URL.
struct FileUrl {
    std::string host;
    std::string path;
};
std::optional<FileUrl> ParseFileUrl(const std::string& text);

// The first refusal of `text`, or nullopt when it may be opened; a built-in
// refusal has no setting. `stagingRoot` is the folder the add-in stages
// attachments in.
std::optional<PolicyRefusal> PosixExecRefusal(const DecodedExecText& text, const std::string& stagingRoot,
                                              const AdminPolicy& policy, const PosixFiles& files);

}  // namespace zobrik
