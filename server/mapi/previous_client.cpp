#include "server/mapi/previous_client.h"

#include "server/server_registry.h"

namespace zobrik::mapi {

const wchar_t* PreviousMailClientValue(bool sixtyFourBit) noexcept {
    return sixtyFourBit ? server::kPreviousMailClientValue : server::kPreviousMailClient32Value;
}

bool IsOwnMailClientName(std::wstring_view name) noexcept {
    const std::wstring_view own = server::kMailClientName;
    // Blanks around the name are not part of a key name Windows would find,
    // but a recorded value may carry them.
    while (!name.empty() && name.front() == L' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
    if (name.size() != own.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        wchar_t a = name[i];
        wchar_t b = own[i];
        if (a >= L'A' && a <= L'Z') a = wchar_t(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z') b = wchar_t(b - L'A' + L'a');
        if (a != b) return false;
    }
    return true;
}

}  // namespace zobrik::mapi
