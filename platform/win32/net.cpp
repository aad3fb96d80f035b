// Sockets on Winsock, and TLS on Windows' own (SChannel, through SSPI): the
// server's certificate is verified against the system's store, and the CA
// file NODESCAN_CA_FILE names, for the host.
#include "platform/net.h"

#include "platform/win32/win32.h"

// After <windows.h>, in this order (clang-format would sort them).
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>
// SCH_CREDENTIALS (SChannel's credentials that know TLS 1.3) and its strings.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/common/online.h"
#include "platform/win32/text.h"

namespace {
using Clock = std::chrono::steady_clock;

SOCKET SocketOf(std::intptr_t fd) {
    return static_cast<SOCKET>(fd);
}

// The system's text for a Win32, Winsock or SSPI error code, with the code
// in hex for the SSPI's (whose texts say little on their own).
std::string SystemText(DWORD code, bool withCode = false) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string s = n ? NarrowText(std::wstring_view(text, n)) : std::string();
    LocalFree(text);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lx", static_cast<unsigned long>(code));
    if (s.empty()) return "error " + std::string(hex);
    return withCode ? s + " (" + hex + ")" : s;
}

// Winsock, started once for the life of the program; false with why in
// *error when it cannot be.
bool StartWinsock(std::string* error) {
    static const int rc = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (rc != 0) *error = "Winsock cannot be started (" + SystemText(rc) + ")";
    return rc == 0;
}

// Whether s becomes readable (or writable) within timeoutMs.
bool WaitSocket(SOCKET s, bool write, int timeoutMs) {
    WSAPOLLFD p{s, static_cast<SHORT>(write ? POLLWRNORM : POLLRDNORM), 0};
    return WSAPoll(&p, 1, std::max(timeoutMs, 0)) > 0;
}

// Sends all n bytes on the non-blocking socket s, waiting at most waitMs
// each time it cannot take more.
bool SendAll(SOCKET s, const char* data, std::size_t n, int waitMs) {
    while (n > 0) {
        int sent = ::send(s, data, static_cast<int>(std::min<std::size_t>(n, 1 << 30)), 0);
        if (sent == SOCKET_ERROR) {
            int err = WSAGetLastError();
            if (err == WSAEINTR) continue;
            if (err != WSAEWOULDBLOCK || !WaitSocket(s, true, waitMs)) return false;
            continue;
        }
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Appends what s has to *to: 1 when bytes came, 0 when the peer closed the
// connection, -1 on an error, -2 when nothing came within timeoutMs.
int ReceiveMore(SOCKET s, std::vector<char>* to, int timeoutMs) {
    char piece[1 << 14];
    while (true) {
        int n = ::recv(s, piece, sizeof piece, 0);
        if (n > 0) {
            to->insert(to->end(), piece, piece + n);
            return 1;
        }
        if (n == 0) return 0;
        int err = WSAGetLastError();
        if (err == WSAEINTR) continue;
        if (err != WSAEWOULDBLOCK) return -1;
        if (!WaitSocket(s, false, timeoutMs)) return -2;
    }
}

int MsUntil(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}
}  // namespace

bool InterfaceUp() {
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                        GAA_FLAG_SKIP_FRIENDLY_NAME;
    std::vector<IP_ADAPTER_ADDRESSES> list(32);  // as the call aligns them
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; rc == ERROR_BUFFER_OVERFLOW && tries < 4; ++tries) {
        ULONG size = static_cast<ULONG>(list.size() * sizeof list[0]);
        rc = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr, list.data(), &size);
        if (rc == ERROR_BUFFER_OVERFLOW) list.resize(size / sizeof list[0] + 1);
    }
    if (rc != NO_ERROR) return false;
    for (const IP_ADAPTER_ADDRESSES* a = list.data(); a; a = a->Next) {
        if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->OperStatus != IfOperStatusUp) continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            int family = u->Address.lpSockaddr ? u->Address.lpSockaddr->sa_family : 0;
            if (family == AF_INET || family == AF_INET6) return true;
        }
    }
    return false;
}

