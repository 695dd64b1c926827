#include "exec_policy.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "include/ascii_text.h"
#include "url_normalisation.h"

namespace zobrik {

namespace {

// URL schemes that the exec channel never hands to the shell. Each opens
// something that is a known way into the machine, and none opens anything a
// remote application has to show on the client.
constexpr const WideChar* kRefusedSchemes[] = {
    // Support Diagnostic Tool: runs troubleshooters with arguments taken from
    // the link, which ran code of the sender's choosing ("Follina").
    ZOBRIK_WIDE("ms-msdt"),
    // Windows Search over a location the link chooses: shows the files of a
    // remote share as if they were local, to lure the user into running one.
    ZOBRIK_WIDE("search-ms"),
    // The older name of search-ms, same behaviour.
    ZOBRIK_WIDE("search"),
    // Office's launcher: its arguments reach the command lines of Office and
    // Teams (argument injection, code execution).
    ZOBRIK_WIDE("ms-officecmd"),
    // Cloud Experience Host: Windows set-up and account pages, which ask for
    // credentials and change the set-up.
    ZOBRIK_WIDE("ms-cxh"),
    // The same pages shown full screen.
    ZOBRIK_WIDE("ms-cxh-full"),
    // App Installer: installs an app package straight from a web address;
    // used to deliver malware until Microsoft turned it off by default.
    ZOBRIK_WIDE("ms-appinstaller"),
    // Script text that the registered handler runs; never a document.
    ZOBRIK_WIDE("javascript"),
    ZOBRIK_WIDE("vbscript"),
    // Explorer's namespace: special folders, control panel items and any
    // COM object by its class id ("shell:::{...}").
    ZOBRIK_WIDE("shell"),
    // Compiled help (CHM) through its storage protocols: help files run
    // scripts, and these links open them from anywhere.
    ZOBRIK_WIDE("ms-its"),
    ZOBRIK_WIDE("its"),
    ZOBRIK_WIDE("mk"),
    // Help and Support Center: its links have run commands.
    ZOBRIK_WIDE("hcp"),
};

// Characters that show as nothing or as a blank: C0 and C1 controls, space,
// DEL, no-break and ideographic spaces, soft hyphen, zero-width and bidi
// formatting characters, the byte order mark.
bool IsBlankOrInvisible(WideChar c) {
    const uint16_t u = uint16_t(c);
    return u <= 0x20 || (u >= 0x7F && u <= 0xA0) || u == 0xAD || u == 0x034F || u == 0x061C || u == 0x180E ||
           (u >= 0x200B && u <= 0x200F) || (u >= 0x2028 && u <= 0x202F) || (u >= 0x2060 && u <= 0x206F) ||
           u == 0x3000 || u == 0xFEFF;
}

WideStringView TrimBlanks(WideStringView text) {
    while (!text.empty() && IsBlankOrInvisible(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankOrInvisible(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Where the text proper begins: after blanks, invisible characters and quotes.
size_t LeadEnd(WideStringView text, size_t from) {
    while (from < text.size() && (IsBlankOrInvisible(text[from]) || text[from] == '"')) {
        ++from;
    }
    return from;
}

void AddUnique(std::vector<WideString>& list, WideString item) {
    if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
        list.push_back(std::move(item));
    }
}

// --- Percent-escapes ---

// The byte of a "%XX" escape at `i`, or -1.
int EscapedByte(WideStringView text, size_t i) {
    if (i + 2 >= text.size() || text[i] != '%') {
        return -1;
    }
    int high = HexDigitValue(text[i + 1]);
    int low = HexDigitValue(text[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Every escape as the unit of the same value; the text ends at an escaped NUL.
WideString DecodeBytewise(WideStringView text) {
    WideString out;
    for (size_t i = 0; i < text.size(); ++i) {
        int byte = EscapedByte(text, i);
        if (byte < 0) {
            out += text[i];
            continue;
        }
        if (byte == 0) {
            break;
        }
        out += WideChar(byte);
        i += 2;
    }
    return out;
}

void AppendCodePoint(WideString& out, uint32_t cp) {
    if (cp < 0x10000) {
        out += WideChar(cp);
    } else {
        cp -= 0x10000;
        out += WideChar(0xD800 + (cp >> 10));
        out += WideChar(0xDC00 + (cp & 0x3FF));
    }
}

// Runs of escapes read as UTF-8; nullopt when a run is no valid UTF-8. The
// text ends at an escaped NUL.
std::optional<WideString> DecodeUtf8(WideStringView text) {
    WideString out;
    size_t i = 0;
    while (i < text.size()) {
        int byte = EscapedByte(text, i);
        if (byte < 0) {
            out += text[i++];
            continue;
        }
        if (byte == 0) {
            return out;
        }
        i += 3;
        if (byte < 0x80) {
            out += WideChar(byte);
            continue;
        }
        int length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 0;
        if (length == 0 || byte > 0xF4) {
            return std::nullopt;
        }
        uint32_t cp = uint32_t(byte) & (0x7Fu >> length);
        for (int k = 1; k < length; ++k) {
            int next = EscapedByte(text, i);
            if (next < 0x80 || next > 0xBF) {
                return std::nullopt;
            }
            cp = cp << 6 | (uint32_t(next) & 0x3F);
            i += 3;
        }
        const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return std::nullopt;
        }
        AppendCodePoint(out, cp);
    }
    return out;
}

// --- Host names ---

// One part of an inet_aton address: decimal, octal with a leading 0, or
// hexadecimal with 0x.
std::optional<uint64_t> AddressPart(WideStringView part) {
    int base = 10;
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        part.remove_prefix(2);
    } else if (part.size() > 1 && part[0] == '0') {
        base = 8;
        part.remove_prefix(1);
    }
    if (part.empty() || part.size() > 12) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (WideChar c : part) {
        int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * uint64_t(base) + uint64_t(digit);
    }
    return value;
}

// An IPv4 address in any form that inet_aton reads: one to four parts, the
// last filling the bits the parts before it leave.
std::optional<uint32_t> Ipv4Address(WideStringView host) {
    std::vector<uint64_t> parts;
    size_t start = 0;
    while (true) {
        size_t dot = host.find('.', start);
        auto part = AddressPart(host.substr(start, dot == WideStringView::npos ? WideStringView::npos : dot - start));
        if (!part || parts.size() == 4) {
            return std::nullopt;
        }
        parts.push_back(*part);
        if (dot == WideStringView::npos) {
            break;
        }
        start = dot + 1;
    }
    const unsigned lastBits = 32 - 8 * unsigned(parts.size() - 1);
    uint32_t address = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] > 0xFF) {
            return std::nullopt;
        }
        address |= uint32_t(parts[i]) << (24 - 8 * i);
    }
    if (parts.back() >= (uint64_t(1) << lastBits)) {
        return std::nullopt;
    }
    return address | uint32_t(parts.back());
}

// A dotted IPv4 address of four decimal parts, as the last 32 bits of an
// IPv6 address are written ("::ffff:192.168.1.5").
std::optional<uint32_t> DottedQuad(WideStringView text) {
    if (std::count(text.begin(), text.end(), WideChar('.')) != 3 ||
        !std::all_of(text.begin(), text.end(), [](WideChar c) { return c == '.' || IsAsciiDigit(c); })) {
        return std::nullopt;
    }
    return Ipv4Address(text);
}

using Ipv6 = std::array<uint16_t, 8>;

// An IPv6 address of eight groups, "::" standing for zeros, a dotted IPv4
// address allowed as its last two.
std::optional<Ipv6> Ipv6Groups(WideStringView text) {
    std::vector<uint16_t> head, tail;
    const size_t gap = text.find(WideStringView(ZOBRIK_WIDE("::")));
    auto parse = [](WideStringView part, std::vector<uint16_t>& out, bool last) {
        if (part.empty()) {
            return true;
        }
        size_t start = 0;
        while (true) {
            size_t colon = part.find(':', start);
            WideStringView group =
                part.substr(start, colon == WideStringView::npos ? WideStringView::npos : colon - start);
            if (last && colon == WideStringView::npos && group.find('.') != WideStringView::npos) {
                auto quad = DottedQuad(group);
                if (quad) {
                    out.push_back(uint16_t(*quad >> 16));
                    out.push_back(uint16_t(*quad));
                }
                return quad.has_value();
            }
            if (group.empty() || group.size() > 4) {
                return false;
            }
            unsigned value = 0;
            for (WideChar c : group) {
                int digit = HexDigitValue(c);
                if (digit < 0) {
                    return false;
                }
                value = value * 16 + unsigned(digit);
            }
            out.push_back(uint16_t(value));
            if (colon == WideStringView::npos) {
                return true;
            }
            start = colon + 1;
        }
    };
    Ipv6 groups{};
    if (gap == WideStringView::npos) {
        if (!parse(text, head, true) || head.size() != 8) {
            return std::nullopt;
        }
        std::copy(head.begin(), head.end(), groups.begin());
        return groups;
    }
    if (!parse(text.substr(0, gap), head, false) || !parse(text.substr(gap + 2), tail, true) ||
        head.size() + tail.size() > 7) {
        return std::nullopt;
    }
    std::copy(head.begin(), head.end(), groups.begin());
    std::copy(tail.begin(), tail.end(), groups.end() - std::ptrdiff_t(tail.size()));
    return groups;
}

// An IPv6 address as a host: in brackets, with a "%zone", or as a name of
// ipv6-literal.net, where '-' stands for ':' and 's' starts the zone. The
// zone is left out: each of the machine's interfaces is the machine.
std::optional<Ipv6> Ipv6Address(WideStringView host) {
    WideString text(host);
    const std::u16string_view literalDomain = u".ipv6-literal.net";
    WideChar zoneMark = '%';
    if (text.size() > literalDomain.size() &&
        StartsWithIgnoringAsciiCase(WideStringView(text).substr(text.size() - literalDomain.size()), literalDomain)) {
        text.resize(text.size() - literalDomain.size());
        std::replace(text.begin(), text.end(), WideChar('-'), WideChar(':'));
        std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
        zoneMark = 's';
    } else if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    const size_t zone = text.find(zoneMark);
    if (zone != WideString::npos) {
        text.resize(zone);
    }
    return Ipv6Groups(text);
}

// An IP address of either kind, IPv4 ones mapped into IPv6 (::ffff:a.b.c.d).
std::optional<Ipv6> IpAddress(WideStringView host) {
    if (auto v4 = Ipv4Address(host)) {
        return Ipv6{0, 0, 0, 0, 0, 0xFFFF, uint16_t(*v4 >> 16), uint16_t(*v4)};
    }
    return Ipv6Address(host);
}

// Addresses that always reach this machine: the loopbacks (127.0.0.0/8 and
// ::1) and the unspecified addresses (0.0.0.0 and ::), which some stacks
// connect to the machine itself.
bool IsOwnByDefinition(const Ipv6& address) {
    const bool zeroHead = std::all_of(address.begin(), address.begin() + 5, [](uint16_t v) { return v == 0; });
    if (!zeroHead) {
        return false;
    }
    const bool v6 = address[5] == 0 && address[6] == 0 && (address[7] == 0 || address[7] == 1);
    const bool v4 = address[5] == 0xFFFF && ((address[6] >> 8) == 127 || (address[6] == 0 && address[7] == 0));
    return v6 || v4;
}

WideStringView WithoutTrailingDots(WideStringView name) {
    while (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    return name;
}

// --- Paths ---

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

// The staging directory's reading with long names, and its identity when it
// exists.
struct Staging {
    WideString path;
    std::optional<FileIdentity> identity;
};

// The staging directory as the machine resolves it; nullopt when it has no root.
std::optional<WideString> ResolvedDirectory(WideStringView directory, const MachinePaths& machine) {
    const auto& names = machine.MachineNames();
    WideString path = LocalSpelling(directory, names);
    if (path.empty()) {
        return std::nullopt;
    }
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, names);
    }
    WideString reading = PathReadings(path).front();
    if (PathRoot(reading).empty()) {
        return std::nullopt;
    }
    return PathReadings(LocalSpelling(WithLongNames(reading, machine), names)).front();
}

// Whether the machine may be asked about the directories below `root`: those
// of its own drives, devices and shares; never those of another host, which
// cannot hold the staging directory and would be contacted.
bool IsAskable(WideStringView root, const std::vector<WideString>& names) {
    if (root.size() == 2 || !DeviceRoot(root).empty()) {
        return true;
    }
    const WideStringView host = root.substr(2, root.find('\\', 2) - 2);
    return root.size() > 2 && IsThisMachine(host, names);
}

enum class Passage { Beside, Through, Unknown };

// Whether one of the existing directories along `reading`, from its root
// directory on, is the staging directory. Unknown when the root is a device
// whose identity cannot be taken and the reading goes below it: what it
// leads to cannot be told, so it may be the staging directory.
Passage PassesThrough(const WideString& reading, const FileIdentity& staging, const MachinePaths& machine) {
    const WideStringView root = PathRoot(reading);
    const size_t rootEnd = root.size() + 1;  // the root directory, with its '\'
    // A directory can only exist when its parent does, so the walk stops at
    // the first one that does not.
    for (size_t end = std::min(rootEnd, reading.size());;) {
        auto identity = machine.DirectoryIdentity(reading.substr(0, end));
        if (!identity) {
            const bool unknownDevice = end == rootEnd && rootEnd < reading.size() && !DeviceRoot(root).empty();
            return unknownDevice ? Passage::Unknown : Passage::Beside;
        }
        if (*identity == staging) {
            return Passage::Through;
        }
        if (end >= reading.size()) {
            return Passage::Beside;
        }
        end = std::min(reading.find('\\', end + 1), reading.size());
    }
}

bool IsInDirectory(const WideString& candidate, const Staging& staging, const MachinePaths& machine) {
    const auto& names = machine.MachineNames();
    WideString path = LocalSpelling(candidate, names);
    if (auto full = machine.FullPath(path)) {
        path = LocalSpelling(*full, names);
    }
    for (const WideString& reading : PathReadings(path)) {
        const WideStringView root = PathRoot(reading);
        if (root.empty()) {
            continue;
        }
        if (staging.identity && IsAskable(root, names) &&
            PassesThrough(reading, *staging.identity, machine) != Passage::Beside) {
            return true;
        }
        if (!machine.SameIgnoringCase(root, PathRoot(staging.path))) {
            continue;
        }
        for (const WideString& resolved : PathReadings(LocalSpelling(WithLongNames(reading, machine), names))) {
            if (IsSameOrBelow(resolved, staging.path, machine)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::string_view ExecText(std::string_view message) noexcept { return message.substr(0, message.find('\0')); }

std::optional<WideString> LengthRefusal(std::string_view text) {
    if (text.size() <= kLongestExecText) {
        return std::nullopt;
    }
    return Wide(u"text longer than 32767 bytes");
}

WideString UrlScheme(WideStringView text) {
    size_t i = LeadEnd(text, 0);
    while (StartsWithIgnoringAsciiCase(text.substr(i), u"url:")) {
        i = LeadEnd(text, i + 4);
    }
    WideString scheme;
    for (; i < text.size(); ++i) {
        const WideChar c = text[i];
        if (c == ':') {
            return scheme.size() >= 2 ? scheme : WideString();
        }
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
            return {};
        }
        scheme += AsciiLower(c);
    }
    return {};
}

bool IsRefusedScheme(WideStringView scheme) {
    return std::any_of(std::begin(kRefusedSchemes), std::end(kRefusedSchemes),
                       [&](const WideChar* refused) { return scheme == refused; });
}

std::optional<WideString> SchemeRefusal(WideStringView text) {
    const WideString scheme = UrlScheme(text);
    if (!scheme.empty() && IsRefusedScheme(scheme)) {
        return Wide(u"scheme ") + scheme + Wide(u": is not allowed");
    }
    const size_t start = LeadEnd(text, 0);
    if (text.substr(start, 2) == ZOBRIK_WIDE("::")) {
        return Wide(u"shell namespace names are not allowed");
    }
    return UrlCharacterRefusal(text);
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
            AddUnique(decoded, DecodeBytewise(form));
            if (auto utf8 = DecodeUtf8(form)) {
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

bool IsThisMachine(WideStringView host, const std::vector<WideString>& machineNames) {
    host = WithoutTrailingDots(host);
    if (host.empty()) {
        return false;
    }
    // "localhost" and the names below it (RFC 6761) are the loopback.
    const std::u16string_view localhost = u"localhost";
    if (SameIgnoringAsciiCase(host, ZOBRIK_WIDE("localhost")) ||
        (host.size() > localhost.size() + 1 && host[host.size() - localhost.size() - 1] == '.' &&
         SameIgnoringAsciiCase(host.substr(host.size() - localhost.size()), ZOBRIK_WIDE("localhost")))) {
        return true;
    }
    const auto address = IpAddress(host);
    if (address && IsOwnByDefinition(*address)) {
        return true;
    }
    for (const WideString& name : machineNames) {
        const WideStringView own = WithoutTrailingDots(name);
        if (own.empty()) {
            continue;
        }
        if (SameIgnoringAsciiCase(host, own)) {
            return true;
        }
        // Multicast DNS answers "<name>.local" with this machine too.
        const std::u16string_view local = u".local";
        if (host.size() == own.size() + local.size() && SameIgnoringAsciiCase(host.substr(0, own.size()), own) &&
            StartsWithIgnoringAsciiCase(host.substr(own.size()), local)) {
            return true;
        }
        // Addresses compare as numbers: "192.168.1.5", "0xc0a80105" and
        // "::ffff:c0a8:105" are one address.
        if (address && IpAddress(own) == address) {
            return true;
        }
    }
    return false;
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

WideStringView TrimmedExecText(WideStringView text) {
    text.remove_prefix(LeadEnd(text, 0));
    while (!text.empty() && (IsBlankOrInvisible(text.back()) || text.back() == '"')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<WideString> PathRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine) {
    auto directory = ResolvedDirectory(stagingDirectory, machine);
    if (!directory) {
        return std::nullopt;
    }
    Staging staging{std::move(*directory), std::nullopt};
    staging.identity = machine.DirectoryIdentity(staging.path);
    std::vector<WideString> texts{WideString(text)};
    if (auto expanded = machine.ExpandEnvironment(texts.front())) {
        AddUnique(texts, std::move(*expanded));
    }
    for (const WideString& each : texts) {
        for (const WideString& spelling : PathSpellings(each)) {
            bool inside = IsInDirectory(spelling, staging, machine);
            if (!inside && spelling.find('%') != WideString::npos) {
                auto expanded = machine.ExpandEnvironment(spelling);
                inside = expanded && *expanded != spelling && IsInDirectory(*expanded, staging, machine);
            }
            if (inside) {
                return Wide(u"names a staged attachment");
            }
        }
    }
    return std::nullopt;
}

std::optional<WideString> TextRefusal(WideStringView text, WideStringView stagingDirectory,
                                      const MachinePaths& machine) {
    if (auto refusal = SchemeRefusal(text)) {
        return refusal;
    }
    if (auto expanded = machine.ExpandEnvironment(WideString(text))) {
        if (auto refusal = SchemeRefusal(*expanded)) {
            return refusal;
        }
    }
    return PathRefusal(text, stagingDirectory, machine);
}

}  // namespace zobrik
