#pragma once
#include <string>

#include <QSslConfiguration>

// TLS through Qt's TLS backend, which loads the OpenSSL library at run time.

// True when TLS can be used now: the OpenSSL backend works with an accepted release series.
// Once accepted the answer stays true for the process; a refusal is looked at again next call.
// Never throws.
bool TlsAvailable();

// The library's own version text (for example "OpenSSL 3.0.11 19 Sep 2023"), or
// "Not Available".
std::string TlsLibraryVersionText();

// Address with a leading "https" (any case) replaced by "http" when TLS is not available.
std::string DowngradeUrl(const std::string& Address);

// Release series we talk TLS with: 1.1.1 (any letter release) and 3.x, by the number the
// library reports (OPENSSL_VERSION_NUMBER layout).
bool IsAcceptedTlsLibraryVersion(long VersionNumber);

// Test seam: makes TlsAvailable answer false while set. The environment variable
// HUELET_NO_TLS (any non-empty value) does the same for whole programs.
void SetTlsDisabledForTest(bool Disabled);

// TLS settings of one client connection.
class TSslContext {
  public:
    bool SslVerifyPeer = false;
    // OpenSSL cipher expression for TLS 1.2 and below.
    std::string SslCipherList = "ALL:!ADH:RC4+RSA:+SSLv2:@STRENGTH";
    // OpenSSL security level (1: 80-bit).
    int SslSecurityLevel = 1;
    // Key-exchange groups, by name, in order of preference; names the library does not
    // know are left out rather than failing every handshake.
    std::string SslEcdhGroups = "P-256:X25519:P-384:P-512";

    // The Qt configuration for these settings, as far as the library accepts them.
    QSslConfiguration Configuration() const;
};