struct TlsSession {
    CredHandle credentials{};
    CtxtHandle context{};
    bool haveCredentials = false, haveContext = false;
    std::wstring target;  // the host named in SNI, empty for an address
    SecPkgContext_StreamSizes sizes{};
    std::vector<char> in;     // bytes of the server not yet decrypted
    std::string plain;        // decrypted bytes not yet returned
    std::size_t plainAt = 0;  // how many of them were
    std::string held;         // bytes sent with more, waiting for the rest
    bool closed = false;      // the server's close_notify came

    TlsSession() = default;
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;
    ~TlsSession() {
        if (haveContext) DeleteSecurityContext(&context);
        if (haveCredentials) FreeCredentialsHandle(&credentials);
    }
};

namespace {
// The requests of every handshake call: a stream of records, the server's
// certificate left to Verify, no client certificate.
constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION |
                                ISC_REQ_USE_SUPPLIED_CREDS;

// Client credentials for TLS 1.2 and 1.3 through SCH_CREDENTIALS (Windows 10
// from 1809 on); where the system does not know it, TLS 1.2 through the older
// SCHANNEL_CRED. The certificate is checked by Verify, not by SChannel.
bool AcquireCredentials(TlsSession* t, std::string* error) {
    const DWORD flags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = flags;
    SECURITY_STATUS rc = SEC_E_UNSUPPORTED_FUNCTION;
    for (void* data : {static_cast<void*>(&current), static_cast<void*>(&older)}) {
        rc = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                       SECPKG_CRED_OUTBOUND, nullptr, data, nullptr, nullptr,
                                       &t->credentials, nullptr);
        if (rc == SEC_E_OK) {
            t->haveCredentials = true;
            return true;
        }
    }
    *error = "Windows' TLS cannot be set up (" + SystemText(rc, true) + ")";
    return false;
}

// What Negotiate returns when the server did not answer in time.
const SECURITY_STATUS kTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// Runs the handshake from its start (start) or, after DecryptMessage asked for
// it, the messages that follow: each token SChannel makes goes to the server,
// each reply of the server back in, until SChannel is done. What came after
// it stays in t->in. SEC_E_OK; kTimedOut when end came first; else the
// status that ended it, with why in *error when the connection failed (then
// SEC_E_INTERNAL_ERROR).
SECURITY_STATUS Negotiate(TlsSession* t, SOCKET s, bool start, Clock::time_point end,
                          std::string* error) {
    wchar_t* target = t->target.empty() ? nullptr : t->target.data();
    while (true) {
        SecBuffer inBuffers[2] = {{static_cast<ULONG>(t->in.size()), SECBUFFER_TOKEN, t->in.data()},
                                  {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc in{SECBUFFER_VERSION, 2, inBuffers};
        SecBuffer outBuffer{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc out{SECBUFFER_VERSION, 1, &outBuffer};
        ULONG got = 0;
        SECURITY_STATUS rc = InitializeSecurityContextW(
            &t->credentials, start ? nullptr : &t->context, target, kContextFlags, 0, 0,
            start ? nullptr : &in, 0, start ? &t->context : nullptr, &out, &got, nullptr);
        if (start && (rc == SEC_E_OK || rc == SEC_I_CONTINUE_NEEDED)) t->haveContext = true;
        start = false;
        // A token goes out also when the call failed: it is the alert that says why.
        if (outBuffer.pvBuffer) {
            bool sent = SendAll(s, static_cast<const char*>(outBuffer.pvBuffer), outBuffer.cbBuffer,
                                MsUntil(end));
            FreeContextBuffer(outBuffer.pvBuffer);
            if (!sent && (rc == SEC_E_OK || rc == SEC_I_CONTINUE_NEEDED)) {
                *error = "the TLS handshake could not be sent";
                return SEC_E_INTERNAL_ERROR;
            }
        }
        if (rc == SEC_E_OK || rc == SEC_I_CONTINUE_NEEDED) {
            // The bytes SChannel did not use belong to the next message.
            std::size_t extra =
                inBuffers[1].BufferType == SECBUFFER_EXTRA ? inBuffers[1].cbBuffer : 0;
            t->in.erase(t->in.begin(), t->in.end() - static_cast<std::ptrdiff_t>(extra));
            if (rc == SEC_E_OK) return rc;
            if (!t->in.empty()) continue;
        } else if (rc != SEC_E_INCOMPLETE_MESSAGE) {
            return rc;
        }
        int n = ReceiveMore(s, &t->in, MsUntil(end));
        if (n == -2) return kTimedOut;
        if (n <= 0) {
            *error = n == 0 ? "the server closed the connection during the TLS handshake"
                            : "the connection failed during the TLS handshake (" +
                                  SystemText(WSAGetLastError()) + ")";
            return SEC_E_INTERNAL_ERROR;
        }
    }
}

// The certificates of the PEM file path, in a store of their own; null with
// why in *error when none can be read.
HCERTSTORE LoadCaFile(const std::wstring& path, std::string* error) {
    std::string text;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(_wfopen(path.c_str(), L"rb"), &std::fclose);
    const int openError = errno;
    char piece[1 << 14];
    std::size_t n;
    while (f && (n = std::fread(piece, 1, sizeof piece, f.get())) > 0) text.append(piece, n);
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    int count = 0;
    static const std::string kBegin = "-----BEGIN CERTIFICATE-----",
                             kEnd = "-----END CERTIFICATE-----";
    for (std::size_t at = 0; store && (at = text.find(kBegin, at)) != std::string::npos;) {
        std::size_t stop = text.find(kEnd, at);
        if (stop == std::string::npos) break;
        stop += kEnd.size();
        DWORD size = 0;
        std::vector<BYTE> der;
        const char* block = text.data() + at;
        DWORD length = static_cast<DWORD>(stop - at);
        if (CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                                 nullptr)) {
            der.resize(size);
            if (CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                     nullptr, nullptr) &&
                CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                 CERT_STORE_ADD_USE_EXISTING, nullptr))
                ++count;
        }
        at = stop;
    }
    if (count > 0) return store;
    if (store) CertCloseStore(store, 0);
    *error = "NODESCAN_CA_FILE " + NarrowText(path) + " holds no CA certificate that can be read" +
             (f ? "" : " (" + std::generic_category().message(openError) + ")");
    return nullptr;
}

