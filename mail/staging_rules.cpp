#include "staging_rules.h"

#include <algorithm>

namespace zobrik {

namespace {

constexpr uint64_t kLargestDiskReserve = uint64_t(1) << 30;
constexpr char kNamePrefix[] = "zr-";
constexpr size_t kPrefixLength = sizeof(kNamePrefix) - 1;
constexpr size_t kProcessDigits = 8;
constexpr size_t kRandomDigits = 16;
constexpr size_t kNameLength = kPrefixLength + kProcessDigits + 1 + kRandomDigits;

void AppendHex(WideString& out, uint64_t value, size_t digits) {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = digits; i-- > 0;) {
        out += WideChar(kDigits[(value >> (4 * i)) & 0xF]);
    }
}

std::optional<uint64_t> ParseHex(WideStringView digits) noexcept {
    uint64_t value = 0;
    for (WideChar c : digits) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + uint64_t(digit);
    }
    return value;
}

}  // namespace

const char kInternetZoneIdentifier[] = "[ZoneTransfer]\r\nZoneId=3\r\n";

bool AttachmentsFitTheRequest(const std::vector<MailAttachment>& attachments, uint64_t requestLength) noexcept {
    uint64_t total = 0;
    for (const MailAttachment& attachment : attachments) {
        // Each size is at most 0x7FFFFFFF, so the sum cannot wrap before it
        // passes any 32-bit request length.
        total += attachment.size;
        if (total > requestLength) {
            return false;
        }
    }
    return true;
}

uint64_t DiskReserve(uint64_t volumeBytes) noexcept { return std::min(volumeBytes / 10, kLargestDiskReserve); }

bool LeavesDiskReserve(uint64_t freeBytes, uint64_t volumeBytes, uint64_t bytesToWrite) noexcept {
    const uint64_t reserve = DiskReserve(volumeBytes);
    return freeBytes >= reserve && freeBytes - reserve >= bytesToWrite;
}

WideString RequestDirectoryName(uint32_t processId, uint64_t random) {
    WideString name;
    for (const char* p = kNamePrefix; *p; ++p) {
        name += WideChar(*p);
    }
    AppendHex(name, processId, kProcessDigits);
    name += WideChar('-');
    AppendHex(name, random, kRandomDigits);
    return name;
}

std::optional<uint32_t> RequestDirectoryOwner(WideStringView name) noexcept {
    if (name.size() != kNameLength || name[kPrefixLength + kProcessDigits] != WideChar('-')) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kPrefixLength; ++i) {
        if (name[i] != WideChar(kNamePrefix[i])) {
            return std::nullopt;
        }
    }
    auto process = ParseHex(name.substr(kPrefixLength, kProcessDigits));
    auto random = ParseHex(name.substr(kPrefixLength + kProcessDigits + 1));
    if (!process || !random) {
        return std::nullopt;
    }
    return uint32_t(*process);
}

}  // namespace zobrik
