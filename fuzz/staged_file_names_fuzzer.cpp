// Fuzz target: naming of staged attachment files. The input is a list of
// UTF-16 file names; every staged name must be a plain, safe file name of at
// most 255 units that no other attachment of the request has (compared
// without letter case), every numbered variant of it must fit as well, and
// the name offered to the mail program must be a safe name as well, with no
// control or bidi formatting character and no part of a path, and be the
// staged name itself once the file is staged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "mail/staged_file_names.h"

namespace {

using zobrik::WideChar;
using zobrik::WideString;

constexpr size_t kLimit = 255;

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsControlOrBidi(WideChar c) {
    uint16_t u = uint16_t(c);
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x061C || u == 0x200E || u == 0x200F ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

bool IsInvalid(WideChar c) {
    static const std::set<uint16_t> kLookAlikes = {
        0x2024, 0xFE52, 0xFF0E, 0xFF61, 0x3002,                          // .
        0x00B4, 0x2044, 0x2215, 0x2571, 0x29F8, 0xFF0F,                  // /
        0x00A5, 0x20A9, 0x2216, 0x2572, 0x29F5, 0x29F9, 0xFE68, 0xFF3C,  // backslash
        0x0589, 0x2236, 0xFE13, 0xFE55, 0xFF1A,                          // :
        0x02BA, 0x030E, 0x301D, 0x301E, 0xFF02,                          // "
        0xFF0A, 0xFF1C, 0xFF1E, 0xFF1F, 0xFF5C,                          // * < > ? |
    };
    return IsControlOrBidi(c) || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' ||
           c == '?' || c == '*' || kLookAlikes.count(uint16_t(c)) != 0;
}

bool IsHigh(WideChar c) { return uint16_t(c) >= 0xD800 && uint16_t(c) <= 0xDBFF; }
bool IsLow(WideChar c) { return uint16_t(c) >= 0xDC00 && uint16_t(c) <= 0xDFFF; }

// Where `shorter` stops following `original` (a cut, or a replaced unit),
// no surrogate pair of `original` has its halves separated.
bool CutKeepsPairs(const WideString& original, const WideString& shorter) {
    size_t same = 0;
    while (same < original.size() && same < shorter.size() && original[same] == shorter[same]) ++same;
    return same == 0 || same >= original.size() || !(IsHigh(original[same - 1]) && IsLow(original[same]));
}

WideString Upper(const WideString& name) {
    WideString out = name;
    for (auto& c : out) {
        uint16_t u = uint16_t(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = WideChar(u - 32);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names are separated by the unit 0x0000 in the input's UTF-16 units.
    std::vector<WideString> names(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        WideChar c = WideChar(data[i] | (data[i + 1] << 8));
        if (c == 0) {
            names.emplace_back();
        } else {
            names.back() += c;
        }
    }
    std::vector<zobrik::MailAttachment> attachments(names.size());
    for (size_t i = 0; i < names.size(); ++i) attachments[i].fileName = names[i].c_str();

    std::vector<WideString> staged = zobrik::StagedFileNames(attachments);
    Check(staged.size() == names.size());
    std::set<WideString> seen;
    for (size_t i = 0; i < staged.size(); ++i) {
        const WideString& name = staged[i];
        WideString base = zobrik::AttachmentBaseName(names[i]);
        Check(name.empty() == base.empty());

        // Before staging, the offered name is a safe name of its own, without
        // any control or bidi formatting character, separator or look-alike.
        WideString offered = zobrik::OfferedFileName(attachments[i]);
        for (WideChar c : offered) Check(!IsInvalid(c));
        Check(offered.size() <= kLimit);
        Check(offered.empty() || (offered.back() != '.' && offered.back() != ' '));
        Check(!zobrik::IsReservedDeviceName(offered));
        Check(zobrik::SafeFileName(offered) == offered);
        // Once staged, it is the staged file's name.
        const WideString stagedPath = WideString(ZOBRIK_WIDE("C:\\staging\\1-1\\")) + name;
        zobrik::MailAttachment stagedAttachment = attachments[i];
        stagedAttachment.stagedPath = stagedPath.c_str();
        Check(zobrik::OfferedFileName(stagedAttachment) == name);

        if (name.empty()) continue;
        Check(name.size() <= kLimit);
        for (WideChar c : name) Check(!IsInvalid(c));
        Check(name.back() != '.' && name.back() != ' ');
        Check(!zobrik::IsReservedDeviceName(name));
        Check(seen.insert(Upper(name)).second);

        WideString safe = zobrik::SafeFileName(base);
        Check(safe.size() <= kLimit);
        // A device name's prefix shifts the rest by one unit.
        bool prefixed = safe[0] == '_' && base[0] != '_';
        Check(CutKeepsPairs(base, prefixed ? safe.substr(1) : safe));
        std::set<WideString> variants;
        for (unsigned n : {2u, 9u, 10u, 1000u, 4294967295u}) {
            WideString variant = zobrik::NumberedFileName(safe, n);
            Check(variant.size() <= kLimit);
            Check(CutKeepsPairs(safe, variant));
            Check(variant.back() != '.' && variant.back() != ' ');
            Check(!zobrik::IsReservedDeviceName(variant));
            Check(variants.insert(variant).second);
        }
    }
    return 0;
}
