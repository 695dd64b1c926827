#include "exec_text.h"

#include <algorithm>
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

// Where the text proper begins: after blanks, invisible characters and quotes.
size_t LeadEnd(WideStringView text, size_t from) {
    while (from < text.size() && (IsBlankOrInvisible(text[from]) || text[from] == '"')) {
        ++from;
    }
    return from;
}

}  // namespace

WideStringView TrimBlanks(WideStringView text) {
    while (!text.empty() && IsBlankOrInvisible(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlankOrInvisible(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

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

bool IsAddressScheme(WideStringView scheme) { return !scheme.empty() && scheme != ZOBRIK_WIDE("file"); }

bool IsPlainAddress(WideStringView text) { return IsAddressScheme(UrlScheme(text)); }

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

WideStringView TrimmedExecText(WideStringView text) {
    text.remove_prefix(LeadEnd(text, 0));
    while (!text.empty() && (IsBlankOrInvisible(text.back()) || text.back() == '"')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace zobrik
