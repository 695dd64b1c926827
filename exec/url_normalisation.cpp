#include "url_normalisation.h"

#include <algorithm>
#include <array>

#include "exec_text.h"
#include "include/ascii_text.h"
#include "include/utf_conversion.h"
#include "percent_decoding.h"

namespace zobrik {

namespace {

using CodePoints = std::u32string;

constexpr char32_t kEnd = 0xFFFFFFFF;  // past the last code point

// --- Text ---

CodePoints ToCodePoints(WideStringView text) {
    CodePoints out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        out += TakeCodePoint(text, i);
    }
    return out;
}

bool IsC0ControlOrSpace(char32_t c) { return c <= 0x20; }
bool IsAlpha(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char32_t c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char32_t Lower(char32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

int HexValue(char32_t c) {
    if (IsDigit(c)) {
        return int(c - '0');
    }
    return c >= 'a' && c <= 'f' ? int(c - 'a' + 10) : c >= 'A' && c <= 'F' ? int(c - 'A' + 10) : -1;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c + 32);
        }
    }
    return text;
}

// --- Percent-encoding ---

enum class EncodeSet { C0Control, Fragment, Query, SpecialQuery, Path, Userinfo };

bool InSet(char32_t c, EncodeSet set) {
    if (c < 0x20 || c > 0x7E) {
        return true;
    }
    auto any = [c](std::string_view list) { return list.find(char(c)) != std::string_view::npos; };
    switch (set) {
        case EncodeSet::C0Control:
            return false;
        case EncodeSet::Fragment:
            return any(" \"<>`");
        case EncodeSet::Query:
            return any(" \"#<>");
        case EncodeSet::SpecialQuery:
            return any(" \"#<>'");
        case EncodeSet::Path:
            return any(" \"#<>?^`{}");
        case EncodeSet::Userinfo:
            return any(" \"#<>?^`{}/:;=@[\\]|");
    }
    return true;
}

