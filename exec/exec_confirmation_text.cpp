#include "exec_confirmation_text.h"

#include <algorithm>
#include <string>

#include "exec_text.h"
#include "include/ascii_text.h"
#include "include/utf16_units.h"

namespace zobrik {

namespace {

// A host with each character outside ASCII written as a code, for a host
// that has no ASCII form.
WideString CodedHost(WideStringView host) {
    WideString out;
    for (WideChar c : host) {
        if (uint16_t(c) < 0x80) {
            out += c;
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += ZOBRIK_WIDE("<U+");
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += WideChar(kHex[(uint16_t(c) >> shift) & 0xF]);
        }
        out += WideChar('>');
    }
    return out;
}

// The text as the shell reads a URL, before a browser parses it: without the
// blanks, quotes and "url:" before it, tabs and line breaks left out, '\\'
// read as '/'.
WideString RoughUrl(WideStringView text) {
    WideString url;
    for (WideChar c : UrlPart(text)) {
        if (c != '\t' && c != '\r' && c != '\n') {
            url += c == '\\' ? WideChar('/') : c;
        }
    }
    return url;
}

// The host of an authority ("host", "host:port",
// "[v6]:port"), without the port.
WideStringView WithoutPort(WideStringView authority) {
    if (!authority.empty() && authority.front() == '[') {
        return authority.substr(0, std::min(authority.find(']'), authority.size() - 1) + 1);
    }
    return authority.substr(0, std::min(authority.rfind(':'), authority.size()));
}

// Characters shown as their code: controls, invisible and
// direction-changing characters.
bool IsShownAsCode(uint16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0xA0) || u == 0xAD || u == 0x034F || u == 0x061C || u == 0x115F ||
           u == 0x1160 || u == 0x180E || (u >= 0x2000 && u <= 0x200F) || (u >= 0x2028 && u <= 0x202F) ||
           (u >= 0x205F && u <= 0x206F) || u == 0x3000 || u == 0x3164 || (u >= 0xFE00 && u <= 0xFE0F) || u == 0xFEFF ||
           u == 0xFFA0 || (u >= 0xFFF0 && u <= 0xFFFB);
}

// East Asian wide and fullwidth characters, drawn about twice as wide as a
// Latin letter.
bool IsWide(WideChar c) {
    const uint16_t u = uint16_t(c);
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3) ||
           (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
           (u >= 0xFFE0 && u <= 0xFFE6);
}

// One character of the text as shown: itself, its surrogate pair, or its
// code.
struct Shown {
    WideString text;
    size_t columns = 0;
};

std::vector<Shown> ShownCharacters(WideStringView text) {
    std::vector<Shown> out;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool pair = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        Shown shown{VisibleText(text.substr(i, pair ? 2 : 1)), 0};
        if (shown.text.size() > 2) {
            shown.columns = shown.text.size();  // a code
        } else {
            shown.columns = pair || IsWide(text[i]) ? 2 : 1;
        }
        i += pair ? 1 : 0;
        out.push_back(std::move(shown));
    }
    return out;
}

struct Line {
    WideString text;
    size_t characters = 0;
};

std::vector<Line> BrokenLines(const std::vector<Shown>& characters) {
    std::vector<Line> lines;
    size_t columns = 0;
    for (const Shown& shown : characters) {
        if (lines.empty() || columns + shown.columns > kConfirmationLineColumns) {
            lines.emplace_back();
            columns = 0;
        }
        lines.back().text += shown.text;
        lines.back().characters += 1;
        columns += shown.columns;
    }
    return lines;
}

WideString LeftOutLine(size_t characters) {
    return AsciiToWide("[... " + std::to_string(characters) + " characters not shown ...]");
}

}  // namespace

WideString ConfirmationHeading(WideStringView text, const DomainToAscii& idna) {
    const WideString scheme = UrlScheme(text);
    if (scheme.empty() || scheme == ZOBRIK_WIDE("file")) {
        return {};
    }
    if (const std::optional<SchemeAndHost> reached = UrlSchemeAndHost(text, idna)) {
        std::string heading = reached->scheme + ":";
        if (!reached->host.empty()) {
            heading += "//" + reached->host.substr(0, reached->host.find_last_not_of('.') + 1);
        }
        return VisibleText(AsciiToWide(heading));
    }
    // No browser reads the text: its host as written, in codes where it is
    // not ASCII, so that nothing in it can pass for another name.
    WideString heading = scheme + ZOBRIK_WIDE(":");
    const WideString url = RoughUrl(text);
    WideStringView rest = WideStringView(url).substr(std::min(url.find(':'), url.size()));
    if (rest.substr(0, 3) == ZOBRIK_WIDE("://")) {
        rest.remove_prefix(3);
        WideStringView authority = rest.substr(0, std::min(rest.find_first_of(ZOBRIK_WIDE("/?#")), rest.size()));
        authority.remove_prefix(std::min(authority.rfind('@') + 1, authority.size()));
        WideStringView host = WithoutPort(authority);
        while (!host.empty() && host.back() == '.') {
            host.remove_suffix(1);
        }
        heading += ZOBRIK_WIDE("//") + CodedHost(AsciiLowered(host));
    }
    return VisibleText(heading);
}

std::vector<WideString> ConfirmationTextLines(WideStringView text) {
    std::vector<Line> lines = BrokenLines(ShownCharacters(text));
    std::vector<WideString> out;
    if (lines.size() <= kConfirmationTextLines) {
        for (Line& line : lines) {
            out.push_back(std::move(line.text));
        }
        return out;
    }
    const size_t tailStart = lines.size() - kConfirmationTailLines;
    size_t leftOut = 0;
    for (size_t i = kConfirmationHeadLines; i < tailStart; ++i) {
        leftOut += lines[i].characters;
    }
    for (size_t i = 0; i < kConfirmationHeadLines; ++i) {
        out.push_back(std::move(lines[i].text));
    }
    out.push_back(LeftOutLine(leftOut));
    for (size_t i = tailStart; i < lines.size(); ++i) {
        out.push_back(std::move(lines[i].text));
    }
    return out;
}

WideString ConfirmationMessage(WideStringView text, uint32_t seconds, const DomainToAscii& idna) {
    WideString message = AsciiToWide("A program on the remote computer asks to open this on your computer:\n\n");
    if (WideString heading = ConfirmationHeading(text, idna); !heading.empty()) {
        message += heading + ZOBRIK_WIDE("\n\n");
    }
    for (const WideString& line : ConfirmationTextLines(text)) {
        message += line + ZOBRIK_WIDE("\n");
    }
    message +=
        AsciiToWide("\nOpen it only if you expected this and trust the remote computer. Without an answer within " +
                    std::to_string(seconds) + " seconds it is not opened.");
    return message;
}

WideString VisibleText(WideStringView text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    WideString out;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint16_t u = uint16_t(text[i]);
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(uint16_t(text[i + 1]))) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (!IsShownAsCode(u) && !IsSurrogate(u)) {
            out += text[i];
            continue;
        }
        out += ZOBRIK_WIDE("<U+");
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += WideChar(kHex[(u >> shift) & 0xF]);
        }
        out += WideChar('>');
    }
    return out;
}

}  // namespace zobrik
