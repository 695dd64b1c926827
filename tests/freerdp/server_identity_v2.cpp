// FreeRDP 2's server takes its certificate and key as file names; the PKCS#8
// key serves TLS and RDP's own security.
#include <freerdp/settings.h>

#include "rdp_session.h"

namespace zobrik_e2e {

bool SetServerIdentity(rdpSettings* settings, const TlsFiles& files) {
    return freerdp_settings_set_string(settings, FreeRDP_CertificateFile, files.certificate.c_str()) &&
           freerdp_settings_set_string(settings, FreeRDP_PrivateKeyFile, files.key.c_str()) &&
           freerdp_settings_set_string(settings, FreeRDP_RdpKeyFile, files.key.c_str());
}

}  // namespace zobrik_e2e
