// The registry names that the parts of the session host's server half share:
// the mail client key under which Windows' MAPI stub finds ZobrikMapi.dll,
// the registered application and its ProgIDs, and the key where setup
// records the defaults that were in place before, which the provider and
// zobrik-open fall back to outside a Remote Desktop session.
//
// Header-only, no platform headers: names only.
#pragma once

namespace zobrik::server {

// HKLM\Software\Clients\Mail\Zobrik: DLLPath and DLLPathEx name the
// provider of the registry view's bitness.
inline constexpr wchar_t kMailClientName[] = L"Zobrik";
inline constexpr wchar_t kMailClientsKey[] = L"Software\\Clients\\Mail";

// The registered application (HKLM\Software\RegisteredApplications value
// name) and its capabilities key.
inline constexpr wchar_t kRegisteredApplicationName[] = L"Zobrik";
inline constexpr wchar_t kCapabilitiesKey[] = L"Software\\Zobrik\\Server\\Capabilities";
// The ProgIDs of zobrik-open: one for addresses (http, https, mailto), one
// for file types an administrator assigns to it.
inline constexpr wchar_t kUrlProgId[] = L"Zobrik.Url";
inline constexpr wchar_t kFileProgId[] = L"Zobrik.File";

// HKLM\Software\Zobrik\Server\Previous, always in the 64-bit registry view
// (KEY_WOW64_64KEY), written by setup before it changes anything:
//   MailClient      the default mail client's key name in the 64-bit view
//   MailClient32    the same in the 32-bit view (WOW6432Node)
//   http, https, mailto, .<ext>   the ProgID that handled it before
// A missing or empty value: there was none.
inline constexpr wchar_t kPreviousDefaultsKey[] = L"Software\\Zobrik\\Server\\Previous";
inline constexpr wchar_t kPreviousMailClientValue[] = L"MailClient";
inline constexpr wchar_t kPreviousMailClient32Value[] = L"MailClient32";

}  // namespace zobrik::server
