// Host names mapped to ASCII by Windows (IdnToAscii).
#include <windows.h>

#include "exec/url_normalisation.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

// The characters that the two UTS #46 mappings treat differently: browsers
// keep them (non-transitional: "faß" becomes "xn--fa-hia"), IdnToAscii may
// map them away as IDNA2003 did ("fass"), which is another host (also the
// capital U+1E9E, which maps to "ß"). A name with
// one of them is not read rather than read as a host the browser would not
// reach.
bool HasDeviation(const WideString& domain) {
    return domain.find_first_of(L"\u00DF\u1E9E\u03C2\u200C\u200D") != WideString::npos;
}

class WindowsIdna final : public DomainToAscii {
public:
    std::optional<std::string> ToAscii(std::string_view domain) const override {
        const WideString wide = Utf8ToUtf16Lenient(domain);
        if (wide.empty() || wide.size() > 0xFFFF || HasDeviation(wide)) {
            return std::nullopt;
        }
        // IDN_ALLOW_UNASSIGNED: code points newer than the system's tables are
        // mapped as they stand rather than refused, as browsers do.
        const int length = IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.data(), int(wide.size()), nullptr, 0);
        if (length <= 0) {
            return std::nullopt;
        }
        std::wstring ascii(size_t(length), L'\0');
        if (IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.data(), int(wide.size()), ascii.data(), length) != length) {
            return std::nullopt;
        }
        return LoweredAsciiDomain(ascii);
    }
};

}  // namespace

const DomainToAscii& PlatformDomainToAscii() {
    static const WindowsIdna idna;
    return idna;
}

}  // namespace zobrik
