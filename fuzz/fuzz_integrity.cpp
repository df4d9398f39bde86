//! libs: zr_store
// A day folder's encrypted hash list ("hash.json") through the whole integrity check; the
// input is the list's plaintext. The verdict is "intact" only when every counted file's real
// digest is in the list, whatever else (a file beside the day folder) the list names.
#include "fuzz/FuzzSupport.h"
#include "store/IntegrityCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QString root = zrfuzz::freshFolder(QStringLiteral("integrity"));
    const QString day = root + QStringLiteral("/zrnova_aaaa-bbbb-cccc-dddd/2025-03-14");
    QDir().mkpath(day + QStringLiteral("/cam3"));
    // A file beside the day folder that a list could try to name.
    ZR_FUZZ_CHECK(zrfuzz::writeFile(root + QStringLiteral("/zrnova_aaaa-bbbb-cccc-dddd/outside.zrvideo"), "outside"));
    const QList<std::pair<QString, QByteArray>> files{
        {QStringLiteral("cam3/3_20250314_080000.zrvideo"), QByteArrayLiteral("video bytes")},
        {QStringLiteral("cam3/3_20250314_080000.zrseek"), QByteArrayLiteral("20250314080000000:1:frame/h264:1:11\n")},
    };
    for (const auto& f : files)
        ZR_FUZZ_CHECK(zrfuzz::writeFile(day + QLatin1Char('/') + f.first, f.second));
    const QByteArray plaintext(reinterpret_cast<const char*>(data), qsizetype(size));
    ZR_FUZZ_CHECK(zrfuzz::writeEncrypted(day + QStringLiteral("/hash.json"), plaintext));

    IntegrityCheck check(day);
    QStringList begun;
    QObject::connect(&check, &IntegrityCheck::begin_check_file, &check,
                     [&begun](const QString& name) { begun.append(name); }, Qt::DirectConnection);
    check.start();
    ZR_FUZZ_CHECK(check.wait(60000));

    if (check.get_result()) {
        QStringList digests;
        for (const QJsonValue& v : QJsonDocument::fromJson(plaintext).array())
            digests.append(v.toObject().value(QStringLiteral("sha256")).toString().toLower());
        for (const auto& f : files)
            ZR_FUZZ_CHECK(digests.contains(sha256(f.second)));
        ZR_FUZZ_CHECK(begun.size() == files.size());
    }
    return 0;
}
