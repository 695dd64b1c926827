// The text format of the Outlook stand-in's call records, shared by the
// stand-in (which writes the records) and its test-side client (which builds
// expected records). Header-only: both sides have their own static runtime.
//
// One record is one line:
//   <object> <Interface>.<member>(<arguments>)[ <extra>] -> <outcome>
// <object> is the instance the call was made on ("app#2", "item#1",
// "recipient#3", "factory"); arguments are separated by ", ". A text (BSTR)
// is written as `null` or as a double-quoted UTF-8 string (see QuoteText); a
// VARIANT as its type and value ("VT_INT 1", "VT_BSTR \"a\"", "VT_ERROR
// 0x80020004", "VT_BOOL -1"). <outcome> is the HRESULT ("S_OK" for 0, else
// "0x%08X"), then the delivered value or object, if any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace zobrik::standin::record {

// Trace flags (ZobrikOutlookStandIn_SetTrace): extra records beyond the calls.
inline constexpr unsigned long kTraceQueryInterface = 1;  // "<object> IUnknown.QueryInterface(<iid>) -> ..."
inline constexpr unsigned long kTraceDestruction = 2;     // "<object> destroyed"

// Attachment bytes up to this size are written out in hex; larger files only
// by size and digest.
inline constexpr std::size_t kMaxHexBytes = 65536;

inline void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// A UTF-16 text as a double-quoted UTF-8 string. Escaped: `"` as \", `\` as
// \\, CR/LF/TAB as \r \n \t, other code units below 0x20 (NUL included) as
// \xHH and unpaired surrogates as \uHHHH; everything else is plain UTF-8.
inline std::string QuoteText(const wchar_t* text, std::size_t length) {
    std::string out = "\"";
    char hex[8];
    for (std::size_t i = 0; i < length; ++i) {
        const uint32_t unit = static_cast<uint16_t>(text[i]);
        if (unit == '"' || unit == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(unit));
        } else if (unit == '\n') {
            out += "\\n";
        } else if (unit == '\r') {
            out += "\\r";
        } else if (unit == '\t') {
            out += "\\t";
        } else if (unit < 0x20) {
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(unit));
            out += hex;
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && static_cast<uint16_t>(text[i + 1]) >= 0xDC00 &&
                   static_cast<uint16_t>(text[i + 1]) <= 0xDFFF) {
            const uint32_t low = static_cast<uint16_t>(text[i + 1]);
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(unit));
            out += hex;
        } else {
            AppendUtf8(out, unit);
        }
    }
    out.push_back('"');
    return out;
}

inline std::string QuoteText(std::wstring_view text) { return QuoteText(text.data(), text.size()); }

// "S_OK" for 0, otherwise eight upper-case hex digits: "0x80004005".
inline std::string FormatHresult(long hr) {
    if (hr == 0) {
        return "S_OK";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr) & 0xFFFFFFFFUL);
    return text;
}

// 64-bit FNV-1a of the bytes, as 16 lower-case hex digits.
inline std::string Fnv1a64(const uint8_t* bytes, std::size_t size) {
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ULL;
    }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

inline std::string HexBytes(const uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

// What Attachments.Add read from the file named by Source:
// "[file size=5 fnv1a64=<16 hex> hex=68656c6c6f]" (hex only up to kMaxHexBytes).
inline std::string FileRecord(const uint8_t* bytes, std::size_t size) {
    std::string out = "[file size=" + std::to_string(size) + " fnv1a64=" + Fnv1a64(bytes, size);
    if (size <= kMaxHexBytes) {
        out += " hex=" + HexBytes(bytes, size);
    }
    out += "]";
    return out;
}

inline std::string FileRecord(const std::vector<uint8_t>& bytes) { return FileRecord(bytes.data(), bytes.size()); }

// The file could not be opened or read: "[file error=2]" (the Win32 error).
inline std::string FileErrorRecord(unsigned long error) { return "[file error=" + std::to_string(error) + "]"; }

// Source was not a VT_BSTR: nothing to read.
inline constexpr std::string_view kFileNoneRecord = "[file none]";

}  // namespace zobrik::standin::record
