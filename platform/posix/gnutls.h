// GnuTLS, loaded at its first use. Most runs (a check, a list, a mapcycle)
// make no HTTPS request and take no digest, and loading the library with the
// nine it needs and its constructor costs a check more than its own work.
#pragma once

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <string>

// The functions of the library this program calls, under their own names.
struct GnuTls {
    decltype(&gnutls_certificate_allocate_credentials) certificate_allocate_credentials;
    decltype(&gnutls_certificate_free_credentials) certificate_free_credentials;
    decltype(&gnutls_certificate_set_x509_system_trust) certificate_set_x509_system_trust;
    decltype(&gnutls_certificate_set_x509_trust_file) certificate_set_x509_trust_file;
    decltype(&gnutls_certificate_verification_status_print) certificate_verification_status_print;
    decltype(&gnutls_credentials_set) credentials_set;
    decltype(&gnutls_deinit) deinit;
    decltype(&gnutls_error_is_fatal) error_is_fatal;
    decltype(&gnutls_handshake) handshake;
    decltype(&gnutls_hash) hash;
    decltype(&gnutls_hash_deinit) hash_deinit;
    decltype(&gnutls_hash_init) hash_init;
    decltype(&gnutls_init) init;
    decltype(&gnutls_priority_set_direct) priority_set_direct;
    decltype(&gnutls_record_cork) record_cork;
    decltype(&gnutls_record_get_direction) record_get_direction;
    decltype(&gnutls_record_recv) record_recv;
    decltype(&gnutls_record_send) record_send;
    decltype(&gnutls_record_uncork) record_uncork;
    decltype(&gnutls_server_name_set) server_name_set;
    decltype(&gnutls_session_get_verify_cert_status) session_get_verify_cert_status;
    decltype(&gnutls_session_set_verify_cert) session_set_verify_cert;
    decltype(&gnutls_strerror) strerror;
    decltype(&gnutls_transport_set_int2) transport_set_int2;
    gnutls_free_function* free;  // the library's gnutls_free, a variable
};

// The library, loaded once for the whole program; null when it cannot be
// loaded or lacks a function, with why (the loader's message) in *why.
const GnuTls* LoadGnuTls(std::string* why);
