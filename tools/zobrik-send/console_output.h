// UTF-8 output to a standard handle: a console gets the text as UTF-16
// (WriteConsoleW, so every character shows whatever the console's code page),
// a file or pipe gets the UTF-8 bytes unchanged.
#pragma once

#include <windows.h>

#include <streambuf>
#include <string>

namespace zobrik::send {

class ConsoleStreamBuf : public std::streambuf {
public:
    explicit ConsoleStreamBuf(DWORD standardHandle);  // STD_OUTPUT_HANDLE, STD_ERROR_HANDLE
    ~ConsoleStreamBuf() override;
    ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
    ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    // Text is passed on at every line end ('\n' or '\r', so progress lines
    // show at once) and on flush; whole UTF-8 sequences stay together.
    void Flush();

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

}  // namespace zobrik::send
