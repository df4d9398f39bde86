#include "tests/support/TlsIdentity.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace zrtest {

TlsIdentity TlsIdentity::generateSelfSigned(QString* error)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        if (error)
            *error = QStringLiteral("no temporary folder");
        return {};
    }
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"),
                   QStringLiteral("1"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("openssl failed: ") + openssl.errorString() + QLatin1Char(' ')
                + QString::fromLocal8Bit(openssl.readAllStandardError());
        return {};
    }
    QFile certFile(cert);
    QFile keyFile(key);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("openssl wrote no files");
        return {};
    }
    TlsIdentity identity;
    identity.certificatePem = certFile.readAll();
    identity.keyPem = keyFile.readAll();
    return identity;
}

} // namespace zrtest
