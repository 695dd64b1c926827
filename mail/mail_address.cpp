#include "mail_address.h"

namespace zobrik {

namespace {

constexpr size_t kLongestAddress = 254;
constexpr size_t kLongestLocalPart = 64;
constexpr size_t kLongestLabel = 63;

bool IsLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool IsLocalPartCharacter(char c) { return IsLetterOrDigit(c) || c == '_' || c == '+' || c == '-'; }

// `text` split at dots into non-empty parts that each pass `part`.
template <typename PartCheck>
bool AreDotSeparatedParts(std::string_view text, PartCheck part) {
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string_view piece = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (piece.empty() || !part(piece)) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool IsAtom(std::string_view atom) {
    for (const char c : atom)
        if (!IsLocalPartCharacter(c)) return false;
    return true;
}

bool IsLabel(std::string_view label) {
    if (label.size() > kLongestLabel || label.front() == '-' || label.back() == '-') return false;
    for (const char c : label)
        if (!IsLetterOrDigit(c) && c != '-') return false;
    return true;
}

}  // namespace

bool IsPlainMailAddress(std::string_view address) {
    if (address.size() > kLongestAddress) return false;
    const size_t at = address.find('@');
    if (at == std::string_view::npos) return false;
    const std::string_view localPart = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    if (localPart.empty() || localPart.size() > kLongestLocalPart || localPart.front() == '-') return false;
    return AreDotSeparatedParts(localPart, IsAtom) && AreDotSeparatedParts(domain, IsLabel);
}

}  // namespace zobrik
