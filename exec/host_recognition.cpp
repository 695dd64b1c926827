#include "host_recognition.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "include/ascii_text.h"

namespace zobrik {

namespace {

// One part of an inet_aton address: decimal, octal with a leading 0, or
// hexadecimal with 0x.
std::optional<uint64_t> AddressPart(WideStringView part) {
    int base = 10;
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        base = 16;
        part.remove_prefix(2);
    } else if (part.size() > 1 && part[0] == '0') {
        base = 8;
        part.remove_prefix(1);
    }
    if (part.empty() || part.size() > 12) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (WideChar c : part) {
        int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * uint64_t(base) + uint64_t(digit);
    }
    return value;
}

// An IPv4 address in any form that inet_aton reads: one to four parts, the
// last filling the bits the parts before it leave.
std::optional<uint32_t> Ipv4Address(WideStringView host) {
    std::vector<uint64_t> parts;
    size_t start = 0;
    while (true) {
        size_t dot = host.find('.', start);
        auto part = AddressPart(host.substr(start, dot == WideStringView::npos ? WideStringView::npos : dot - start));
        if (!part || parts.size() == 4) {
            return std::nullopt;
        }
        parts.push_back(*part);
        if (dot == WideStringView::npos) {
            break;
        }
        start = dot + 1;
    }
    const unsigned lastBits = 32 - 8 * unsigned(parts.size() - 1);
    uint32_t address = 0;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] > 0xFF) {
            return std::nullopt;
        }
        address |= uint32_t(parts[i]) << (24 - 8 * i);
    }
    if (parts.back() >= (uint64_t(1) << lastBits)) {
        return std::nullopt;
    }
    return address | uint32_t(parts.back());
}

// A dotted IPv4 address of four decimal parts, as the last 32 bits of an
// IPv6 address are written ("::ffff:192.168.1.5").
std::optional<uint32_t> DottedQuad(WideStringView text) {
    if (std::count(text.begin(), text.end(), WideChar('.')) != 3 ||
        !std::all_of(text.begin(), text.end(), [](WideChar c) { return c == '.' || IsAsciiDigit(c); })) {
        return std::nullopt;
    }
    return Ipv4Address(text);
}

using Ipv6 = std::array<uint16_t, 8>;

// An IPv6 address of eight groups, "::" standing for zeros, a dotted IPv4
// address allowed as its last two.
std::optional<Ipv6> Ipv6Groups(WideStringView text) {
    std::vector<uint16_t> head, tail;
    const size_t gap = text.find(WideStringView(ZOBRIK_WIDE("::")));
    auto parse = [](WideStringView part, std::vector<uint16_t>& out, bool last) {
        if (part.empty()) {
            return true;
        }
        size_t start = 0;
        while (true) {
            size_t colon = part.find(':', start);
            WideStringView group =
                part.substr(start, colon == WideStringView::npos ? WideStringView::npos : colon - start);
            if (last && colon == WideStringView::npos && group.find('.') != WideStringView::npos) {
                auto quad = DottedQuad(group);
                if (quad) {
                    out.push_back(uint16_t(*quad >> 16));
                    out.push_back(uint16_t(*quad));
                }
                return quad.has_value();
            }
            if (group.empty() || group.size() > 4) {
                return false;
            }
            unsigned value = 0;
            for (WideChar c : group) {
                int digit = HexDigitValue(c);
                if (digit < 0) {
                    return false;
                }
                value = value * 16 + unsigned(digit);
            }
            out.push_back(uint16_t(value));
            if (colon == WideStringView::npos) {
                return true;
            }
            start = colon + 1;
        }
    };
    Ipv6 groups{};
    if (gap == WideStringView::npos) {
        if (!parse(text, head, true) || head.size() != 8) {
            return std::nullopt;
        }
        std::copy(head.begin(), head.end(), groups.begin());
        return groups;
    }
    if (!parse(text.substr(0, gap), head, false) || !parse(text.substr(gap + 2), tail, true) ||
        head.size() + tail.size() > 7) {
        return std::nullopt;
    }
    std::copy(head.begin(), head.end(), groups.begin());
    std::copy(tail.begin(), tail.end(), groups.end() - std::ptrdiff_t(tail.size()));
    return groups;
}

