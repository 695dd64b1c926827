// Windows build of Utf8ToUtf16: the platform's lenient UTF-8 conversion.
#include "mail/utf8_to_utf16.h"

#include <windows.h>

namespace zobrik {

size_t Utf8ToUtf16(const uint8_t* input, size_t length, WideChar* output, size_t capacity) noexcept {
    if (input == nullptr || output == nullptr || length == 0 || length > kUtf8ConversionLimit || capacity == 0) {
        return 0;  // capacity 0 would ask the platform for the needed size
    }
    if (capacity > kUtf8ConversionLimit) capacity = kUtf8ConversionLimit;
    // No flags: malformed input is replaced, not rejected. The result is 0 when
    // the output does not fit (ERROR_INSUFFICIENT_BUFFER).
    const int units = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(input), static_cast<int>(length),
                                          output, static_cast<int>(capacity));
    return units > 0 ? static_cast<size_t>(units) : 0;
}

}  // namespace zobrik
