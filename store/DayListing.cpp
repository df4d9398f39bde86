#include "store/DayListing.h"

#include "app/Log.h"
#include "store/StoreLayout.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRFile.h"
#include "store/ZRIndexManager.h"

#include <QDate>
#include <QDir>
#include <QSet>

#include <algorithm>
#include <chrono>

namespace {

// The controller drives these listings: their lines carry its name.
const QString kInfo = QStringLiteral("[INFO] ZRPlayer Interface Controller :: ");
const QString kWarn = QStringLiteral("[WARN] ZRPlayer Interface Controller :: ");

} // namespace

QList<QFileInfo> DayListing::get_days_list(const QString& directory)
{
    write_log(kInfo + QStringLiteral("get days list :: in directory ") + directory);
    QList<QFileInfo> days;
    if (directory.isEmpty() || !QDir(directory).exists())
        return days;
    for (const QFileInfo& entry : sortedEntries(directory, QDir::Dirs)) {
        if (!QDate::fromString(entry.fileName(), QStringLiteral("yyyy-MM-dd")).isValid())
            continue;
        days.append(entry);
        write_log(kInfo + QStringLiteral("get days list :: available dir days append ") + entry.absoluteFilePath());
    }
    return days;
}

QList<QFileInfo> DayListing::zrnfo_with_multiple_directory(const QString& day_directory)
{
    if (day_directory.isEmpty())
        return QList<QFileInfo>();
    const QFileInfoList folders = mediaFoldersOf(day_directory);
    write_log(kInfo + QStringLiteral("zrnfo with multiple directory :: dir list count :: ") + QString::number(folders.size()));
    return cameraInfoFilesIn(folders, QDir::Files);
}

DayListing::DayLoad DayListing::load_day(const QString& path)
{
    DayLoad day;
    write_log(kInfo + QStringLiteral("init day video list :: generate directory snapshot"));
    QStringList changed;
    ZRDirectorySnapshot snapshot;
    const QString hash = snapshot.twoPhase(path, &changed, true);
    if (!changed.isEmpty())
        write_log(QStringLiteral("[INFO] Snapshot: deep verified subtrees = ") + changed.join(QStringLiteral(", ")));

    write_log(kInfo + QStringLiteral("init day video list :: get zrvideo indexfile lastmodified"));
    ZRIndexManager manager;
    const QString stored = manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(path));
    write_log(kInfo + QStringLiteral("init day video list :: directory ") + path + QStringLiteral(" :: hash snapshot :: ") + hash);
    write_log(kInfo + QStringLiteral("init day video list :: last modified from index :: ") + stored);

    // An empty hash means the snapshot failed: it never matches, even a missing index.
    const bool same = !hash.isEmpty() && stored == hash;
    if (same) {
        write_log(kInfo + QStringLiteral("init day video list :: get values from index"));
        const auto started = std::chrono::steady_clock::now();
        manager.get_value_from_indexfile(path, &day.video, &day.alarm, &day.tag, &day.audio, &day.preview);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        write_log(kInfo + QStringLiteral("init day video list :: media file parsed in ") + QString::number(ms, 'g', 6)
                  + QStringLiteral(" ms"));
    }
    const QString last_modified =
        kInfo + QStringLiteral("init day video list :: last modified :: ") + stored + QStringLiteral(" != ") + hash;
    write_log(last_modified);
    write_log(kInfo + QStringLiteral("init day video list :: available video :: ") + QString::number(day.video.size()));
    if (!same || day.video.isEmpty()) {
        write_log(last_modified);
        day.rebuild = true;
    }
    return day;
}

