//! libs: zr_export
// The archive extractor on any bytes (every format and filter libarchive reads): it ends with
// one report, and nothing it writes lies outside the destination folder, links included.
#include "export/ArchiveExtractor.h"
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

bool inside(const QString& root, const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    return clean == root || clean.startsWith(root + QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QString sandbox = zrfuzz::freshFolder(QStringLiteral("archive"));
    const QString archive = sandbox + QStringLiteral("/export.tar");
    const QString destination = sandbox + QStringLiteral("/out/dest");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(archive, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));

    ArchiveExtractor extractor;
    extractor.set_archive_path(archive);
    extractor.set_destination_folder(destination);
    int reports = 0;
    bool success = false;
    QObject::connect(&extractor, &ArchiveExtractor::extractionFinished, &extractor, [&](bool ok) {
        ++reports;
        success = ok;
    });
    extractor.startExtraction();
    ZR_FUZZ_CHECK(reports == 1);
    ZR_FUZZ_CHECK(success == extractor.error_text().isEmpty());
    ZR_FUZZ_CHECK(QFileInfo(archive).isFile());

    // Beside the destination only what was there before.
    const QStringList top = QDir(sandbox).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    ZR_FUZZ_CHECK(top.size() <= 2);
    const QStringList middle = QDir(sandbox + QStringLiteral("/out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    ZR_FUZZ_CHECK(middle.isEmpty() || middle == QStringList{QStringLiteral("dest")});
    ZR_FUZZ_CHECK(!QFileInfo(sandbox + QStringLiteral("/out/dest")).isSymLink());

    const QString root = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    QDirIterator it(destination, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        ZR_FUZZ_CHECK(inside(root, info.absoluteFilePath()));
        if (info.isSymLink())
            ZR_FUZZ_CHECK(inside(root, info.symLinkTarget()));
    }
    return 0;
}
