#include "staged_file_names.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "include/ascii_text.h"
#include "include/utf16_units.h"

namespace zobrik {

namespace {

constexpr WideChar kReplacement = WideChar('_');

// " (4294967295)", the counter of the largest number.
constexpr size_t kLongestCounterUnits = 13;
static_assert(sizeof(unsigned) <= 4, "a counter has at most ten digits");

// The C0 controls, DEL and the C1 controls. Windows refuses the C0 controls
// in a file name; the others would pass but mean nothing in one.
bool IsControl(WideChar c) {
    if (uint16_t(c) < 0x20) {
        return true;
    }
    return uint16_t(c) >= 0x7F && uint16_t(c) <= 0x9F;
}

// The printable characters Windows refuses in a file name.
bool IsInvalidFileNameChar(WideChar c) {
    switch (c) {
        case '<':
        case '>':
        case ':':
        case '"':
        case '/':
        case '\\':
        case '|':
        case '?':
        case '*':
            return true;
        default:
            return false;
    }
}

// Characters that only change the direction in which the text around them is
// shown: with them "report\u202Efdp.exe" is shown as "reportexe.pdf".
bool IsBidiFormatting(WideChar c) {
    uint16_t u = uint16_t(c);
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

// Characters that Windows' best-fit conversion to an ANSI code page, or a
// compatibility normalisation, turns into a separator, dot, colon or quote,
// or into another character Windows refuses. A program that reads our staged
// path in an ANSI code page would otherwise see a different path: another
// directory, a stream, or a quote that ends its argument early.
bool IsLookAlike(WideChar c) {
    switch (uint16_t(c)) {
        // Full stop: one dot leader, small, fullwidth, halfwidth ideographic and
        // ideographic full stops.
        case 0x2024:
        case 0xFE52:
        case 0xFF0E:
        case 0xFF61:
        case 0x3002:
        // Solidus: acute accent (Greek code page), fraction slash, division
        // slash, box drawing diagonal, big solidus, fullwidth solidus.
        case 0x00B4:
        case 0x2044:
        case 0x2215:
        case 0x2571:
        case 0x29F8:
        case 0xFF0F:
        // Reverse solidus: yen sign (Japanese code page), won sign (Korean code
        // page), set minus, box drawing diagonal, reverse solidus operator, big
        // reverse solidus, small and fullwidth reverse solidus.
        case 0x00A5:
        case 0x20A9:
        case 0x2216:
        case 0x2572:
        case 0x29F5:
        case 0x29F9:
        case 0xFE68:
        case 0xFF3C:
        // Colon: Armenian full stop, ratio, vertical, small and fullwidth colon.
        case 0x0589:
        case 0x2236:
        case 0xFE13:
        case 0xFE55:
        case 0xFF1A:
        // Quotation mark: modifier letter double prime, combining double vertical
        // line above, double prime quotation marks, fullwidth quotation mark.
        case 0x02BA:
        case 0x030E:
        case 0x301D:
        case 0x301E:
        case 0xFF02:
        // The fullwidth forms of * < > ? |.
        case 0xFF0A:
        case 0xFF1C:
        case 0xFF1E:
        case 0xFF1F:
        case 0xFF5C:
            return true;
        default:
            return false;
    }
}

bool IsReplacedInStagedName(WideChar c) {
    return IsInvalidFileNameChar(c) || IsControl(c) || IsBidiFormatting(c) || IsLookAlike(c);
}

// The first `units` units of `text` (all of it when shorter), one unit fewer
// when the cut would separate the halves of a surrogate pair.
WideStringView Head(WideStringView text, size_t units) {
    if (units >= text.size()) {
        return text;
    }
    if (units > 0 && IsHighSurrogate(text[units - 1]) && IsLowSurrogate(text[units])) {
        --units;
    }
    return text.substr(0, units);
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

// Where the extension of `name` starts: at its last dot, but a leading dot
// (".profile") starts no extension; name.size() when there is none.
size_t ExtensionStart(WideStringView name) {
    size_t dot = name.rfind(WideChar('.'));
    if (dot == 0 || dot == WideStringView::npos) {
        dot = name.size();
    }
    return dot;
}

// `name` cut to kMaxFileNameUnits: the stem is shortened and the extension kept
// while it leaves room for at least one unit of stem; a longer extension is
// no extension worth keeping, and the name is cut at its end.
WideString Shortened(WideStringView name) {
    size_t dot = ExtensionStart(name);
    WideStringView extension = name.substr(dot);
    if (extension.size() < kMaxFileNameUnits) {
        WideString out(Head(name.substr(0, dot), kMaxFileNameUnits - extension.size()));
        out += extension;
        return out;
    }
    return WideString(Head(name, kMaxFileNameUnits));
}

bool EndsInDotOrSpace(const WideString& name) {
    return !name.empty() && (name.back() == WideChar('.') || name.back() == WideChar(' '));
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
    // CONIN$ and CONOUT$ open the console's input and output; CLOCK$, a
    // device of DOS, is kept out as well.
    static const char* const kNamedDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kNamedDevices) {
        if (SameIgnoringAsciiCase(stem, AsciiToWide(device))) {
            return true;
        }
    }
    if (stem.size() == 4 && IsDeviceDigit(stem[3])) {
        WideStringView prefix = stem.substr(0, 3);
        return SameIgnoringAsciiCase(prefix, AsciiToWide("COM")) || SameIgnoringAsciiCase(prefix, AsciiToWide("LPT"));
    }
    return false;
}

WideString SafeFileName(WideStringView baseName) {
    if (baseName.empty()) {
        return {};
    }
    WideString name(baseName);
    std::replace_if(name.begin(), name.end(), IsReplacedInStagedName, kReplacement);
    // Shortening can end a name in a dot or a space again or leave a device
    // name's stem, and the prefix can make a name one unit too long. A
    // shortened name fits, and one that starts with the prefix keeps it and
    // is no device name, so the third round at the latest returns.
    for (;;) {
        while (EndsInDotOrSpace(name)) {
            name.pop_back();
        }
        if (name.empty()) {
            return AsciiToWide("attachment");
        }
        if (IsReservedDeviceName(name)) {
            name.insert(name.begin(), kReplacement);
        }
        if (name.size() <= kMaxFileNameUnits) {
            return name;
        }
        name = Shortened(name);
    }
}

WideString NumberedFileName(WideStringView safeName, unsigned n) {
    WideString counter = AsciiToWide(" (" + std::to_string(n) + ")");
    size_t dot = ExtensionStart(safeName);
    WideStringView stem = safeName.substr(0, dot);
    WideStringView extension = safeName.substr(dot);
    // The choice does not depend on n, so that the variants of one name
    // differ in their counters: each ends in its counter, or in it followed
    // by the same extension.
    if (extension.size() + kLongestCounterUnits < kMaxFileNameUnits) {
        stem = Head(stem, kMaxFileNameUnits - counter.size() - extension.size());
    } else {
        // An extension that leaves no room for a stem beside the longest
        // counter is kept no more: the counter goes at the end.
        stem = Head(safeName, kMaxFileNameUnits - counter.size());
        extension = {};
    }
    WideString out(stem);
    out += counter;
    out += extension;
    return out;
}

WideString OfferedFileName(const MailAttachment& attachment) {
    if (!attachment.fileName) {
        return {};
    }
    const WideChar* named = attachment.stagedPath ? attachment.stagedPath : attachment.fileName;
    WideString base = AttachmentBaseName(named);
    base.erase(std::remove_if(base.begin(), base.end(), [](WideChar c) { return IsControl(c) || IsBidiFormatting(c); }),
               base.end());
    return SafeFileName(base);
}

std::vector<WideString> StagedFileNames(const std::vector<MailAttachment>& attachments) {
    std::vector<WideString> names;
    names.reserve(attachments.size());
    std::unordered_set<WideString> taken;                 // folded forms of the names given so far
    std::unordered_map<WideString, unsigned> nextNumber;  // per folded safe name
    for (const MailAttachment& attachment : attachments) {
        WideString safe = SafeFileName(AttachmentBaseName(attachment.fileName ? attachment.fileName : ZOBRIK_WIDE("")));
        WideString name = safe;
        if (!name.empty() && taken.count(Folded(name))) {
            unsigned& n = nextNumber.try_emplace(Folded(safe), 2).first->second;
            do {
                name = NumberedFileName(safe, n++);
            } while (taken.count(Folded(name)));
        }
        taken.insert(Folded(name));
        names.push_back(std::move(name));
    }
    return names;
}

}  // namespace zobrik
