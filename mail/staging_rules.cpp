#include "staging_rules.h"

#include <algorithm>

namespace zobrik {

namespace {

constexpr uint64_t kLargestDiskReserve = uint64_t(1) << 30;
// "<random>-zr-<process>", and the older "zr-<process>-<random>".
constexpr char kNameMark[] = "-zr-";
constexpr char kOldNamePrefix[] = "zr-";
constexpr size_t kProcessDigits = 8;
constexpr size_t kRandomDigits = 16;
constexpr size_t kNameLength = kRandomDigits + sizeof(kNameMark) - 1 + kProcessDigits;
constexpr size_t kOldNameLength = sizeof(kOldNamePrefix) - 1 + kProcessDigits + 1 + kRandomDigits;
static_assert(kNameLength == kOldNameLength, "both forms are told apart by their marks alone");

void AppendAscii(WideString& out, const char* text) {
    for (const char* p = text; *p; ++p) {
        out += WideChar(*p);
    }
}

// Whether `name` holds the ASCII `text` at `at`.
bool HasAt(WideStringView name, size_t at, const char* text) noexcept {
    for (const char* p = text; *p; ++p, ++at) {
        if (at >= name.size() || name[at] != WideChar(*p)) {
            return false;
        }
    }
    return true;
}

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
    AppendHex(name, random, kRandomDigits);
    AppendAscii(name, kNameMark);
    AppendHex(name, processId, kProcessDigits);
    return name;
}

std::optional<uint32_t> RequestDirectoryOwner(WideStringView name) noexcept {
    if (name.size() != kNameLength) {
        return std::nullopt;
    }
    WideStringView process, random;
    if (HasAt(name, kRandomDigits, kNameMark)) {
        random = name.substr(0, kRandomDigits);
        process = name.substr(kNameLength - kProcessDigits);
    } else if (HasAt(name, 0, kOldNamePrefix) && HasAt(name, kOldNameLength - kRandomDigits - 1, "-")) {
        process = name.substr(sizeof(kOldNamePrefix) - 1, kProcessDigits);
        random = name.substr(kOldNameLength - kRandomDigits);
    } else {
        return std::nullopt;
    }
    auto owner = ParseHex(process);
    if (!owner || !ParseHex(random)) {
        return std::nullopt;
    }
    return uint32_t(*owner);
}

WideString OwnerOnlySecurityText(WideStringView userSid) {
    WideString sid(userSid);
    return ZOBRIK_WIDE("O:") + sid + ZOBRIK_WIDE("D:P(A;OICI;FA;;;") + sid + ZOBRIK_WIDE(")");
}

}  // namespace zobrik