// Why a certificate is not trusted, in the words the Linux build's GnuTLS
// uses.
std::string Refusal(const std::string& why) {
    return "The certificate is NOT trusted. " + why + ".";
}

// Why the chain's trust status refuses it; empty when none of its bits does.
// The CA file's root is trusted (trustedRoot) as the system's are; nesting
// times and revocation (not asked for) do not count.
std::string ChainRefusal(DWORD bits, bool trustedRoot) {
    bits &=
        ~static_cast<DWORD>(CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                            CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (trustedRoot) bits &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
    if (bits == 0) return "";
    if (bits & CERT_TRUST_IS_NOT_TIME_VALID)
        return Refusal("The certificate chain uses expired or not yet valid certificate");
    if (bits & CERT_TRUST_IS_REVOKED) return Refusal("The certificate chain is revoked");
    if (bits & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
        return Refusal("The signature in the certificate is invalid");
    if (bits & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
        return Refusal("The certificate issuer is unknown");
    if (bits & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
        return Refusal("The certificate is not for a TLS server");
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lx", static_cast<unsigned long>(bits));
    return Refusal(std::string("The certificate chain is not valid (trust status ") + hex + ")");
}

// Why the SSL chain policy refused the chain.
std::string PolicyRefusal(DWORD error, const std::string& host) {
    switch (error) {
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        case static_cast<DWORD>(CERT_E_CHAINING):
        case static_cast<DWORD>(CERT_E_UNTRUSTEDCA):
            return Refusal("The certificate issuer is unknown");
        case static_cast<DWORD>(CERT_E_EXPIRED):
            return Refusal("The certificate chain uses expired or not yet valid certificate");
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
            return Refusal("The name in the certificate does not match the expected (" + host +
                           ")");
        case static_cast<DWORD>(CERT_E_REVOKED):
            return Refusal("The certificate chain is revoked");
        case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE):
            return Refusal("The signature in the certificate is invalid");
        case static_cast<DWORD>(CERT_E_WRONG_USAGE):
            return Refusal("The certificate is not for a TLS server");
        default:
            return Refusal(SystemText(error, true));
    }
}

// Whether cert names the address (4 or 16 bytes) among its subjectAltName's
// IP addresses, as a certificate for an address must.
bool NamesAddress(PCCERT_CONTEXT cert, const unsigned char* address, DWORD size) {
    const CERT_EXTENSION* extension = CertFindExtension(
        szOID_SUBJECT_ALT_NAME2, cert->pCertInfo->cExtension, cert->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD length = 0;
    if (!extension || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME,
                                           extension->Value.pbData, extension->Value.cbData,
                                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &length))
        return false;
    bool named = false;
    for (DWORD i = 0; i < names->cAltEntry && !named; ++i) {
        const CERT_ALT_NAME_ENTRY& name = names->rgAltEntry[i];
        named = name.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && name.IPAddress.cbData == size &&
                std::memcmp(name.IPAddress.pbData, address, size) == 0;
    }
    LocalFree(names);
    return named;
}

// Whether the server's certificate of t verifies for host: a chain to a
// root of the system's store or of the CA file NODESCAN_CA_FILE names (with
// the certificates the server sent), in its time, for a TLS server, naming
// host (a name, or an address among its IP addresses). Else false with why
// in *error. The chain's status is read here as well as through the SSL
// policy, and addresses are matched here: Wine's policy checks neither.
bool Verify(TlsSession* t, const std::string& host, std::string* error) {
    PCCERT_CONTEXT cert = nullptr;
    SECURITY_STATUS rc =
        QueryContextAttributesW(&t->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert);
    if (rc != SEC_E_OK || !cert) {
        *error = "the server's certificate cannot be had (" + SystemText(rc, true) + ")";
        return false;
    }
    std::unique_ptr<const CERT_CONTEXT, BOOL (*)(PCCERT_CONTEXT)> server(
        cert, &CertFreeCertificateContext);
    HCERTSTORE ca = nullptr;
    if (const wchar_t* file = _wgetenv(L"NODESCAN_CA_FILE"); file && *file) {
        if (!(ca = LoadCaFile(file, error))) return false;
    }
    // The certificates the chain may be built from besides the system's.
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    auto closeStores = [&] {
        if (extra) CertCloseStore(extra, 0);
        if (ca) CertCloseStore(ca, 0);
    };
    if (extra) {
        CertAddStoreToCollection(extra, cert->hCertStore, 0, 0);
        if (ca) CertAddStoreToCollection(extra, ca, 0, 0);
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, extra, &para, 0, nullptr, &chain)) {
        *error = "the server's certificate chain cannot be built (" +
                 SystemText(GetLastError(), true) + ")";
        closeStores();
        return false;
    }
    std::unique_ptr<const CERT_CHAIN_CONTEXT, void (*)(PCCERT_CHAIN_CONTEXT)> chained(
        chain, &CertFreeCertificateChain);
    // A chain that goes through a certificate of the CA file ends at a root
    // the system does not know: that root is trusted as the store's are,
    // everything else is checked as for them.
    bool trustedRoot = false;
    const CERT_SIMPLE_CHAIN* simple = chain->cChain ? chain->rgpChain[0] : nullptr;
    for (DWORD i = 0; ca && simple && i < simple->cElement && !trustedRoot; ++i) {
        PCCERT_CONTEXT found =
            CertFindCertificateInStore(ca, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                       simple->rgpElement[i]->pCertContext, nullptr);
        trustedRoot = found != nullptr;
        if (found) CertFreeCertificateContext(found);
    }
    closeStores();
    if (!(*error = ChainRefusal(chain->TrustStatus.dwErrorStatus, trustedRoot)).empty())
        return false;
    unsigned char address[16];
    DWORD addressSize = ::inet_pton(AF_INET, host.c_str(), address) == 1    ? 4
                        : ::inet_pton(AF_INET6, host.c_str(), address) == 1 ? 16
                                                                            : 0;
    if (addressSize && !NamesAddress(cert, address, addressSize)) {
        *error = PolicyRefusal(static_cast<DWORD>(CERT_E_CN_NO_MATCH), host);
        return false;
    }
    std::wstring name = WideText(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = addressSize ? nullptr : name.data();
    // SECURITY_FLAG_IGNORE_UNKNOWN_CA of <wininet.h>: what the SSL policy
    // reads beside the chain policy's own flag.
    if (trustedRoot) ssl.fdwChecks = 0x00000100;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = trustedRoot ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) {
        *error =
            "the server's certificate cannot be checked (" + SystemText(GetLastError(), true) + ")";
        return false;
    }
    if (status.dwError != 0) *error = PolicyRefusal(status.dwError, host);
    return status.dwError == 0;
}
}  // namespace

TcpConnection::~TcpConnection() {
    delete tls_;
    if (fd_ != -1) closesocket(SocketOf(fd_));
}

bool TcpConnection::Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
    if (!StartWinsock(error)) return false;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* list = nullptr;
    // A dotted or IPv6 address is used as it is: no name service is asked about it.
    int rc = GetAddrInfoW(WideText(host).c_str(), std::to_wstring(port).c_str(), &hints, &list);
    if (rc != 0) {
        *error = "host not found (" + SystemText(rc) + ")";
        return false;
    }
    *error = "no address";
    for (ADDRINFOW* a = list; a; a = a->ai_next) {
        SOCKET s = WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (s == INVALID_SOCKET) {
            *error = SystemText(WSAGetLastError());
            continue;
        }
        u_long nonBlocking = 1;
        int err = ioctlsocket(s, FIONBIO, &nonBlocking) == 0 ? 0 : WSAGetLastError();
        if (err == 0 && ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0)
            err = WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            // A failed connection shows in the exceptions' set.
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            int n = ::select(0, nullptr, &writable, &failed, &wait);
            int soError = 0, len = sizeof soError;
            if (n == 0) {
                err = WSAETIMEDOUT;
            } else if (n < 0 || ::getsockopt(s, SOL_SOCKET, SO_ERROR,
                                             reinterpret_cast<char*>(&soError), &len) != 0) {
                err = WSAGetLastError();
            } else {
                err = soError;
            }
        }
        if (err == 0) {
            fd_ = static_cast<std::intptr_t>(s);
            break;
        }
        *error = SystemText(err);
        closesocket(s);
    }
    FreeAddrInfoW(list);
    return fd_ != -1;
}

