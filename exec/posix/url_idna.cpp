// Host names mapped to ASCII by libidn2 (UTS #46, non-transitional, as
// browsers map them).
#include <idn2.h>

#include "exec/url_normalisation.h"
#include "include/unique_resource.h"

namespace zobrik {

namespace {

struct Idn2TextTraits {
    using Handle = char*;
    static Handle Empty() noexcept { return nullptr; }
    static bool IsEmpty(Handle text) noexcept { return text == nullptr; }
    static void Close(Handle text) noexcept { idn2_free(text); }
};
using UniqueIdn2Text = UniqueResource<Idn2TextTraits>;

class Libidn2 final : public DomainToAscii {
public:
    std::optional<std::string> ToAscii(std::string_view domain) const override {
        if (domain.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        const std::string input(domain);
        UniqueIdn2Text output;
        const int result = idn2_to_ascii_8z(input.c_str(), output.Put(), IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
        if (result != IDN2_OK || !output) {
            return std::nullopt;
        }
        return LoweredAsciiDomain(std::string_view(output.Get()));
    }
};

}  // namespace

const DomainToAscii& PlatformDomainToAscii() {
    static const Libidn2 idna;
    return idna;
}

}  // namespace zobrik
