// URLs read the way browsers read them (the WHATWG URL parsing rules), so
// that the exec policy compares what a URL really reaches rather than how it
// is spelled: the scheme in lower case, missing, extra and backward slashes
// after a special scheme ("https:host", "https:/\host"), user names dropped,
// host names %-decoded and mapped to their ASCII (punycode) form, IPv4
// addresses in every number form ("10.1", "0x0a000001", "167772161",
// "012.0.0.1") written as four decimals, IPv6 addresses in their short form,
// default and empty ports removed, "." and ".." path segments applied.
//
// International host names are mapped by the platform (IdnToAscii on
// Windows, libidn2 on Linux) through a DomainToAscii; the parser itself holds
// no mapping tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "include/wide_text.h"

namespace zobrik {

// The UTS #46 mapping of a host name to ASCII ("domain to ASCII" without
// STD3 rules and without length checks, non-transitional).
class DomainToAscii {
public:
    virtual ~DomainToAscii() = default;
    // The ASCII form of `domain` (UTF-8, %-escapes already decoded) in lower
    // case, labels that need it as "xn--..."; nullopt when it has none.
    virtual std::optional<std::string> ToAscii(std::string_view domain) const = 0;
};

// The mapping of this platform: IdnToAscii on Windows, libidn2 elsewhere.
const DomainToAscii& PlatformDomainToAscii();

// What a platform's mapping produced, as DomainToAscii answers it: in lower
// case, and nothing when it holds a NUL or a character outside ASCII.
template <class Units>
std::optional<std::string> LoweredAsciiDomain(const Units& mapped) {
    std::string ascii;
    ascii.reserve(mapped.size());
    for (const auto unit : mapped) {
        const auto code = static_cast<std::make_unsigned_t<decltype(unit)>>(unit);
        if (code == 0 || code >= 0x80) {
            return std::nullopt;
        }
        ascii += code >= 'A' && code <= 'Z' ? char(code + ('a' - 'A')) : char(code);
    }
    return ascii;
}

// A URL as the WHATWG parser leaves it; every text in it is ASCII.
struct UrlRecord {
    std::string scheme;  // lower case, without ':'
    std::string username;
    std::string password;
    std::optional<std::string> host;  // serialised: "[::1]" for IPv6
    std::optional<uint16_t> port;     // none when empty or the scheme's default
    bool opaquePath = false;          // "mailto:..." and other non-special URLs without "//"
    std::vector<std::string> path;    // one item (the whole path) when opaque
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

// `url` parsed as a browser parses it without a base URL; nullopt where the
// parser fails. `url` is the text as the shell's target reads it.
std::optional<UrlRecord> ParseUrl(std::string_view utf8Url, const DomainToAscii& idna);
std::optional<UrlRecord> ParseUrl(WideStringView url, const DomainToAscii& idna);

// The serialised URL ("href").
std::string Href(const UrlRecord& url);

// A host as a special URL's host parser reads it ("Ex%41mple.com" →
// "example.com", "0x7f.1" → "127.0.0.1", "[0::1]" → "[::1]"); nullopt when
// the parser fails.
std::optional<std::string> ParseHost(std::string_view utf8Host, const DomainToAscii& idna);

// The URL of an exec text: without the blanks and quotes around it and
// without leading "url:" prefixes, as the shell reads it.
WideStringView UrlPart(WideStringView text);

// The scheme and the ASCII host of a URL text (quotes and blanks around it
// and a leading "url:" skipped); nullopt when the text is no URL a browser
// reads or a path (UrlScheme finds no scheme). The host is empty for URLs
// without one ("mailto:...").
struct SchemeAndHost {
    std::string scheme;
    std::string host;
};
std::optional<SchemeAndHost> UrlSchemeAndHost(WideStringView text, const DomainToAscii& idna = PlatformDomainToAscii());

// The forms of a URL text that the policy's allow and deny lists are matched
// against: the serialised URL without user name and password, with the trailing
// dots of a host name removed; an IPv4-mapped IPv6 host ("[::ffff:a00:1]")
// also as its IPv4 address; a "mailto:" URL as one "mailto:local@domain"
// form per recipient (in the path and in to=, cc= and bcc= fields, %-escapes
// decoded, split at ',' and ';'). nullopt when the parser fails.
std::optional<std::vector<WideString>> UrlPolicyForms(WideStringView text, const DomainToAscii& idna);

// "URL contains a quote, space or control character" when `text`, read as a
// URL (it has a scheme other than "file"), holds one of those inside the
// blanks and quotes around it: the shell puts the text into its handler's
// command line in quotes, and a quote inside would end them.
std::optional<WideString> UrlCharacterRefusal(WideStringView text);

}  // namespace zobrik
