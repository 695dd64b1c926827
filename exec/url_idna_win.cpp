// Host names mapped to ASCII by Windows (IdnToAscii).
#include <windows.h>

#include "exec/url_normalisation.h"
#include "include/utf_conversion.h"

namespace zobrik {

namespace {

class WindowsIdna final : public DomainToAscii {
public:
    std::optional<std::string> ToAscii(std::string_view domain) const override {
        const WideString wide = Utf8ToUtf16Lenient(domain);
        if (wide.empty() || wide.size() > 0xFFFF) {
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
        std::string out;
        for (wchar_t c : ascii) {
            if (c >= 0x80 || c == 0) {
                return std::nullopt;
            }
            out += c >= 'A' && c <= 'Z' ? char(c + 32) : char(c);
        }
        return out;
    }
};

}  // namespace

const DomainToAscii& PlatformDomainToAscii() {
    static const WindowsIdna idna;
    return idna;
}

}  // namespace zobrik
