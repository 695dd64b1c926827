// Zobrik mail addresses: a recipient (display name and address), a parser for
// the usual "Name <address>" notation and a plain sanity check of addresses.
//
// Header-only, C++17 standard library only.
//
// The plug-in hands every address to the mail program as "SMTP:" + address,
// so an address must be a bare Internet mail address ("ann@example.com"),
// without a name, angle brackets or an address-type prefix.
//
// The check is deliberately simple: it catches typing and quoting mistakes
// (a missing '@', a name pasted into the address, a stray comma) and is not a
// full RFC 5322 parser. Quoted local parts ("a b"@example.com) and address
// literals (user@[192.0.2.1]) are refused; bytes of 0x80 and above (UTF-8,
// internationalised addresses) are accepted.
//
//   zobrik::sdk::Recipient r = zobrik::sdk::ParseRecipient("Ann Lee <ann@example.com>");
//   // r.displayName == "Ann Lee", r.address == "ann@example.com"
//   std::string problem = zobrik::sdk::AddressProblem("ann.example.com");
//   // problem == "it has no '@'"
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace zobrik::sdk {

// One recipient record of a mail request.
struct Recipient {
    std::string displayName;  // UTF-8, may be empty
    std::string address;      // UTF-8, the bare address

    bool operator==(const Recipient& other) const {
        return displayName == other.displayName && address == other.address;
    }
    bool operator!=(const Recipient& other) const { return !(*this == other); }
};

// The longest address accepted (the limit of the SMTP path).
inline constexpr size_t kMaxAddressLength = 254;

// Characters that never stand in an unquoted address.
inline constexpr std::string_view kAddressSpecials = "<>()[]\\,;:\"";

// Returns "" when `address` looks like a bare mail address, otherwise a short
// reason ("it has no '@'"). Rules: not empty, at most 254 bytes; no blank,
// control character (0x00-0x1F, 0x7F) or any of  < > ( ) [ ] \ , ; : "
// exactly one '@' with something before and after it; the part after the
// '@' neither starts nor ends with '.' and has no "..".
inline std::string AddressProblem(std::string_view address) {
    if (address.empty()) return "it is empty";
    if (address.size() > kMaxAddressLength) return "it is longer than 254 bytes";
    size_t at = std::string_view::npos;
    for (size_t i = 0; i < address.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (c == ' ') return "it contains a blank";
        if (c < 0x20 || c == 0x7F) return "it contains a control character";
        if (kAddressSpecials.find(static_cast<char>(c)) != std::string_view::npos)
            return std::string("it contains the character '") + static_cast<char>(c) + "'";
        if (c == '@') {
            if (at != std::string_view::npos) return "it has more than one '@'";
            at = i;
        }
    }
    if (at == std::string_view::npos) return "it has no '@'";
    if (at == 0) return "nothing stands before the '@'";
    const std::string_view domain = address.substr(at + 1);
    if (domain.empty()) return "nothing stands after the '@'";
    if (domain.front() == '.' || domain.back() == '.' || domain.find("..") != std::string_view::npos)
        return "the part after the '@' is not a domain name";
    return {};
}

inline bool IsPlausibleAddress(std::string_view address) { return AddressProblem(address).empty(); }

// Raised by ParseRecipient; what() names the input and the problem.
class RecipientError : public std::invalid_argument {
public:
    RecipientError(std::string input, const std::string& problem)
        : std::invalid_argument("bad recipient \"" + input + "\": " + problem), input_(std::move(input)) {}
    // Named as std::exception's what().
    const std::string& input() const noexcept { return input_; }  // NOLINT(readability-identifier-naming)

private:
    std::string input_;
};

namespace address_detail {
inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}
}  // namespace address_detail

// Parses one recipient as people write it on a command line:
//   "ann@example.com"                      bare address, empty display name
//   "<ann@example.com>"                    the same
//   "Ann Lee <ann@example.com>"            display name and address
//   "\"Lee, Ann\" <ann@example.com>"       a quoted display name (quotes removed)
// Blanks around the parts are dropped. Raises RecipientError when the address
// fails AddressProblem, when brackets do not pair up, or when the display name
// holds a control character or an angle bracket.
inline Recipient ParseRecipient(std::string_view text) {
    using address_detail::Trim;
    const std::string input(text);
    const std::string_view all = Trim(text);
    Recipient result;
    std::string_view address = all;
    if (!all.empty() && all.back() == '>') {
        const size_t open = all.rfind('<');
        if (open == std::string_view::npos) throw RecipientError(input, "a '>' without a '<'");
        address = Trim(all.substr(open + 1, all.size() - open - 2));
        std::string_view name = Trim(all.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        for (const char ch : name) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F) throw RecipientError(input, "the name contains a control character");
            if (c == '<' || c == '>') throw RecipientError(input, "the name contains an angle bracket");
        }
        result.displayName = std::string(name);
    }
    const std::string problem = AddressProblem(address);
    if (!problem.empty()) throw RecipientError(input, "the address is not usable: " + problem);
    result.address = std::string(address);
    return result;
}

}  // namespace zobrik::sdk
