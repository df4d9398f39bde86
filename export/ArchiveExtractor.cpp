#include "export/ArchiveExtractor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct ReaderFree
{
    void operator()(struct archive* a) const
    {
        archive_read_close(a);
        archive_read_free(a);
    }
};
struct WriterFree
{
    void operator()(struct archive* a) const
    {
        archive_write_close(a);
        archive_write_free(a);
    }
};
using Reader = std::unique_ptr<struct archive, ReaderFree>;
using Writer = std::unique_ptr<struct archive, WriterFree>;

QString archiveError(struct archive* a)
{
    const char* text = archive_error_string(a);
    return text ? QString::fromUtf8(text) : QStringLiteral("Erreur inconnue.");
}

QString entryName(struct archive_entry* entry)
{
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const char* raw = archive_entry_pathname(entry))
        return QString::fromLocal8Bit(raw);
    return QString();
}

bool isAbsoluteName(const QString& name)
{
    return name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'))
        || (name.size() >= 2 && name.at(1) == QLatin1Char(':'));
}

bool hasParentStep(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = n.split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

bool isInside(const QString& root, const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    return clean == root || clean.startsWith(root + QLatin1Char('/'));
}

// Where an entry goes below root; empty when its name would leave the folder.
QString safeTarget(const QString& root, const QString& name)
{
    if (name.isEmpty() || isAbsoluteName(name) || hasParentStep(name))
        return QString();
    const QString target = QDir::cleanPath(root + QLatin1Char('/') + name);
    return isInside(root, target) && target != root ? target : QString();
}

} // namespace

ArchiveExtractor::ArchiveExtractor(QObject* parent)
    : QObject(parent)
{
}

void ArchiveExtractor::startExtraction()
{
    errorText.clear();
    if (!extract()) {
        emit extractionFinished(false);
        return;
    }
    if (deleteArchive && !QFile::remove(archivePath)) {
        errorText = QStringLiteral("Extraction réussie, mais suppression de l’archive échouée.");
        emit extractionFinished(false);
        return;
    }
    if (hashFiles)
        hashExtractedFiles();
    emit extractionFinished(true);
}

bool ArchiveExtractor::extract()
{
    Reader reader(archive_read_new());
    Writer writer(archive_write_disk_new());
    if (!reader || !writer) {
        errorText = QStringLiteral("Erreur inconnue.");
        return false;
    }
    archive_read_support_format_all(reader.get());
    archive_read_support_filter_all(reader.get());
    // Never write through a link that an earlier entry planted, never follow "..".
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT);

    if (archive_read_open_filename(reader.get(), archivePath.toUtf8().constData(), 10240) != ARCHIVE_OK) {
        errorText = archiveError(reader.get());
        return false;
    }

    if (!QDir().mkpath(destinationFolder)) {
        errorText = QStringLiteral("Erreur à l'ouverture du fichier : %1").arg(destinationFolder);
        return false;
    }
    const QString root = QDir::cleanPath(QFileInfo(destinationFolder).absoluteFilePath());
    QStringList refused;

    for (;;) {
        struct archive_entry* entry = nullptr;
        const int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN) {
            // A damaged or truncated archive is not a complete extraction.
            errorText = archiveError(reader.get());
            return false;
        }

        const QString name = entryName(entry);
        const QString target = safeTarget(root, name);
        bool safe = !target.isEmpty();
        if (safe && archive_entry_filetype(entry) == AE_IFLNK) {
            const char* link = archive_entry_symlink_utf8(entry);
            if (!link)
                link = archive_entry_symlink(entry);
            const QString linkText = link ? QString::fromUtf8(link) : QString();
            safe = !linkText.isEmpty() && !isAbsoluteName(linkText)
                && isInside(root, QFileInfo(target).path() + QLatin1Char('/') + linkText);
        }
        QString hardTarget;
        if (safe) {
            const char* hard = archive_entry_hardlink_utf8(entry);
            if (!hard)
                hard = archive_entry_hardlink(entry);
            if (hard) {
                hardTarget = safeTarget(root, QString::fromUtf8(hard));
                safe = !hardTarget.isEmpty();
            }
        }
        if (!safe) {
            refused.append(name);
            if (archive_read_data_skip(reader.get()) < ARCHIVE_WARN) {
                errorText = archiveError(reader.get());
                return false;
            }
            continue;
        }

        QDir().mkpath(QFileInfo(target).path());
        archive_entry_update_pathname_utf8(entry, target.toUtf8().constData());
        if (!hardTarget.isEmpty())
            archive_entry_update_hardlink_utf8(entry, hardTarget.toUtf8().constData());

        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            errorText = archiveError(writer.get());
            return false;
        }
        for (;;) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int d = archive_read_data_block(reader.get(), &block, &size, &offset);
            if (d == ARCHIVE_EOF)
                break;
            if (d < ARCHIVE_WARN) {
                errorText = archiveError(reader.get());
                archive_write_finish_entry(writer.get());
                return false;
            }
            if (archive_write_data_block(writer.get(), block, size, offset) < ARCHIVE_WARN) {
                errorText = archiveError(writer.get());
                archive_write_finish_entry(writer.get());
                return false;
            }
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            errorText = archiveError(writer.get());
            return false;
        }
    }

    if (!refused.isEmpty()) {
        errorText = QStringLiteral("Entrées hors du dossier de destination refusées : %1").arg(refused.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

void ArchiveExtractor::hashExtractedFiles()
{
    QDirIterator it(destinationFolder, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QStringLiteral(".zrtar")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!hash.addData(&file))
            continue;
        emit fileHashed(path, QString::fromLatin1(hash.result().toHex()));
    }
}
