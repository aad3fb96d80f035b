#include "platform/posix/gnutls.h"

#include <dlfcn.h>

#include <mutex>

namespace {
// The soname the headers belong to: a library of another ABI is not taken.
constexpr const char* kLibrary = "libgnutls.so.30";

// Sets out to the library's function name; the first name not found goes
// into missing.
template <class F>
void Resolve(void* lib, const char* name, F* out, std::string* missing) {
    void* symbol = dlsym(lib, name);
    if (!symbol && missing->empty()) *missing = name;
    *out = reinterpret_cast<F>(symbol);
}
}  // namespace

const GnuTls* LoadGnuTls(std::string* why) {
    static GnuTls functions;
    static const GnuTls* loaded = nullptr;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept loaded for the life of the program; sessions and digests of
        // any thread use it.
        void* lib = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* error = dlerror();
            failure = error ? error : std::string(kLibrary) + " cannot be loaded";
            return;
        }
        std::string missing;
        GnuTls& f = functions;
        Resolve(lib, "gnutls_certificate_allocate_credentials", &f.certificate_allocate_credentials,
                &missing);
        Resolve(lib, "gnutls_certificate_free_credentials", &f.certificate_free_credentials,
                &missing);
        Resolve(lib, "gnutls_certificate_set_x509_system_trust",
                &f.certificate_set_x509_system_trust, &missing);
        Resolve(lib, "gnutls_certificate_set_x509_trust_file", &f.certificate_set_x509_trust_file,
                &missing);
        Resolve(lib, "gnutls_certificate_verification_status_print",
                &f.certificate_verification_status_print, &missing);
        Resolve(lib, "gnutls_credentials_set", &f.credentials_set, &missing);
        Resolve(lib, "gnutls_deinit", &f.deinit, &missing);
        Resolve(lib, "gnutls_error_is_fatal", &f.error_is_fatal, &missing);
        Resolve(lib, "gnutls_handshake", &f.handshake, &missing);
        Resolve(lib, "gnutls_hash", &f.hash, &missing);
        Resolve(lib, "gnutls_hash_deinit", &f.hash_deinit, &missing);
        Resolve(lib, "gnutls_hash_init", &f.hash_init, &missing);
        Resolve(lib, "gnutls_init", &f.init, &missing);
        Resolve(lib, "gnutls_priority_set_direct", &f.priority_set_direct, &missing);
        Resolve(lib, "gnutls_record_cork", &f.record_cork, &missing);
        Resolve(lib, "gnutls_record_get_direction", &f.record_get_direction, &missing);
        Resolve(lib, "gnutls_record_recv", &f.record_recv, &missing);
        Resolve(lib, "gnutls_record_send", &f.record_send, &missing);
        Resolve(lib, "gnutls_record_uncork", &f.record_uncork, &missing);
        Resolve(lib, "gnutls_server_name_set", &f.server_name_set, &missing);
        Resolve(lib, "gnutls_session_get_verify_cert_status", &f.session_get_verify_cert_status,
                &missing);
        Resolve(lib, "gnutls_session_set_verify_cert", &f.session_set_verify_cert, &missing);
        Resolve(lib, "gnutls_strerror", &f.strerror, &missing);
        Resolve(lib, "gnutls_transport_set_int2", &f.transport_set_int2, &missing);
        Resolve(lib, "gnutls_free", &f.free, &missing);
        if (!missing.empty()) {
            failure = std::string(kLibrary) + " lacks " + missing;
            return;
        }
        loaded = &functions;
    });
    if (!loaded && why) *why = failure;
    return loaded;
}
