//! libs: zr_store
// Integrity check of a generated day of about 2 GB of MJPEG recordings, beside
// `openssl dgst -sha256` over the same files in the same run (page cache warm for both).
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "store/IntegrityCheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The check logs a line per file; keep the figures readable.
    DebugLevel::instance()->set_level(0);

    const QString out = zrbench::tempDir(QStringLiteral("integrity"));
    // 16 one-minute 1080p MJPEG recordings: about 130 MB each.
    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), out, QStringLiteral("--codec"), QStringLiteral("mjpeg"), QStringLiteral("--size"),
               QStringLiteral("1920x1080"), QStringLiteral("--cameras"), QStringLiteral("2"), QStringLiteral("--minutes"),
               QStringLiteral("8"), QStringLiteral("--previews"), QStringLiteral("--seed"), QStringLiteral("3"),
               QStringLiteral("--jobs"), QStringLiteral("3"), QStringLiteral("--json")});
    if (!gen.waitForFinished(-1) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return 1;
    }
    const QJsonObject summary = QJsonDocument::fromJson(gen.readAllStandardOutput()).object();
    const QString day = summary.value(QStringLiteral("days")).toArray().first().toObject().value(QStringLiteral("path")).toString();

    IntegrityCheck probe(day);
    const QList<QFileInfo> files = probe.list_files(day);
    qint64 bytes = 0;
    QFile list(out + QStringLiteral("/files.list"));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (const QFileInfo& f : files) {
        bytes += f.size();
        list.write(f.absoluteFilePath().toLocal8Bit() + '\0');
    }
    list.close();
    const double mb = static_cast<double>(bytes) / 1e6;
    zrbench::reportValue(QStringLiteral("integrity: day size (%1 files)").arg(files.size()), mb, QStringLiteral("MB"));

    const QString openssl = QStringLiteral("xargs -0 -a '%1' openssl dgst -sha256 > /dev/null").arg(list.fileName());
    const QString sha256sum = QStringLiteral("xargs -0 -a '%1' sha256sum > /dev/null").arg(list.fileName());
    // Warm the page cache before either side is timed.
    zrbench::shellSeconds(openssl, 1);

    bool valid = true;
    const double ours = zrbench::bestSeconds([&] {
        IntegrityCheck check(day);
        check.start();
        check.wait();
        valid = valid && check.get_result();
    });
    const double base = zrbench::shellSeconds(openssl);
    if (!valid || base <= 0) {
        std::fprintf(stderr, "integrity check did not validate the day, or openssl failed\n");
        return 1;
    }
    zrbench::report(QStringLiteral("integrity: check of a day vs openssl dgst -sha256"), mb / ours, mb / base,
                    QStringLiteral("MB/s"));
    const double slow = zrbench::shellSeconds(sha256sum, 1);
    if (slow > 0)
        zrbench::reportValue(QStringLiteral("integrity: sha256sum over the same files"), mb / slow, QStringLiteral("MB/s"));

    QDir(out).removeRecursively();
    return 0;
}
