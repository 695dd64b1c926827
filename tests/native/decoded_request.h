// A request built by the writer and decoded by the real decoder, for tests
// of what is built from a decoded request.
#pragma once

#include <cstdint>
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

}  // namespace zobrik::testing
