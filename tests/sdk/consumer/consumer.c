/* The C interface, linked through the imported target Zobrik::remote. */
#include <stdio.h>

#include "zobrik_remote.h"

int main(void) {
    zobrik_status status = zobrik_open("https://example.com", 1000);
    printf("zobrik_remote %s, interface 0x%08x, open: %s\n", zobrik_version(), (unsigned)zobrik_api_version(),
           zobrik_status_name(status));
    return zobrik_api_version() >= ZOBRIK_REMOTE_API_VERSION && status == ZOBRIK_CHANNEL_NOT_AVAILABLE ? 0 : 1;
}
