#include "http/tls.h"

#include <atomic>
#include <cstdlib>

#include <QSslSocket>

#include "services/system_report.h"
#include "services/text.h"

namespace {

std::atomic<bool> g_disabled_for_test{false};
// 0: never tried; 999: tried and refused; otherwise the accepted library version number.
long g_version_number = 0;

bool DisabledByEnvironment() {
    const char* v = std::getenv("HUELET_NO_TLS");
    return v != nullptr && *v != '\0';
}

} // namespace

bool IsAcceptedTlsLibraryVersion(long VersionNumber) {
    // 1.1.1 with any letter release and status nibble.
    if (VersionNumber >= 0x10101000L && VersionNumber <= 0x10101FFFL)
        return true;
    // 3.x: MNN00PP0 with major 3.
    return VersionNumber >= 0x30000000L && VersionNumber <= 0x3FFFFFFFL;
}

void SetTlsDisabledForTest(bool Disabled) {
    g_disabled_for_test = Disabled;
}

bool TlsAvailable() {
    if (g_disabled_for_test || DisabledByEnvironment() || IsPreVista())
        return false;
    if (g_version_number != 0 && g_version_number != 999)
        return true;
    g_version_number = 999;
    try {
        if (QSslSocket::activeBackend() != QLatin1String("openssl") || !QSslSocket::supportsSsl())
            return false;
        const long number = QSslSocket::sslLibraryVersionNumber();
        if (!IsAcceptedTlsLibraryVersion(number))
            return false;
        g_version_number = number;
        return true;
    } catch (...) {
        return false;
    }
}

std::string TlsLibraryVersionText() {
    std::string text = "Not Available";
    try {
        if (TlsAvailable()) {
            const QString v = QSslSocket::sslLibraryVersionString();
            if (!v.isEmpty())
                text = v.toStdString();
        }
    } catch (...) {
    }
    return text;
}

std::string DowngradeUrl(const std::string& Address) {
    if (TextStartsWith(Address, "https") && !TlsAvailable())
        return "http" + RemovePrefix(Address, "https");
    return Address;
}

QSslConfiguration TSslContext::Configuration() const {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(SslVerifyPeer ? QSslSocket::VerifyPeer : QSslSocket::VerifyNone);
    // The oldest protocol the backend still offers, up to the newest.
    config.setProtocol(QSsl::AnyProtocol);

    // Groups: only names the supported library series all know, in the given order. A
    // single unknown name ("P-512" of the default list is none; P-521 is) would make the
    // library refuse the whole list and fail every handshake.
    static const char* const kKnownGroups[] = {"P-256",     "P-384",      "P-521",     "X25519",
                                               "X448",      "prime256v1", "secp384r1", "secp521r1",
                                               "ffdhe2048", "ffdhe3072",  "ffdhe4096"};
    QByteArrayList groups;
    for (const QByteArray& name : QByteArray::fromStdString(SslEcdhGroups).split(':')) {
        const QByteArray trimmed = name.trimmed();
        for (const char* known : kKnownGroups)
            if (trimmed == known && !groups.contains(trimmed))
                groups.append(trimmed);
    }
    if (!groups.isEmpty())
        config.setBackendConfigurationOption("Groups", groups.join(':'));

    // The cipher expression and the security level go to the library as they stand.
    QByteArray cipher_string = QByteArray::fromStdString(SslCipherList);
    if (cipher_string.isEmpty())
        cipher_string = "DEFAULT";
    if (SslSecurityLevel >= 0)
        cipher_string += ":@SECLEVEL=" + QByteArray::number(SslSecurityLevel);
    config.setBackendConfigurationOption("CipherString", cipher_string);
    return config;
}
