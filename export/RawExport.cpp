#include "export/RawExport.h"

#include "app/Log.h"
#include "store/StoreLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace {

const QString kLog = QStringLiteral("ZRPlayer Raw Exporter :: ");

} // namespace

RawExport::RawExport()
    : QThread(nullptr)
{
}

RawExport::~RawExport()
{
    if (isRunning()) {
        set_stop();
        wait();
    }
}

void RawExport::set_destination(QFileInfo d)
{
    destination = std::move(d);
}

void RawExport::set_files(QFileInfoList f)
{
    files = std::move(f);
}

void RawExport::set_stop()
{
    stop_requested = true;
}

QString RawExport::target_path(const QString& dest, const QString& source)
{
    const QString clean = normalizePath(source);
    const QString root = exportFolderOf(clean);
    if (root.isEmpty())
        return QString();
    const int p = root.lastIndexOf(QLatin1Char('/'));
    return normalizePath(dest) + clean.mid(p);
}

bool RawExport::copy_file(QString source, QString target)
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("copy File ") + source + QStringLiteral(" to ") + target);
    if (!QFileInfo::exists(source)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("copy File :: ") + source + QStringLiteral(" missing."));
        return false;
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("copy File :: create dir ") + folder);
        if (!QDir().mkpath(folder)) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("copy File :: failed to create ") + folder);
            return false;
        }
    }
    // QFile::copy never overwrites: a target already there makes the copy fail.
    if (QFile::copy(QFileInfo(source).absoluteFilePath(), QFileInfo(target).absoluteFilePath()))
        return true;
    write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("copy File :: failed to copy ") + source
              + QStringLiteral(" to ") + target);
    return false;
}

void RawExport::copy_into(const QString& dest, const QString& source)
{
    const QString target = target_path(dest, source);
    if (target.isEmpty()) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("copy File :: not in an export folder :: ") + source);
        ++failed;
        return;
    }
    if (!copy_file(source, target))
        ++failed;
}

void RawExport::run()
{
    const QString dest = destination.path();
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("export path ") + dest);
    failed = 0;
    const int n = int(files.size());
    for (int k = 1; k <= n && !stop_requested; ++k) {
        const QString src = files.at(k - 1).absoluteFilePath();
        copy_into(dest, src);
        emit valueChanged((200 * k - 100) / (2 * n));
        copy_into(dest, seekTablePathFor(src));
        emit valueChanged((200 * k) / (2 * n));
    }

    // Camera-information files of the whole export folder, found under its path as written
    // on disk. An export folder inside it holds copies (a destination chosen inside the
    // export): those are left out, so the export never copies its own copies.
    const QString root = n > 0 ? exportFolderOf(files.first().absoluteFilePath()) : QString();
    if (!root.isEmpty() && !stop_requested) {
        QStringList found;
        QDirIterator it(root, {QStringLiteral("*.zrnfo")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = normalizePath(it.next());
            const QStringList folders = path.mid(root.size() + 1).split(QLatin1Char('/'));
            bool copy = false;
            for (int i = 0; i + 1 < folders.size() && !copy; ++i)
                copy = isExportFolderName(folders.at(i));
            if (!copy)
                found << path;
        }
        found.sort();
        for (const QString& path : std::as_const(found)) {
            if (stop_requested)
                break;
            copy_into(dest, path);
        }
    } else if (n > 0 && root.isEmpty()) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("no export folder above ")
                  + files.first().absoluteFilePath());
    }
    if (failed > 0)
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("files not copied :: ") + QString::number(failed));
    emit copy_failures(failed);
    emit endingsignal();
}