void AppendEncoded(std::string& out, char32_t c, EncodeSet set) {
    if (!InSet(c, set)) {
        out += char(c);
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string bytes;
    AppendUtf8(bytes, c);
    for (unsigned char byte : bytes) {
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

std::string ToUtf8(const CodePoints& text) {
    std::string out;
    for (char32_t c : text) {
        AppendUtf8(out, c);
    }
    return out;
}

// --- Hosts ---

std::optional<uint16_t> DefaultPort(std::string_view scheme) {
    if (scheme == "http" || scheme == "ws") {
        return 80;
    }
    if (scheme == "https" || scheme == "wss") {
        return 443;
    }
    if (scheme == "ftp") {
        return 21;
    }
    return std::nullopt;
}

bool IsSpecial(std::string_view scheme) { return DefaultPort(scheme) || scheme == "file"; }

// One number of an IPv4 address: decimal, octal after "0", hexadecimal after
// "0x"; values beyond 2^32 are kept at 2^32 (too big either way).
std::optional<uint64_t> Ipv4Number(std::string_view part) {
    if (part.empty()) {
        return std::nullopt;
    }
    int radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        radix = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        radix = 8;
        part.remove_prefix(1);
    }
    uint64_t value = 0;
    for (char c : part) {
        const int digit = HexValue(char32_t(c));
        if (digit < 0 || digit >= radix) {
            return std::nullopt;
        }
        value = std::min<uint64_t>(value * uint64_t(radix) + uint64_t(digit), uint64_t(1) << 32);
    }
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool EndsInANumber(std::string_view host) {
    std::vector<std::string_view> parts = Split(host, '.');
    if (parts.back().empty()) {
        if (parts.size() == 1) {
            return false;
        }
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    if (!last.empty() && std::all_of(last.begin(), last.end(), [](char c) { return IsDigit(char32_t(c)); })) {
        return true;
    }
    return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
           std::all_of(last.begin() + 2, last.end(), [](char c) { return IsHexDigit(char32_t(c)); });
}

std::optional<uint32_t> ParseIpv4(std::string_view host) {
    std::vector<std::string_view> parts = Split(host, '.');
    if (parts.back().empty() && parts.size() > 1) {
        parts.pop_back();
    }
    if (parts.size() > 4) {
        return std::nullopt;
    }
    std::vector<uint64_t> numbers;
    for (std::string_view part : parts) {
        auto number = Ipv4Number(part);
        if (!number) {
            return std::nullopt;
        }
        numbers.push_back(*number);
    }
    for (size_t i = 0; i + 1 < numbers.size(); ++i) {
        if (numbers[i] > 255) {
            return std::nullopt;
        }
    }
    if (numbers.back() >= uint64_t(1) << (8 * (5 - numbers.size()))) {
        return std::nullopt;
    }
    uint64_t address = numbers.back();
    for (size_t i = 0; i + 1 < numbers.size(); ++i) {
        address += numbers[i] << (8 * (3 - i));
    }
    return uint32_t(address);
}

std::string Ipv4Text(uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

using Ipv6 = std::array<uint16_t, 8>;

// The dotted IPv4 address that ends an IPv6 address ("::ffff:1.2.3.4"): four
// decimal numbers up to 255 without leading zeros, as two pieces.
std::optional<std::array<uint16_t, 2>> Ipv4Tail(std::string_view tail) {
    const std::vector<std::string_view> numbers = Split(tail, '.');
    if (numbers.size() != 4) {
        return std::nullopt;
    }
    uint32_t address = 0;
    for (std::string_view number : numbers) {
        const bool digits = std::all_of(number.begin(), number.end(), [](char c) { return IsDigit(char32_t(c)); });
        if (!digits || number.empty() || number.size() > 3 || (number.size() > 1 && number[0] == '0')) {
            return std::nullopt;
        }
        uint32_t value = 0;
        for (char digit : number) {
            value = value * 10 + uint32_t(digit - '0');
        }
        if (value > 255) {
            return std::nullopt;
        }
        address = address << 8 | value;
    }
    return std::array<uint16_t, 2>{uint16_t(address >> 16), uint16_t(address & 0xFFFF)};
}

// The WHATWG IPv6 parser, "::" and a dotted IPv4 tail included.
std::optional<Ipv6> ParseIpv6(std::string_view input) {
    Ipv6 address{};
    size_t piece = 0;
    std::optional<size_t> compress;
    size_t p = 0;
    auto at = [&](size_t i) { return i < input.size() ? char32_t(input[i]) : kEnd; };
    if (at(p) == ':') {
        if (at(p + 1) != ':') {
            return std::nullopt;
        }
        p += 2;
        compress = ++piece;
    }
    while (at(p) != kEnd) {
        if (piece == 8) {
            return std::nullopt;
        }
        if (at(p) == ':') {
            if (compress) {
                return std::nullopt;
            }
            ++p;
            compress = ++piece;
            continue;
        }
        uint32_t value = 0;
        size_t length = 0;
        while (length < 4 && IsHexDigit(at(p))) {
            value = value * 16 + uint32_t(HexValue(at(p)));
            ++p;
            ++length;
        }
        if (at(p) == '.') {
            auto tail = length == 0 || piece > 6 ? std::nullopt : Ipv4Tail(input.substr(p - length));
            if (!tail) {
                return std::nullopt;
            }
            address[piece++] = (*tail)[0];
            address[piece++] = (*tail)[1];
            break;
        }
        if (at(p) == ':') {
            ++p;
            if (at(p) == kEnd) {
                return std::nullopt;
            }
        } else if (at(p) != kEnd) {
            return std::nullopt;
        }
        address[piece++] = uint16_t(value);
    }
    if (compress) {
        size_t swaps = piece - *compress;
        piece = 7;
        while (piece != 0 && swaps > 0) {
            std::swap(address[piece], address[*compress + swaps - 1]);
            --piece;
            --swaps;
        }
    } else if (piece != 8) {
        return std::nullopt;
    }
    return address;
}

std::string Ipv6Text(const Ipv6& address) {
    // The first longest run of two or more zero pieces becomes "::".
    size_t bestStart = 8, bestLength = 1;
    for (size_t i = 0; i < 8;) {
        size_t length = 0;
        while (i + length < 8 && address[i + length] == 0) {
            ++length;
        }
        if (length > bestLength) {
            bestStart = i;
            bestLength = length;
        }
        i += length == 0 ? 1 : length;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "[";
    for (size_t i = 0; i < 8; ++i) {
        if (i == bestStart) {
            out += i == 0 ? "::" : ":";
            i += bestLength - 1;
            continue;
        }
        std::string piece;
        for (uint16_t value = address[i]; value != 0 || piece.empty(); value >>= 4) {
            piece.insert(piece.begin(), kHex[value & 0xF]);
        }
        out += piece;
        if (i != 7) {
            out += ':';
        }
    }
    return out + "]";
}

bool IsForbiddenHostCodePoint(char c) {
    return c == '\0' || std::string_view("\t\n\r #/:<>?@[\\]^|").find(c) != std::string_view::npos;
}

bool IsForbiddenDomainCodePoint(char c) {
    return IsForbiddenHostCodePoint(c) || (unsigned char)(c) < 0x20 || c == '%' || c == 0x7F;
}

std::optional<std::string> OpaqueHost(const CodePoints& input) {
    std::string out;
    for (char32_t c : input) {
        if (c < 0x80 && IsForbiddenHostCodePoint(char(c))) {
            return std::nullopt;
        }
        AppendEncoded(out, c, EncodeSet::C0Control);
    }
    return out;
}

bool NeedsIdna(std::string_view domain) {
    if (std::any_of(domain.begin(), domain.end(), [](char c) { return (unsigned char)(c) >= 0x80; })) {
        return true;
    }
    for (std::string_view label : Split(domain, '.')) {
        if (label.size() >= 4 && LowerAscii(std::string(label.substr(0, 4))) == "xn--") {
            return true;
        }
    }
    return false;
}

std::optional<std::string> DomainHost(std::string_view utf8Host, const DomainToAscii& idna) {
    // %-decoded bytes that are no UTF-8 become U+FFFD, which IDNA refuses.
    const std::string domain = Utf16ToUtf8(Utf8ToUtf16Lenient(PercentDecoded(utf8Host)));
    std::optional<std::string> ascii = NeedsIdna(domain) ? idna.ToAscii(domain) : LowerAscii(domain);
    if (!ascii || ascii->empty()) {
        return std::nullopt;
    }
    if (std::any_of(ascii->begin(), ascii->end(), IsForbiddenDomainCodePoint)) {
        return std::nullopt;
    }
    if (EndsInANumber(*ascii)) {
        auto address = ParseIpv4(*ascii);
        return address ? std::optional<std::string>(Ipv4Text(*address)) : std::nullopt;
    }
    return ascii;
}

std::optional<std::string> Host(const CodePoints& input, bool special, const DomainToAscii& idna) {
    if (!input.empty() && input.front() == '[') {
        if (input.back() != ']') {
            return std::nullopt;
        }
        const std::string inside = ToUtf8(input.substr(1, input.size() - 2));
        auto address = ParseIpv6(inside);
        return address ? std::optional<std::string>(Ipv6Text(*address)) : std::nullopt;
    }
    if (!special) {
        return OpaqueHost(input);
    }
    return DomainHost(ToUtf8(input), idna);
}

// --- The parser ---

bool IsSingleDot(const std::string& segment) { return segment == "." || LowerAscii(segment) == "%2e"; }

bool IsDoubleDot(const std::string& segment) {
    const std::string lower = LowerAscii(segment);
    return lower == ".." || lower == ".%2e" || lower == "%2e." || lower == "%2e%2e";
}

class Parser {
public:
    Parser(CodePoints input, const DomainToAscii& idna) : input_(std::move(input)), idna_(idna) {}

    std::optional<UrlRecord> Run() {
        if (!Scheme()) {
            return std::nullopt;
        }
        special_ = IsSpecial(url_.scheme);
        if (url_.scheme == "file") {
            return std::nullopt;  // paths are read by the path checks
        }
        if (special_ || (At() == '/' && At(1) == '/')) {
            // A special scheme's authority follows any number of slashes.
            const size_t slashes = special_ ? input_.size() : 2;
            for (size_t skipped = 0; skipped < slashes && (At() == '/' || (special_ && At() == '\\')); ++skipped) {
                ++p_;
            }
            if (!Authority()) {
                return std::nullopt;
            }
            Path();
        } else if (At() != '/') {
            url_.opaquePath = true;
            OpaquePath();
        } else {
            Path();
        }
        QueryAndFragment();
        return std::move(url_);
    }

private:
    char32_t At(size_t ahead = 0) const { return p_ + ahead < input_.size() ? input_[p_ + ahead] : kEnd; }

    bool EndsAuthority(char32_t c) const {
        return c == kEnd || c == '/' || c == '?' || c == '#' || (special_ && c == '\\');
    }
    bool IsSeparator(char32_t c) const { return c == '/' || (special_ && c == '\\'); }

    bool Scheme() {
        if (!IsAlpha(At())) {
            return false;
        }
        while (IsAlpha(At()) || IsDigit(At()) || At() == '+' || At() == '-' || At() == '.') {
            url_.scheme += char(Lower(At()));
            ++p_;
        }
        if (At() != ':') {
            return false;
        }
        ++p_;
        return true;
    }

    bool Authority() {
        size_t end = p_;
        while (!EndsAuthority(end < input_.size() ? input_[end] : kEnd)) {
            ++end;
        }
        CodePoints authority = input_.substr(p_, end - p_);
        p_ = end;
        const size_t at = authority.rfind('@');
        if (at != CodePoints::npos) {
            Credentials(authority.substr(0, at));
            authority.erase(0, at + 1);
            if (authority.empty()) {
                return false;
            }
        }
        return HostAndPort(authority);
    }

    void Credentials(const CodePoints& userinfo) {
        bool passwordSeen = false;
        for (char32_t c : userinfo) {
            if (c == ':' && !passwordSeen) {
                passwordSeen = true;
                continue;
            }
            AppendEncoded(passwordSeen ? url_.password : url_.username, c, EncodeSet::Userinfo);
        }
    }

    bool HostAndPort(const CodePoints& authority) {
        size_t colon = CodePoints::npos;
        bool inBrackets = false;
        for (size_t i = 0; i < authority.size(); ++i) {
            if (authority[i] == '[') {
                inBrackets = true;
            } else if (authority[i] == ']') {
                inBrackets = false;
            } else if (authority[i] == ':' && !inBrackets) {
                colon = i;
                break;
            }
        }
        const CodePoints hostText = authority.substr(0, colon);
        if (hostText.empty() && (special_ || colon != CodePoints::npos)) {
            return false;
        }
        auto host = Host(hostText, special_, idna_);
        if (!host) {
            return false;
        }
        url_.host = std::move(*host);
        if (colon == CodePoints::npos) {
            return true;
        }
        const CodePoints port = authority.substr(colon + 1);
        if (!std::all_of(port.begin(), port.end(), IsDigit)) {
            return false;
        }
        uint32_t value = 0;
        for (char32_t digit : port) {
            value = std::min<uint32_t>(value * 10 + uint32_t(digit - '0'), 65536);
        }
        if (value > 65535) {
            return false;
        }
        if (!port.empty() && DefaultPort(url_.scheme) != uint16_t(value)) {
            url_.port = uint16_t(value);
        }
        return true;
    }

    void Path() {
        if (IsSeparator(At())) {
            ++p_;
        } else if (At() == '?' || At() == '#' || At() == kEnd) {
            if (special_) {
                url_.path.emplace_back();
            }
            return;
        }
        std::string segment;
        while (true) {
            const char32_t c = At();
            if (c == kEnd || IsSeparator(c) || c == '?' || c == '#') {
                const bool last = !IsSeparator(c);
                if (IsDoubleDot(segment)) {
                    if (!url_.path.empty()) {
                        url_.path.pop_back();
                    }
                    if (last) {
                        url_.path.emplace_back();
                    }
                } else if (IsSingleDot(segment)) {
                    if (last) {
                        url_.path.emplace_back();
                    }
                } else {
                    url_.path.push_back(segment);
                }
                segment.clear();
                if (last) {
                    return;
                }
                ++p_;
                continue;
            }
            AppendEncoded(segment, c, EncodeSet::Path);
            ++p_;
        }
    }

    void OpaquePath() {
        std::string path;
        while (At() != kEnd && At() != '?' && At() != '#') {
            AppendEncoded(path, At(), EncodeSet::C0Control);
            ++p_;
        }
        url_.path.push_back(std::move(path));
    }

    void QueryAndFragment() {
        if (At() == '?') {
            ++p_;
            url_.query.emplace();
            while (At() != kEnd && At() != '#') {
                AppendEncoded(*url_.query, At(), special_ ? EncodeSet::SpecialQuery : EncodeSet::Query);
                ++p_;
            }
        }
        if (At() == '#') {
            ++p_;
            url_.fragment.emplace();
            while (At() != kEnd) {
                AppendEncoded(*url_.fragment, At(), EncodeSet::Fragment);
                ++p_;
            }
        }
    }

    CodePoints input_;
    const DomainToAscii& idna_;
    size_t p_ = 0;
    bool special_ = false;
    UrlRecord url_;
};

// The text as the parser gets it: C0 controls and spaces around it removed,
// tabs and line breaks in it left out.
CodePoints Prepared(CodePoints text) {
    const auto start = std::find_if_not(text.begin(), text.end(), IsC0ControlOrSpace);
    text.erase(text.begin(), start);
    while (!text.empty() && IsC0ControlOrSpace(text.back())) {
        text.pop_back();
    }
    text.erase(std::remove_if(text.begin(), text.end(), [](char32_t c) { return c == '\t' || c == '\n' || c == '\r'; }),
               text.end());
    return text;
}

// --- mailto: recipients ---

std::string TrimmedAddress(std::string_view address) {
    while (!address.empty() && (unsigned char)(address.front()) <= 0x20) {
        address.remove_prefix(1);
    }
    while (!address.empty() && (unsigned char)(address.back()) <= 0x20) {
        address.remove_suffix(1);
    }
    const size_t open = address.rfind('<');
    if (open != std::string_view::npos) {
        const size_t close = address.find('>', open);
        address = address.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
    }
    return std::string(address);
}

void AddRecipients(std::vector<std::string>& recipients, std::string_view encoded) {
    std::string decoded = PercentDecoded(encoded);
    std::replace(decoded.begin(), decoded.end(), ';', ',');
    for (std::string_view address : Split(decoded, ',')) {
        std::string trimmed = TrimmedAddress(address);
        if (!trimmed.empty()) {
            recipients.push_back(std::move(trimmed));
        }
    }
}

std::vector<std::string> MailRecipients(const UrlRecord& url) {
    std::vector<std::string> recipients;
    AddRecipients(recipients, url.path.front());
    if (url.query) {
        for (std::string_view field : Split(*url.query, '&')) {
            const size_t equals = field.find('=');
            const std::string name = LowerAscii(PercentDecoded(field.substr(0, equals)));
            if (equals != std::string_view::npos && (name == "to" || name == "cc" || name == "bcc")) {
                AddRecipients(recipients, field.substr(equals + 1));
            }
        }
    }
    return recipients;
}

// "mailto:local@domain" with the domain as a host parser reads it.
std::string RecipientForm(const std::string& address, const DomainToAscii& idna) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos) {
        return "mailto:" + address;
    }
    const std::string domain = address.substr(at + 1);
    std::optional<std::string> host = ParseHost(domain, idna);
    std::string name = host ? *host : LowerAscii(domain);
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return "mailto:" + address.substr(0, at + 1) + name;
}

WideString WideFromUtf8(const std::string& text) { return Utf8ToUtf16Lenient(text); }

// The IPv4 address of an IPv4-mapped IPv6 host ("[::ffff:a00:1]").
std::optional<std::string> MappedIpv4(const std::string& host) {
    if (host.size() < 2 || host.front() != '[') {
        return std::nullopt;
    }
    auto address = ParseIpv6(std::string_view(host).substr(1, host.size() - 2));
    if (!address || !std::all_of(address->begin(), address->begin() + 5, [](uint16_t piece) { return piece == 0; }) ||
        (*address)[5] != 0xFFFF) {
        return std::nullopt;
    }
    return Ipv4Text(uint32_t((*address)[6]) << 16 | (*address)[7]);
}

bool IsShellBreaking(WideChar c) {
    const uint16_t u = uint16_t(c);
    return c == '"' || u <= 0x20 || (u >= 0x7F && u <= 0x9F);
}

}  // namespace

WideStringView UrlPart(WideStringView text) {
    WideStringView url = TrimmedExecText(text);
    while (StartsWithIgnoringAsciiCase(url, u"url:")) {
        url = TrimmedExecText(url.substr(4));
    }
    return url;
}

std::optional<UrlRecord> ParseUrl(WideStringView url, const DomainToAscii& idna) {
    return Parser(Prepared(ToCodePoints(url)), idna).Run();
}

std::optional<UrlRecord> ParseUrl(std::string_view utf8Url, const DomainToAscii& idna) {
    return ParseUrl(WideStringView(Utf8ToUtf16Lenient(utf8Url)), idna);
}

std::optional<std::string> ParseHost(std::string_view utf8Host, const DomainToAscii& idna) {
    return Host(ToCodePoints(Utf8ToUtf16Lenient(utf8Host)), true, idna);
}

std::string Href(const UrlRecord& url) {
    std::string out = url.scheme + ":";
    if (url.host) {
        out += "//";
        if (!url.username.empty() || !url.password.empty()) {
            out += url.username;
            if (!url.password.empty()) {
                out += ":" + url.password;
            }
            out += "@";
        }
        out += *url.host;
        if (url.port) {
            out += ":" + std::to_string(*url.port);
        }
    }
    if (url.opaquePath) {
        out += url.path.front();
    } else {
        if (!url.host && url.path.size() > 1 && url.path.front().empty()) {
            out += "/.";
        }
        for (const std::string& segment : url.path) {
            out += "/" + segment;
        }
    }
    if (url.query) {
        out += "?" + *url.query;
    }
    if (url.fragment) {
        out += "#" + *url.fragment;
    }
    return out;
}

std::optional<SchemeAndHost> UrlSchemeAndHost(WideStringView text, const DomainToAscii& idna) {
    if (UrlScheme(text).empty()) {
        return std::nullopt;  // a path ("C:\x" has no scheme for the shell)
    }
    auto url = ParseUrl(UrlPart(text), idna);
    if (!url) {
        return std::nullopt;
    }
    return SchemeAndHost{url->scheme, url->host.value_or(std::string())};
}

std::optional<std::vector<WideString>> UrlPolicyForms(WideStringView text, const DomainToAscii& idna) {
    auto url = ParseUrl(UrlPart(text), idna);
    if (!url) {
        return std::nullopt;
    }
    std::vector<WideString> forms;
    if (url->scheme == "mailto" && url->opaquePath) {
        for (const std::string& recipient : MailRecipients(*url)) {
            forms.push_back(WideFromUtf8(RecipientForm(recipient, idna)));
        }
        if (!forms.empty()) {
            return forms;
        }
    }
    url->username.clear();
    url->password.clear();
    if (url->host) {
        while (url->host->size() > 1 && url->host->back() == '.') {
            url->host->pop_back();
        }
    }
    forms.push_back(AsciiToWide(Href(*url)));
    if (url->host) {
        if (auto ipv4 = MappedIpv4(*url->host)) {
            url->host = *ipv4;
            forms.push_back(AsciiToWide(Href(*url)));
        }
    }
    return forms;
}

std::optional<WideString> UrlCharacterRefusal(WideStringView text) {
    const WideString scheme = UrlScheme(text);
    if (scheme.empty() || scheme == ZOBRIK_WIDE("file")) {
        return std::nullopt;
    }
    const WideStringView url = UrlPart(text);
    if (std::any_of(url.begin(), url.end(), IsShellBreaking)) {
        return Wide(u"URL contains a quote, space or control character");
    }
    return std::nullopt;
}

}  // namespace zobrik
