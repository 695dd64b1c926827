// FreeRDP 3's server takes its certificate and key as loaded objects, which
// the settings own once set; the key serves TLS and RDP's own security.
#include <memory>

#include <freerdp/crypto/certificate.h>
#include <freerdp/crypto/privatekey.h>
#include <freerdp/settings.h>

#include "rdp_session.h"

namespace zobrik_e2e {
namespace {

struct KeyDeleter {
    void operator()(rdpPrivateKey* key) const { freerdp_key_free(key); }
};
struct CertificateDeleter {
    void operator()(rdpCertificate* certificate) const { freerdp_certificate_free(certificate); }
};

}  // namespace

bool SetServerIdentity(rdpSettings* settings, const TlsFiles& files) {
    std::unique_ptr<rdpPrivateKey, KeyDeleter> key(freerdp_key_new_from_file(files.key.c_str()));
    if (!key || !freerdp_settings_set_pointer_len(settings, FreeRDP_RdpServerRsaKey, key.get(), 1)) return false;
    key.release();  // the settings own it now
    std::unique_ptr<rdpCertificate, CertificateDeleter> certificate(
        freerdp_certificate_new_from_file(files.certificate.c_str()));
    if (!certificate || !freerdp_settings_set_pointer_len(settings, FreeRDP_RdpServerCertificate, certificate.get(), 1))
        return false;
    certificate.release();
    return true;
}

}  // namespace zobrik_e2e
