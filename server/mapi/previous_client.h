// Decisions about the mail client that was the default before the provider
// was installed, to which calls go outside a Remote Desktop session.
//
// Platform-free.
#pragma once

#include <string_view>

namespace zobrik::mapi {

// The recorded value of the provider's own bitness: "MailClient" for the
// 64-bit provider, "MailClient32" for the 32-bit one.
const wchar_t* PreviousMailClientValue(bool sixtyFourBit) noexcept;

// Whether a mail client key name is the provider's own ("Zobrik", in any
// letter case): a call is never handed to itself.
bool IsOwnMailClientName(std::wstring_view name) noexcept;

}  // namespace zobrik::mapi
