// A machine for the exec checks' unit tests: a few files, short names, a
// junction, a drive letter for another drive and one for a network share,
// shares of its own and device paths of its system drive.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "exec/exec_policy.h"

namespace zobrik::testing {

inline std::string Narrow(WideStringView text) {
    std::string out;
    for (WideChar c : text) {
        out += c < 0x80 ? char(c) : '?';
    }
    return out;
}

inline WideString Lower(WideStringView text) {
    WideString out(text);
    for (WideChar& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = WideChar(c + 32);
        }
    }
    return out;
}

// A machine with a few files: every existing path is listed with its long
// names, some components also have a short name; a junction and a drive
// letter lead to directories under other paths.
class FakeMachine : public MachinePaths {
public:
    FakeMachine() {
        AddExisting(u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp\\request-8f3a9c\\evil.exe");
        AddExisting(u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmpx\\request-8f3a9c\\evil.exe");
        AddExisting(u"C:\\Users\\Someone\\AppData\\Local\\Temp\\report.pdf");
        AddExisting(u"C:\\Links\\temp-link\\");
        AddExisting(u"U:\\home\\someone\\.wine\\");  // Wine's Unix root
        shortNames_[u"someone"] = u"SOMEON~1";
        shortNames_[u"appdata"] = u"APPDAT~1";
        shortNames_[u"request-8f3a9c"] = u"REQUES~1";
        shortNames_[u"ema1.tmpx"] = u"EMA1~1.TMP";
        environment_[u"temp"] = u"C:\\Users\\SOMEON~1\\AppData\\Local\\Temp";
        environment_[u"nothing"] = u"";
        environment_[u"half"] = u"ms-";
        environment_[u"quote"] = u"\"";
        environment_[u"up"] = u"..\\..\\..";
        links_[u"c:\\links\\temp-link"] = u"C:\\Users\\Someone\\AppData\\Local\\Temp";
        links_[u"y:"] = u"C:";
        // Devices and shares of this machine ("\\this" stands for any of its names).
        links_[u"\\\\?\\volume{c0ffee}"] = u"C:";
        links_[u"\\\\?\\globalroot\\device\\harddiskvolume3"] = u"C:";
        links_[u"\\\\?\\unix"] = u"U:";
        links_[u"\\\\?\\unix\\home\\someone\\.wine\\drive_c"] = u"C:";
        links_[u"\\\\this\\users"] = u"C:\\Users";
        links_[u"\\\\this\\staged"] = u"C:\\Users\\Someone\\AppData\\Local\\Temp\\Ema1.tmp";
    }

    // A path ending in '\\' is a directory, else a file.
    void AddExisting(WideStringView path) {
        for (size_t i = 3; i <= path.size(); ++i) {
            if (i == path.size() || path[i] == '\\') {
                existing_.insert(WideString(path.substr(0, i)));
                if (i < path.size()) {
                    directories_.insert(Lower(path.substr(0, i)));
                }
            }
        }
    }

    // `path` (lower case) as a link to `target`: a directory made or replaced there.
    void AddLink(WideStringView path, WideStringView target) { links_[WideString(path)] = WideString(target); }

    // `shortName` (8.3) as another name of the component `longName`.
    void AddShortName(WideStringView longName, WideStringView shortName) {
        shortNames_[Lower(longName)] = WideString(shortName);
    }

    std::optional<WideString> ExpandEnvironment(const WideString& text) const override {
        WideString out;
        size_t i = 0;
        while (i < text.size()) {
            size_t open = text.find('%', i);
            size_t close = open == WideString::npos ? open : text.find('%', open + 1);
            if (close == WideString::npos) {
                out += text.substr(i);
                break;
            }
            out += text.substr(i, open - i);
            auto found = environment_.find(Lower(text.substr(open + 1, close - open - 1)));
            if (found == environment_.end()) {
                out += text.substr(open, close - open);
                i = close;
                continue;
            }
            out += found->second;
            i = close + 1;
        }
        return out;
    }

    // Only makes relative paths absolute: resolving "." and ".." is left to
    // the policy, as a machine might leave some of them.
    std::optional<WideString> FullPath(const WideString& path) const override {
        if (path.empty()) {
            return std::nullopt;
        }
        if (path.size() >= 2 && path[1] == ':') {
            return path.size() >= 3 && path[2] == '\\' ? path : currentDirectory_ + u"\\" + path.substr(2);
        }
        if (path[0] == '\\') {
            return path.size() >= 2 && path[1] == '\\' ? path : currentDirectory_.substr(0, 2) + path;
        }
        return currentDirectory_ + u"\\" + path;
    }

    std::optional<WideString> LongPath(const WideString& path) const override {
        ++longPathCalls;
        const WideStringView root = PathRoot(path);
        if (root.size() != 2) {
            return std::nullopt;
        }
        WideString resolved(root);
        size_t start = 3;
        while (start <= path.size()) {
            size_t end = std::min(path.find('\\', start), path.size());
            const WideString name = Lower(WideStringView(path).substr(start, end - start));
            bool found = false;
            for (const WideString& entry : existing_) {
                const size_t cut = entry.rfind('\\');
                if (Lower(entry.substr(0, cut)) != Lower(resolved)) {
                    continue;
                }
                const WideString own = entry.substr(cut + 1);
                auto shortName = shortNames_.find(Lower(own));
                if (Lower(own) == name || (shortName != shortNames_.end() && Lower(shortName->second) == name)) {
                    resolved = entry;
                    found = true;
                    break;
                }
            }
            if (!found) {
                return std::nullopt;
            }
            start = end + 1;
        }
        return resolved;
    }

    std::optional<FileIdentity> DirectoryIdentity(const WideString& path) const override {
        ++identityCalls;
        WideString target = path;
        if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?') {
            const size_t hostEnd = std::min(path.find('\\', 2), path.size());
            if (!IsThisMachine(WideStringView(path).substr(2, hostEnd - 2), names_)) {
                ++remoteAsks;
                return std::nullopt;
            }
            target = u"\\\\this" + path.substr(hostEnd);
        }
        const WideString asked = target;
        for (const auto& [link, linked] : links_) {
            if (Lower(asked).rfind(link, 0) == 0 && (asked.size() == link.size() || asked[link.size()] == '\\')) {
                target = linked + asked.substr(link.size());
            }
        }
        while (target.size() > 3 && target.back() == '\\') {
            target.pop_back();
        }
        if (target.size() <= 3 && PathRoot(target).size() == 2) {
            return FileIdentity{7, std::hash<WideString>{}(Lower(target.substr(0, 2)))};  // a root directory
        }
        auto found = LongPath(target);
        if (!found || directories_.count(Lower(*found)) == 0) {
            return std::nullopt;
        }
        return FileIdentity{7, std::hash<WideString>{}(Lower(*found))};
    }

    bool SameIgnoringCase(WideStringView a, WideStringView b) const override { return Lower(a) == Lower(b); }

    const std::vector<WideString>& MachineNames() const override {
        ++nameAsks;
        return names_;
    }

    bool IsNetworkDrive(WideStringView root) const override { return networkDrives_.count(Lower(root)) != 0; }

    bool IsDirectory(const WideString& path) const override {
        auto found = LongPath(path);
        return found && directories_.count(Lower(*found)) != 0;
    }

    WideString ProgramExtensions() const override { return programExtensions_; }

    WideString currentDirectory_ = u"C:\\Users\\Someone\\AppData\\Local\\Temp";
    mutable int longPathCalls = 0;
    mutable int identityCalls = 0;
    mutable int remoteAsks = 0;
    mutable int nameAsks = 0;  // the machine's names asked for  // identities asked of other hosts' shares
    std::set<WideString> networkDrives_ = {u"n:"};
    WideString programExtensions_ = u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC;.PYZ";

private:
    std::set<WideString> existing_;
    std::set<WideString> directories_;
    std::map<WideString, WideString> shortNames_;
    std::map<WideString, WideString> environment_;
    std::map<WideString, WideString> links_;
    std::vector<WideString> names_ = {u"DESKTOP-42", u"desktop-42.corp.example", u"desktop-42-alias", u"192.168.1.20",
                                      u"fe80:0:0:0:0:0:d00d:1"};
};

}  // namespace zobrik::testing