bool TcpConnection::StartTls(const std::string& host, int timeoutMs, std::string* error) {
    auto t = std::make_unique<TlsSession>();
    if (!AcquireCredentials(t.get(), error)) return false;
    // SNI names a host; an address is never sent as one.
    unsigned char address[16];
    if (!IsIPv6Address(host) && ::inet_pton(AF_INET, host.c_str(), address) != 1)
        t->target = WideText(host);
    // The request goes out as whole records (see Send): Nagle's algorithm would
    // hold it back behind the handshake's last flight until the server's
    // delayed acknowledgement.
    BOOL on = TRUE;
    SOCKET s = SocketOf(fd_);
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string why;
    SECURITY_STATUS rc = Negotiate(t.get(), s, true, end, &why);
    if (rc != SEC_E_OK) {
        *error = rc == kTimedOut
                     ? "the TLS handshake did not end within " + std::to_string(timeoutMs) + " ms"
                 : !why.empty() ? why
                                : "the TLS handshake failed (" + SystemText(rc, true) + ")";
        return false;
    }
    // The credentials ask for TLS 1.2 or newer; Wine's SChannel does not
    // heed that.
    SecPkgContext_ConnectionInfo connection{};
    rc = QueryContextAttributesW(&t->context, SECPKG_ATTR_CONNECTION_INFO, &connection);
    if (rc != SEC_E_OK || !(connection.dwProtocol & (SP_PROT_TLS1_2 | SP_PROT_TLS1_3))) {
        *error = "the server offers no TLS 1.2 or newer";
        return false;
    }
    if (!Verify(t.get(), host, error)) return false;
    rc = QueryContextAttributesW(&t->context, SECPKG_ATTR_STREAM_SIZES, &t->sizes);
    if (rc != SEC_E_OK) {
        *error = "the TLS session has no record sizes (" + SystemText(rc, true) + ")";
        return false;
    }
    tls_ = t.release();
    return true;
}

