#include "mail_processing.h"

#include "debug_output.h"

namespace zobrik {

int32_t ProcessMailRequest(uint32_t, uint8_t*) {
    DebugEvent(ZOBRIK_WIDE("OnDataReceived"));
    // Decoding, staging and hand-over are added stage by stage.
    return 0;
}

}  // namespace zobrik
