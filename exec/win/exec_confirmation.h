// The user's confirmation before an exec text is opened.
#pragma once

#include <cstdint>
#include <string>

namespace zobrik {

enum class Confirmation { Open, DontOpen, NoAnswer, NotShown };

// Shows the text in a message box that no window owns, with the buttons
// "Open" and "Don't open" ("Don't open" is the default), and waits for the
// answer for at most `seconds`; then the box closes and NoAnswer is
// returned. One box is shown at a time: a request that needs one while
// another is open waits for it first. NotShown when the box cannot be shown
// (no desktop) or the text is too long to show in full.
Confirmation AskToOpen(const std::wstring& text, uint32_t seconds) noexcept;

}  // namespace zobrik
