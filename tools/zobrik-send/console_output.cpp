#include "console_output.h"

#include "zobrik/wts_channel.h"

namespace zobrik::send {

ConsoleStreamBuf::ConsoleStreamBuf(DWORD standardHandle) : handle_(GetStdHandle(standardHandle)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
}

ConsoleStreamBuf::~ConsoleStreamBuf() { Flush(); }

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    pending_.push_back(c);
    if (c == '\n' || c == '\r') Flush();
    return ch;
}

std::streamsize ConsoleStreamBuf::xsputn(const char* text, std::streamsize count) {
    pending_.append(text, static_cast<size_t>(count));
    if (pending_.find_first_of("\r\n") != std::string::npos) Flush();
    return count;
}

int ConsoleStreamBuf::sync() {
    Flush();
    return 0;
}

void ConsoleStreamBuf::Flush() {
    if (pending_.empty()) return;
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
        if (console_) {
            const std::wstring wide = sdk::Utf8ToWide(pending_);
            DWORD written = 0;
            WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            DWORD written = 0;
            WriteFile(handle_, pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);
        }
    }
    pending_.clear();
}

}  // namespace zobrik::send
