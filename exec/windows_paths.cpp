#include "windows_paths.h"

#include <algorithm>
#include <iterator>

#include "exec_text.h"
#include "exec_unique_forms.h"
#include "host_recognition.h"
#include "include/ascii_text.h"
#include "percent_decoding.h"

namespace zobrik {

namespace {

bool StartsWithDevicePrefix(WideStringView path) {
    return path.size() >= 4 && path[0] == '\\' && path[3] == '\\' &&
           ((path[1] == '\\' && (path[2] == '?' || path[2] == '.')) || (path[1] == '?' && path[2] == '?'));
}

std::vector<WideStringView> Components(WideStringView rest) {
    std::vector<WideStringView> out;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == WideStringView::npos) {
            end = rest.size();
        }
        if (end > start) {
            out.push_back(rest.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

WideString Joined(WideStringView root, const std::vector<WideString>& components) {
    WideString out(root);
    out += '\\';
    for (size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            out += '\\';
        }
        out += components[i];
    }
    return out;
}

void PopBack(std::vector<WideString>& components) {
    if (!components.empty()) {
        components.pop_back();
    }
}

WideStringView WithoutTrailingSeparators(WideStringView path) {
    while (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

DirectoryMatch MachinePaths::MatchDirectory(const WideString& path, const FileIdentity& identity) const {
    const auto found = DirectoryIdentity(path);
    return !found ? DirectoryMatch::None : *found == identity ? DirectoryMatch::Same : DirectoryMatch::Other;
}

bool NamesLocalVolume(WideStringView target) {
    for (std::u16string_view device : {u"\\Device\\HarddiskVolume", u"\\Device\\CdRom"}) {
        if (target.size() > device.size() && StartsWithIgnoringAsciiCase(target, device)) {
            const WideStringView number = target.substr(device.size());
            return std::all_of(number.begin(), number.end(), [](WideChar c) { return c >= '0' && c <= '9'; });
        }
    }
    return false;
}

std::vector<WideString> FileUrlPaths(WideStringView url) {
    std::vector<WideString> out;
    if (!StartsWithIgnoringAsciiCase(url, u"file:")) {
        return out;
    }
    const WideStringView rest = url.substr(5);
    std::vector<WideString> forms{WideString(rest)};
    for (WideChar end : {WideChar('?'), WideChar('#')}) {
        size_t at = rest.find(end);
        if (at != WideStringView::npos) {
            AddUnique(forms, WideString(rest.substr(0, at)));
        }
    }
    std::vector<WideString> decoded;
    for (const WideString& form : forms) {
        AddUnique(decoded, form);
        if (form.find('%') != WideString::npos) {
            AddUnique(decoded, PercentDecodedBytewise(form));
            if (auto utf8 = PercentDecodedUtf8(form)) {
                AddUnique(decoded, *utf8);
            }
        }
    }
    for (const WideString& form : decoded) {
        size_t slashes = 0;
        while (slashes < form.size() && (form[slashes] == '/' || form[slashes] == '\\')) {
            ++slashes;
        }
        const WideString path = form.substr(slashes);
        if (path.size() >= 2 && IsAsciiLetter(path[0]) && (path[1] == ':' || path[1] == '|')) {
            AddUnique(out, WideString{path[0], WideChar(':')} + path.substr(2));
            continue;
        }
        AddUnique(out, path);  // relative to the current directory
        if (slashes == 1 || slashes >= 3) {
            AddUnique(out, ZOBRIK_WIDE("\\") + path);  // rooted on the current drive
        }
        if (slashes >= 2) {
            AddUnique(out, ZOBRIK_WIDE("\\\\") + path);  // a host and its share
        }
    }
    return out;
}

std::vector<WideString> PathSpellings(WideStringView text) {
    std::vector<WideString> out;
    const WideStringView trimmed = TrimBlanks(text);
    std::vector<WideString> forms{WideString(trimmed)};
    if (!trimmed.empty() && trimmed.front() == '"') {
        size_t close = trimmed.find('"', 1);
        forms.push_back(WideString(trimmed.substr(1, close == WideStringView::npos ? close : close - 1)));
    }
    WideString unquoted;
    std::copy_if(trimmed.begin(), trimmed.end(), std::back_inserter(unquoted), [](WideChar c) { return c != '"'; });
    forms.push_back(std::move(unquoted));
    for (const WideString& form : forms) {
        WideStringView spelling = TrimBlanks(form);
        AddUnique(out, WideString(spelling));
        while (StartsWithIgnoringAsciiCase(spelling, u"url:")) {
            spelling = TrimBlanks(spelling.substr(4));
            AddUnique(out, WideString(spelling));
        }
        for (WideString& path : FileUrlPaths(spelling)) {
            AddUnique(out, WideString(TrimBlanks(path)));
        }
    }
    return out;
}

WideString LocalSpelling(WideStringView path, const std::vector<WideString>& machineNames) {
    WideString out(path);
    std::replace(out.begin(), out.end(), WideChar('/'), WideChar('\\'));
    // Each round removes at least one character, so this ends.
    while (true) {
        const WideStringView view = out;
        if (StartsWithDevicePrefix(view)) {
            WideStringView rest = view.substr(4);
            if (StartsWithIgnoringAsciiCase(rest, u"GLOBALROOT\\")) {
                rest.remove_prefix(10);
                bool dosDevices = false;
                for (std::u16string_view link : {u"\\??\\", u"\\GLOBAL??\\", u"\\DosDevices\\"}) {
                    if (StartsWithIgnoringAsciiCase(rest, link)) {
                        rest.remove_prefix(link.size());
                        dosDevices = true;
                        break;
                    }
                }
                while (!rest.empty() && rest.front() == '\\') {
                    rest.remove_prefix(1);
                }
                if (StartsWithIgnoringAsciiCase(rest, u"Device\\Mup\\")) {
                    // The redirector of UNC paths: "\Device\Mup\server\share".
                    out = ZOBRIK_WIDE("\\\\") + WideString(rest.substr(11));
                    continue;
                }
                if (!dosDevices) {
                    // An object of the whole namespace ("\Device\HarddiskVolume3").
                    return ZOBRIK_WIDE("\\\\?\\GLOBALROOT\\") + WideString(rest);
                }
            }
            if (StartsWithIgnoringAsciiCase(rest, u"UNC\\")) {
                out = ZOBRIK_WIDE("\\\\") + WideString(rest.substr(4));
                continue;
            }
            const size_t nameEnd = std::min(rest.find('\\'), rest.size());
            const bool drive = nameEnd == 2 && IsAsciiLetter(rest[0]) && rest[1] == ':';
            if (!drive && nameEnd > 0 && !StartsWithDevicePrefix(rest)) {
                // A device of its own: "Volume{GUID}", "HarddiskVolume3",
                // Wine's "unix" (the Unix root), a pipe.
                return ZOBRIK_WIDE("\\\\?\\") + WideString(rest);
            }
            out = WideString(rest);
            continue;
        }
        if (view.size() > 2 && view[0] == '\\' && view[1] == '\\') {
            const size_t hostEnd = view.find('\\', 2);
            if (hostEnd != WideStringView::npos && IsThisMachine(view.substr(2, hostEnd - 2), machineNames)) {
                const size_t shareEnd = std::min(view.find('\\', hostEnd + 1), view.size());
                const WideStringView share = view.substr(hostEnd + 1, shareEnd - hostEnd - 1);
                if (share.size() == 2 && IsAsciiLetter(share[0]) &&
                    (share[1] == '$' || share[1] == ':' || share[1] == '|')) {
                    WideString drive{share[0], WideChar(':'), WideChar('\\')};
                    out = drive + WideString(view.substr(std::min(shareEnd + 1, view.size())));
                    continue;
                }
            }
        }
        return out;
    }
}

WideString LocalSpelling(WideStringView path, const MachinePaths& machine) {
    // The names only tell which hosts are this machine: they are asked for
    // only when the path, read without them, still names a host.
    WideString local = LocalSpelling(path, std::vector<WideString>());
    const bool namesHost = local.size() > 2 && local[0] == '\\' && local[1] == '\\' && DeviceRoot(local).empty();
    return namesHost ? LocalSpelling(path, machine.MachineNames()) : local;
}

WideStringView DeviceRoot(WideStringView path) {
    if (!StartsWithDevicePrefix(path)) {
        return {};
    }
    size_t end = 4;
    auto componentEnd = [&path](size_t from) { return std::min(path.find('\\', from), path.size()); };
    if (StartsWithIgnoringAsciiCase(path.substr(end), u"GLOBALROOT\\")) {
        end += 11;
        const size_t first = componentEnd(end);
        if (first - end == 6 && StartsWithIgnoringAsciiCase(path.substr(end), u"Device") && first < path.size()) {
            end = first + 1;
        }
    }
    end = componentEnd(end);
    return end > 4 && path[end - 1] != '\\' ? path.substr(0, end) : WideStringView();
}

WideStringView PathRoot(WideStringView path) {
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':' && (path.size() == 2 || path[2] == '\\')) {
        return path.substr(0, 2);
    }
    if (StartsWithDevicePrefix(path)) {
        return DeviceRoot(path);
    }
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\') {
        const size_t serverEnd = path.find('\\', 2);
        if (serverEnd == WideStringView::npos || serverEnd + 1 >= path.size() || path[serverEnd + 1] == '\\') {
            return {};
        }
        return path.substr(0, std::min(path.find('\\', serverEnd + 1), path.size()));
    }
    return {};
}

std::vector<WideString> PathReadings(WideStringView path) {
    const WideStringView root = PathRoot(path);
    if (root.empty()) {
        return {WideString(path)};
    }
    const std::vector<WideStringView> components = Components(path.substr(root.size()));
    std::vector<WideString> out;
    for (bool cutStreams : {true, false}) {
        for (bool dotsGoUp : {false, true}) {
            std::vector<WideString> kept;
            for (WideStringView component : components) {
                if (component == ZOBRIK_WIDE(".")) {
                    continue;
                }
                if (component == ZOBRIK_WIDE("..")) {
                    PopBack(kept);
                    continue;
                }
                WideStringView name = cutStreams ? component.substr(0, component.find(':')) : component;
                const size_t dots = size_t(std::count(name.begin(), name.end(), WideChar('.')));
                while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
                    name.remove_suffix(1);
                }
                if (!name.empty()) {
                    kept.emplace_back(name);
                } else if (dots >= 2 && dotsGoUp) {
                    PopBack(kept);
                }
            }
            AddUnique(out, Joined(root, kept));
        }
    }
    return out;
}

bool IsSameOrBelow(WideStringView path, WideStringView directory, const MachinePaths& machine) {
    directory = WithoutTrailingSeparators(directory);
    path = WithoutTrailingSeparators(path);
    if (directory.empty() || path.size() < directory.size()) {
        return false;
    }
    if (!machine.SameIgnoringCase(path.substr(0, directory.size()), directory)) {
        return false;
    }
    return path.size() == directory.size() || path[directory.size()] == '\\';
}

WideString WithLongNames(const WideString& path, const MachinePaths& machine) {
    const WideStringView root = PathRoot(path);
    if (root.empty()) {
        return path;
    }
    // Whether a path exists depends on its parent existing, so the walk
    // stops at the first part that does not.
    WideString resolved;
    size_t resolvedEnd = 0;
    for (size_t end = root.size(); end < path.size();) {
        size_t next = path.find('\\', end + 1);
        if (next == WideString::npos) {
            next = path.size();
        }
        auto longPath = machine.LongPath(path.substr(0, next));
        if (!longPath) {
            break;
        }
        resolved = std::move(*longPath);
        resolvedEnd = next;
        end = next;
    }
    if (resolvedEnd == 0) {
        return path;
    }
    return WideString(WithoutTrailingSeparators(resolved)) + path.substr(resolvedEnd);
}

bool IsLocalVolumeDevice(WideStringView root) {
    WideStringView name = root.substr(4);
    if (StartsWithIgnoringAsciiCase(name, u"GLOBALROOT\\SystemRoot") && name.size() == 21) {
        return true;
    }
    if (StartsWithIgnoringAsciiCase(name, u"GLOBALROOT\\Device\\")) {
        name.remove_prefix(18);
    }
    for (std::u16string_view local : {u"Volume{", u"HarddiskVolume", u"CdRom", u"unix"}) {
        if (StartsWithIgnoringAsciiCase(name, local)) {
            return local != u"unix" || name.size() == 4;
        }
    }
    return false;
}

}  // namespace zobrik