bool TcpConnection::Wait(bool write, int timeoutMs) {
    return WaitSocket(SocketOf(fd_), write, timeoutMs);
}

bool TcpConnection::Send(const char* data, std::size_t n, bool more) {
    SOCKET s = SocketOf(fd_);
    if (!tls_) return SendAll(s, data, n, NetTimeoutMs());
    TlsSession& t = *tls_;
    t.held.append(data, n);
    if (more) return true;
    std::string bytes;
    bytes.swap(t.held);
    std::vector<char> record;
    for (std::size_t at = 0; at < bytes.size();) {
        const ULONG header = t.sizes.cbHeader, trailer = t.sizes.cbTrailer;
        ULONG size =
            static_cast<ULONG>(std::min<std::size_t>(bytes.size() - at, t.sizes.cbMaximumMessage));
        record.resize(header + size + trailer);
        std::memcpy(record.data() + header, bytes.data() + at, size);
        SecBuffer parts[4] = {{header, SECBUFFER_STREAM_HEADER, record.data()},
                              {size, SECBUFFER_DATA, record.data() + header},
                              {trailer, SECBUFFER_STREAM_TRAILER, record.data() + header + size},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
        if (EncryptMessage(&t.context, 0, &desc, 0) != SEC_E_OK) return false;
        // The trailer may come out shorter than its room.
        std::size_t length = parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer;
        if (!SendAll(s, record.data(), length, NetTimeoutMs())) return false;
        at += size;
    }
    return true;
}

long TcpConnection::Receive(char* buf, std::size_t size, int timeoutMs) {
    SOCKET s = SocketOf(fd_);
    if (!tls_) {
        int n;
        while ((n = ::recv(s, buf, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0)) ==
               SOCKET_ERROR) {
            int err = WSAGetLastError();
            if (err == WSAEINTR) continue;
            if (err != WSAEWOULDBLOCK) return -1;
            if (!Wait(false, timeoutMs)) return -2;
        }
        return n;
    }
    TlsSession& t = *tls_;
    while (true) {
        // Bytes decrypted already come without a wait.
        if (t.plainAt < t.plain.size()) {
            std::size_t n = std::min(size, t.plain.size() - t.plainAt);
            std::memcpy(buf, t.plain.data() + t.plainAt, n);
            t.plainAt += n;
            return static_cast<long>(n);
        }
        if (t.closed) return 0;
        if (!t.in.empty()) {
            SecBuffer parts[4] = {{static_cast<ULONG>(t.in.size()), SECBUFFER_DATA, t.in.data()},
                                  {0, SECBUFFER_EMPTY, nullptr},
                                  {0, SECBUFFER_EMPTY, nullptr},
                                  {0, SECBUFFER_EMPTY, nullptr}};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
            const bool alert = t.in[0] == 21;  // the record's content type
            SECURITY_STATUS rc = DecryptMessage(&t.context, &desc, 0, nullptr);
            if (rc == SEC_E_OK || rc == SEC_I_RENEGOTIATE || rc == SEC_I_CONTEXT_EXPIRED) {
                // Both point into t.in.
                std::string plain;
                std::vector<char> extra;
                for (const SecBuffer& part : parts) {
                    const char* p = static_cast<const char*>(part.pvBuffer);
                    if (part.BufferType == SECBUFFER_DATA && p) plain.assign(p, part.cbBuffer);
                    if (part.BufferType == SECBUFFER_EXTRA && p) extra.assign(p, p + part.cbBuffer);
                }
                t.plain.swap(plain);
                t.plainAt = 0;
                t.in.swap(extra);
                // The server's close_notify: the end of its bytes. Wine's
                // SChannel decrypts it as an alert record without data.
                if (rc == SEC_I_CONTEXT_EXPIRED || (rc == SEC_E_OK && alert && t.plain.empty()))
                    t.closed = true;
                // Handshake messages after the handshake (TLS 1.3's session
                // tickets and key updates) go back to SChannel.
                if (rc == SEC_I_RENEGOTIATE) {
                    std::string why;
                    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
                    rc = Negotiate(&t, s, false, end, &why);
                    if (rc != SEC_E_OK) return rc == kTimedOut ? -2 : -1;
                }
                continue;
            }
            if (rc != SEC_E_INCOMPLETE_MESSAGE) return -1;
        }
        // A close without TLS's close_notify is an error: the reply may have
        // been cut off.
        int n = ReceiveMore(s, &t.in, timeoutMs);
        if (n != 1) return n == 0 ? -1 : n;
    }
}