// An IPv6 address as a host: in brackets, with a "%zone", or as a name of
// ipv6-literal.net, where '-' stands for ':' and 's' starts the zone. The
// zone is left out: each of the machine's interfaces is the machine.
std::optional<Ipv6> Ipv6Address(WideStringView host) {
    WideString text(host);
    const std::u16string_view literalDomain = u".ipv6-literal.net";
    WideChar zoneMark = '%';
    if (text.size() > literalDomain.size() &&
        StartsWithIgnoringAsciiCase(WideStringView(text).substr(text.size() - literalDomain.size()), literalDomain)) {
        text.resize(text.size() - literalDomain.size());
        std::replace(text.begin(), text.end(), WideChar('-'), WideChar(':'));
        std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
        zoneMark = 's';
    } else if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    const size_t zone = text.find(zoneMark);
    if (zone != WideString::npos) {
        text.resize(zone);
    }
    return Ipv6Groups(text);
}

// An IP address of either kind, IPv4 ones mapped into IPv6 (::ffff:a.b.c.d).
std::optional<Ipv6> IpAddress(WideStringView host) {
    if (auto v4 = Ipv4Address(host)) {
        return Ipv6{0, 0, 0, 0, 0, 0xFFFF, uint16_t(*v4 >> 16), uint16_t(*v4)};
    }
    return Ipv6Address(host);
}

// Addresses that always reach this machine: the loopbacks (127.0.0.0/8 and
// ::1) and the unspecified addresses (0.0.0.0 and ::), which some stacks
// connect to the machine itself.
bool IsOwnByDefinition(const Ipv6& address) {
    const bool zeroHead = std::all_of(address.begin(), address.begin() + 5, [](uint16_t v) { return v == 0; });
    if (!zeroHead) {
        return false;
    }
    const bool v6 = address[5] == 0 && address[6] == 0 && (address[7] == 0 || address[7] == 1);
    const bool v4 = address[5] == 0xFFFF && ((address[6] >> 8) == 127 || (address[6] == 0 && address[7] == 0));
    return v6 || v4;
}

WideStringView WithoutTrailingDots(WideStringView name) {
    while (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    return name;
}

}  // namespace

bool IsThisMachine(WideStringView host, const std::vector<WideString>& machineNames) {
    host = WithoutTrailingDots(host);
    if (host.empty()) {
        return false;
    }
    // "localhost" and the names below it (RFC 6761) are the loopback.
    const std::u16string_view localhost = u"localhost";
    if (SameIgnoringAsciiCase(host, ZOBRIK_WIDE("localhost")) ||
        (host.size() > localhost.size() + 1 && host[host.size() - localhost.size() - 1] == '.' &&
         SameIgnoringAsciiCase(host.substr(host.size() - localhost.size()), ZOBRIK_WIDE("localhost")))) {
        return true;
    }
    const auto address = IpAddress(host);
    if (address && IsOwnByDefinition(*address)) {
        return true;
    }
    for (const WideString& name : machineNames) {
        const WideStringView own = WithoutTrailingDots(name);
        if (own.empty()) {
            continue;
        }
        if (SameIgnoringAsciiCase(host, own)) {
            return true;
        }
        // Multicast DNS answers "<name>.local" with this machine too.
        const std::u16string_view local = u".local";
        if (host.size() == own.size() + local.size() && SameIgnoringAsciiCase(host.substr(0, own.size()), own) &&
            StartsWithIgnoringAsciiCase(host.substr(own.size()), local)) {
            return true;
        }
        // Addresses compare as numbers: "192.168.1.5", "0xc0a80105" and
        // "::ffff:c0a8:105" are one address.
        if (address && IpAddress(own) == address) {
            return true;
        }
    }
    return false;
}

}  // namespace zobrik
