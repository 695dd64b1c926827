// A request built by the writer and decoded by the real decoder, for tests
// of what is built from a decoded request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mail/mail_decoder.h"
#include "zobrik/mail_request_writer.h"

namespace zobrik::testing {

// The bytes must outlive the decoded request, which points into them.
struct DecodedRequest {
    std::vector<uint8_t> bytes;
    MailRequest request;
};

inline DecodedRequest Decode(const sdk::MailRequestWriter& writer) {
    DecodedRequest d;
    d.bytes = writer.Build();
    d.request = DecodeMailRequest(d.bytes.data(), uint32_t(d.bytes.size()));
    return d;
}

// The text the decoder raises for `bytes`, or kAccepted. The bytes are
// decoded from a copy of exactly their size, so that the sanitizer sees any
// read past the end.
inline constexpr const char* kAccepted = "(accepted)";

inline std::string DecodeOutcome(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> copy(bytes);
    try {
        DecodeMailRequest(copy.data(), uint32_t(copy.size()));
    } catch (const char* message) {
        return message;
    }
    return kAccepted;
}

}  // namespace zobrik::testing
