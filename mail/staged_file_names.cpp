#include "staged_file_names.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zobrik {

namespace {

constexpr WideChar kReplacement = WideChar('_');

bool IsInvalidFileNameChar(WideChar c) {
    if (uint16_t(c) < 0x20) {
        return true;
    }
    switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '\\': case '|': case '?': case '*':
        return true;
    default:
        return false;
    }
}

WideChar AsciiUpper(WideChar c) { return (c >= 'a' && c <= 'z') ? WideChar(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(WideStringView a, WideStringView b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](WideChar x, WideChar y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// Windows compares file names with its upper-case table; for telling our
// own names apart, folding ASCII and Latin-1 letters is what matters.
WideChar FoldCase(WideChar c) {
    uint16_t u = uint16_t(c);
    if (u >= 'a' && u <= 'z') {
        return WideChar(u - 32);
    }
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) {
        return WideChar(u - 32);
    }
    return c;
}

WideString Folded(WideStringView name) {
    WideString out(name);
    std::transform(out.begin(), out.end(), out.begin(), FoldCase);
    return out;
}

bool IsDeviceDigit(WideChar c) {
    // 0-9 and the superscript digits one, two and three.
    return (c >= '0' && c <= '9') || c == WideChar(0x00B9) || c == WideChar(0x00B2) || c == WideChar(0x00B3);
}

WideString Narrowed(const char* ascii) {
    WideString out;
    for (; *ascii; ++ascii) {
        out += WideChar(*ascii);
    }
    return out;
}

// "name (n).ext": the counter goes before the extension; a leading dot
// (".profile") is not an extension.
WideString Numbered(WideStringView name, unsigned n) {
    size_t dot = name.rfind(WideChar('.'));
    if (dot == 0 || dot == WideStringView::npos) {
        dot = name.size();
    }
    WideString out(name.substr(0, dot));
    out += Narrowed((" (" + std::to_string(n) + ")").c_str());
    out += name.substr(dot);
    return out;
}

}  // namespace

WideString AttachmentBaseName(WideStringView fileName) {
    size_t backslash = fileName.rfind(WideChar('\\'));
    if (backslash != WideStringView::npos) {
        fileName.remove_prefix(backslash + 1);
    }
    size_t slash = fileName.rfind(WideChar('/'));
    if (slash != WideStringView::npos) {
        fileName.remove_prefix(slash + 1);
    }
    return WideString(fileName);
}

bool IsReservedDeviceName(WideStringView name) {
    WideStringView stem = name.substr(0, std::min(name.find(WideChar('.')), name.size()));
    while (!stem.empty() && stem.back() == WideChar(' ')) {
        stem.remove_suffix(1);
    }
    static const char* const kThreeLetter[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kThreeLetter) {
        if (EqualsIgnoringAsciiCase(stem, Narrowed(device))) {
            return true;
        }
    }
    if (stem.size() == 4 && IsDeviceDigit(stem[3])) {
        WideStringView prefix = stem.substr(0, 3);
        return EqualsIgnoringAsciiCase(prefix, Narrowed("COM")) || EqualsIgnoringAsciiCase(prefix, Narrowed("LPT"));
    }
    return false;
}

WideString SafeFileName(WideStringView baseName) {
    if (baseName.empty()) {
        return {};
    }
    WideString name(baseName);
    std::replace_if(name.begin(), name.end(), IsInvalidFileNameChar, kReplacement);
    while (!name.empty() && (name.back() == WideChar('.') || name.back() == WideChar(' '))) {
        name.pop_back();
    }
    if (name.empty()) {
        return Narrowed("attachment");
    }
    if (IsReservedDeviceName(name)) {
        name.insert(name.begin(), kReplacement);
    }
    return name;
}

std::vector<WideString> StagedFileNames(const std::vector<MailAttachment>& attachments) {
    std::vector<WideString> names;
    names.reserve(attachments.size());
    std::unordered_set<WideString> taken;                  // folded forms of the names given so far
    std::unordered_map<WideString, unsigned> nextNumber;  // per folded safe name
    for (const MailAttachment& attachment : attachments) {
        WideString safe = SafeFileName(AttachmentBaseName(attachment.fileName ? attachment.fileName : ZOBRIK_WIDE("")));
        WideString name = safe;
        if (!name.empty() && taken.count(Folded(name))) {
            unsigned& n = nextNumber.try_emplace(Folded(safe), 2).first->second;
            do {
                name = Numbered(safe, n++);
            } while (taken.count(Folded(name)));
        }
        taken.insert(Folded(name));
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace zobrik
