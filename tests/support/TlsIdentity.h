#pragma once

#include <QByteArray>
#include <QString>

namespace zrtest {

// A certificate and its private key (PEM) for a TLS test server on 127.0.0.1.
struct TlsIdentity
{
    QByteArray certificatePem;
    QByteArray keyPem; // EC key

    bool isNull() const { return certificatePem.isEmpty() || keyPem.isEmpty(); }

    // A fresh self-signed certificate for "127.0.0.1" (name and IP address), valid for a
    // day, made with the openssl command. Null, with the reason in error, when that fails.
    static TlsIdentity generateSelfSigned(QString* error = nullptr);
};

} // namespace zrtest
