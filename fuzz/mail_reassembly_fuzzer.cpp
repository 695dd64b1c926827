// Fuzz target: the mail channel's chunk reassembly. The input is split into
// chunks by its own bytes; a reference model of the channel's rules decides
// when the request must be complete, and the handed-over bytes must be
// exactly the first chunks' bytes. The buffer's committed memory never passes what
// has arrived plus one bounded growth step, and a shared budget is given
// back whole when the channel closes or its request times out.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "include/mail_request.h"
#include "include/request_limits.h"
#include "plugin/mail_reassembly.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zobrik::BufferBudget budget(zobrik::kMailBufferBudget);
    zobrik::MailReassembly reassembly(&budget);
    std::vector<uint8_t> received;  // everything since the last reset
    bool completed = false;
    size_t pos = 0;
    while (pos < size) {
        // One control byte: 0xFF resets (OnClose), 0xFE is the idle time
        // passing, anything else is the chunk's length (0 to 253) taken
        // from the bytes that follow.
        const uint8_t control = data[pos++];
        if (control == 0xFE) {
            const bool unfinished = reassembly.Unfinished();
            Check(reassembly.TimeOut() == unfinished);
            if (unfinished) {
                Check(reassembly.TakeRefusal() == zobrik::kMailRequestTimedOut);
                Check(budget.Used() == 0 && reassembly.Committed() == 0);
                completed = true;  // nothing completes until the reset
            }
            continue;
        }
        if (control == 0xFF) {
            reassembly.Reset();
            Check(budget.Used() == 0);
            Check(reassembly.Committed() == 0);
            received.clear();
            completed = false;
            continue;
        }
        const size_t length = std::min<size_t>(control, size - pos);
        const uint8_t* chunk = data + pos;
        pos += length;
        received.insert(received.end(), chunk, chunk + length);

        auto complete = reassembly.Append(chunk, length);
        Check(reassembly.Received() == received.size());

        bool expectComplete = false;
        if (!completed && received.size() >= zobrik::MAIL_TOTAL_SIZE_END) {
            const uint64_t total = zobrik::ReadUint64LE(received.data() + zobrik::MAIL_TOTAL_SIZE_OFFSET);
            expectComplete =
                total == received.size() && received.size() - length < total && total <= zobrik::kMaxMailRequestSize;
        }
        Check(bool(complete) == expectComplete);
        if (complete) {
            completed = true;
            Check(complete->bytes.Size() == received.size() &&
                  std::equal(received.begin(), received.end(), complete->bytes.Data()));
            Check(complete->length == received.size());
            Check(reassembly.Buffered() == 0);
            Check(reassembly.GetState() == zobrik::MailReassembly::State::HandedOver);
        }
        Check(reassembly.Buffered() <= received.size());
        const size_t arrived = reassembly.Buffered();
        Check(reassembly.Committed() <=
              arrived + std::min<size_t>(std::max<size_t>(arrived, 4096), zobrik::kMaxBufferGrowthStep));
        Check(budget.Used() == reassembly.Committed());  // every committed byte is charged
    }
    return 0;
}