DayListing::CameraListing DayListing::list_cameras_for_date(const QString& root, const QString& date)
{
    CameraListing result;
    QHash<int, QString>& table = result.table;
    write_log(kInfo + QStringLiteral("get cameras for date ") + date);
    if (root.isEmpty()) {
        write_log(kWarn + QStringLiteral("get cameras for date :: main directory empty"));
        result.error = QStringLiteral("Le répertoire principal est vide.");
        return result;
    }
    write_log(kInfo + QStringLiteral("get cameras for date :: directory ") + root);
    const QString day_folder = root + QLatin1Char('/') + date;
    write_log(kInfo + QStringLiteral("get cameras for date :: date directory ") + day_folder);
    const QDir day_dir(day_folder);
    if (date.isEmpty() || !day_dir.exists()) {
        write_log(kWarn + QStringLiteral("get cameras for date :: date directory ") + day_folder + QStringLiteral(" do not exist"));
        result.error = QStringLiteral("Le dossier ") + day_folder + QStringLiteral(" n'existe pas.");
        return result;
    }
    if (day_dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty()) {
        write_log(kWarn + QStringLiteral("get cameras for date :: date directory ") + day_folder + QStringLiteral(" empty"));
        result.error = QStringLiteral("Aucun enregistrement trouvé dans le dossier ") + day_folder;
        return result;
    }

    const QFileInfoList nfo_files = day_dir.entryInfoList({QStringLiteral("*.zrnfo")}, QDir::Files, QDir::Name);
    int others = 0;
    for (const QFileInfo& f : nfo_files) {
        if (f.fileName().contains(QLatin1String("index"))) {
            write_log(kInfo + QStringLiteral("get cameras for date :: zrnfo index path ") + f.filePath());
            table = ZRFile::check_and_parse_nfo_file(f, table);
        } else {
            ++others;
        }
    }
    const bool accepted = !table.isEmpty() && (nfo_files.size() < 2 || table.size() == others);
    if (!accepted) {
        write_log(kInfo + QStringLiteral("get cameras for date :: m_hash_camera_id_name.size() ::  ")
                  + QString::number(table.size()));
        write_log(kInfo + QStringLiteral("get cameras for date :: zrnfo_cam_count  ::  ") + QString::number(others));
        for (const QFileInfo& f : nfo_files) {
            write_log(kInfo + QStringLiteral("get cameras for date :: zrnfo path ") + f.filePath());
            table = ZRFile::check_and_parse_nfo_file(f, table);
        }
        if (table.isEmpty()) {
            ZRIndexManager manager;
            QList<QFileInfo> media_nfo = manager.zrnfo_with_multiple_directory(day_folder);
            std::sort(media_nfo.begin(), media_nfo.end(), [](const QFileInfo& a, const QFileInfo& b) {
                return nameLessThan(a.absoluteFilePath(), b.absoluteFilePath());
            });
            write_log(kInfo + QStringLiteral("get cameras for date :: ZRNfo count ") + QString::number(media_nfo.size()));
            for (const QFileInfo& f : media_nfo) {
                write_log(kInfo + QStringLiteral("get cameras for date :: zrnfo path ") + f.absoluteFilePath());
                table = ZRFile::check_and_parse_nfo_file(f, table);
            }
            if (table.isEmpty()) {
                for (const QFileInfo& f : media_nfo)
                    table = ZRFile::read_camera_names_file(f, table);
            }
        }
        if (!table.isEmpty())
            ZRFile::create_zrnfo_index_file(QFileInfo(day_folder + QStringLiteral("/index.zrnfo")), table);
    }

    result.day = load_day(day_folder);
    result.day_loaded = true;

    // Recordings of cameras that no camera file names still get an entry.
    QSet<QString> seen;
    for (const QFileInfo& f : std::as_const(result.day.video)) {
        const QString text = recordingCameraText(f.fileName());
        if (text.isEmpty() || seen.contains(text))
            continue;
        seen.insert(text);
        bool ok = false;
        const int id = text.toInt(&ok);
        if (ok && !table.contains(id))
            table.insert(id, QStringLiteral("Camera ") + text);
    }
    if (table.isEmpty())
        write_log(kWarn + QStringLiteral("get cameras for date :: no camera found"));
    result.cameras = table.values();
    return result;
}
