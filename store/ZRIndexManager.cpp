#include "store/ZRIndexManager.h"

#include "app/Log.h"
#include "store/IndexPlacement.h"
#include "store/StoreLayout.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QString kLogPrefix = QStringLiteral("[INFO] ZRIndex Manager :: ");

QJsonArray pathArray(const QList<QFileInfo>& files)
{
    QJsonArray array;
    for (const QFileInfo& info : files)
        array.append(info.absoluteFilePath());
    return array;
}

QString joinPath(const QString& folder, const QString& rest)
{
    return rest.isEmpty() ? folder : normalizePath(folder + QLatin1Char('/') + rest);
}

// A stored path that names no drive and no share and is relative here.
bool isStoredRelative(const QString& forward)
{
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:/"));
    return QFileInfo(forward).isRelative() && !drive.match(forward).hasMatch()
        && !forward.startsWith(QLatin1String("//"));
}

// The part of a path below "<zrnova_…>/<yyyy-MM-dd>/", matched on whole components, so that a
// parent folder named like a date cannot be taken for the day.
bool restBelowDay(const QString& normalized, QString* rest)
{
    static const QRegularExpression dayName(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QStringList parts = normalized.split(QLatin1Char('/'));
    for (int i = 0; i + 1 < parts.size(); ++i) {
        if (isExportFolderName(parts.at(i)) && dayName.match(parts.at(i + 1)).hasMatch()) {
            *rest = parts.mid(i + 2).join(QLatin1Char('/'));
            return true;
        }
    }
    return false;
}

} // namespace

bool ZRIndexManager::splitDayPath(const QFileInfo& day, QString& exportName, QString& dayName, QString& exportPath)
{
    const QString folder = normalizePath(day.isDir() ? day.absoluteFilePath() : day.absolutePath());
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    const QString name = folder.mid(slash + 1);
    static const QRegularExpression dayPattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!dayPattern.match(name).hasMatch())
        return false;
    if (slash < 0)
        return false;
    const QString parent = slash == 0 ? QStringLiteral("/") : folder.left(slash);
    if (parent == folder)
        return false;
    exportName = parent.mid(parent.lastIndexOf(QLatin1Char('/')) + 1);
    dayName = name;
    exportPath = normalizePath(parent);
    return true;
}

QString ZRIndexManager::dayIndexPath(const QFileInfo& day)
{
    QString exportName;
    QString dayName;
    QString exportPath;
    if (!splitDayPath(day, exportName, dayName, exportPath))
        return QString();
    const QString base = exportPath.endsWith(QLatin1Char('/')) ? exportPath : exportPath + QLatin1Char('/');
    return base + QStringLiteral(".zrindex/") + dayName + QStringLiteral("/zrvideoindex.json");
}

void ZRIndexManager::background_generation(QString root_directory)
{
    QString path = root_directory;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');

    bool ok = false;
    QString error;
    if (!isInExportFolder(path)) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: failed to start background generation in :: ") + path);
        error = QStringLiteral("Le dossier ") + path + QStringLiteral(" n'est pas un dossier zrnova.");
    } else if (!isDayFolderPath(path)) {
        write_log(kLogPrefix + QStringLiteral("base zrnova directory :: ") + path);
        ok = true;
    } else {
        write_log(kLogPrefix + QStringLiteral("start background generation in :: ") + path);
        QElapsedTimer timer;
        timer.start();

        // The hash is taken before the scan: a change made during the scan then leaves the
        // stored hash behind the day, and the next check rebuilds it.
        const QString hash = snapshotHash(path);

        QList<QFileInfo> video, alarm, tag, audio, preview, zrnfo;
        parse_informations_with_multiple_directory(path, &video, &alarm, &tag, &audio, &preview, &zrnfo);
        regenerate_zrnfo_index_with_filelist(path, zrnfo);
        if (!video.isEmpty()) {
            writeIndex(path, video, alarm, tag, audio, preview, hash);
            const double ms = double(timer.nsecsElapsed()) / 1000000.0;
            write_log(kLogPrefix + QStringLiteral("background generation :: regenerated index for ") + path
                      + QStringLiteral(" in ") + QString::asprintf("%g", ms) + QStringLiteral(" ms"));
            ok = true;
        } else {
            write_log(QStringLiteral("[WARN] ZRIndex Manager :: background generation :: no video data found in ") + path);
            error = QStringLiteral("Aucun enregistrement trouvé dans le dossier ") + path;
        }
    }

    if (ok) {
        emit success();
    } else if (!error.isEmpty()) {
        write_log(kLogPrefix + QStringLiteral("error Occurred :: ") + error);
        emit errorOccurred(error);
    }
    emit finished();
}

void ZRIndexManager::parse_informations_with_multiple_directory(QString dir, QList<QFileInfo>* video,
                                                                QList<QFileInfo>* alarm, QList<QFileInfo>* tag,
                                                                QList<QFileInfo>* audio, QList<QFileInfo>* preview,
                                                                QList<QFileInfo>* zrnfo)
{
    if (!video || !alarm || !tag || !audio || !preview || !zrnfo) {
        write_log("[ERROR] ZRIndex Manager :: parse_informations_with_multiple_directory :: null output list");
        return;
    }
    if (dir.isEmpty()) {
        write_log("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: empty root");
        return;
    }
    if (!QFileInfo(dir).isDir()) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: root not found: ") + dir);
        return;
    }

    const QFileInfoList folders = mediaFoldersOf(dir);
    write_log(kLogPrefix + QStringLiteral("videolist with multiple directory :: dir list count : ")
              + QString::number(folders.size()));

    QList<QFileInfo> v, al, t, au, p, n;
    for (const QFileInfo& folder : folders) {
        // One listing per media folder; the seek-table companions are looked up in it.
        const QFileInfoList files = sortedEntries(folder.absoluteFilePath(), QDir::Files);
        QHash<QString, qint64> sizes;
        sizes.reserve(files.size());
        for (const QFileInfo& file : files)
            sizes.insert(file.fileName(), file.size());
        const auto siblingSize = [&sizes](const QString& name) { return sizes.value(name, -1); };
        for (const QFileInfo& file : files) {
            switch (classifyMedia(file.fileName(), sizes.value(file.fileName()), siblingSize)) {
            case MediaKind::Video: v.append(file); break;
            case MediaKind::Audio: au.append(file); break;
            case MediaKind::Preview: p.append(file); break;
            case MediaKind::Alarm: al.append(file); break;
            case MediaKind::Tag: t.append(file); break;
            case MediaKind::CameraInfo: n.append(file); break;
            case MediaKind::None: break;
            }
        }
    }
    video->append(v);
    alarm->append(al);
    tag->append(t);
    audio->append(au);
    preview->append(p);
    zrnfo->append(n);
}

void ZRIndexManager::regenerate_zrnfo_index_with_filelist(QString dayDir, QList<QFileInfo> files)
{
    ZRFile::CameraTable table;
    for (const QFileInfo& file : files) {
        write_log(kLogPrefix + QStringLiteral("regenerate zrnfo index with filelist :: zrnfo path ") + file.absoluteFilePath());
        table = ZRFile::check_and_parse_nfo_file(file, std::move(table));
    }
    if (table.isEmpty())
        for (const QFileInfo& file : files)
            table = ZRFile::read_camera_names_file(file, std::move(table));
    if (table.isEmpty())
        return;
    const QString day = normalizePath(QFileInfo(dayDir).absoluteFilePath());
    ZRFile::create_zrnfo_index_file(QFileInfo(day + QStringLiteral("/index.zrnfo")), table);
}

QString ZRIndexManager::snapshotHash(const QString& dayDir)
{
    ZRDirectorySnapshot snapshot;
    QStringList changed;
    const QString hash = snapshot.twoPhase(dayDir, &changed, true);
    if (!changed.isEmpty())
        write_log(QStringLiteral("[INFO] Snapshot: deep verified subtrees = ") + changed.join(QStringLiteral(", ")));
    return hash.isNull() ? QStringLiteral("") : hash;
}

void ZRIndexManager::create_zrindexfile(QString dayDir, QList<QFileInfo> video, QList<QFileInfo> alarm,
                                        QList<QFileInfo> tag, QList<QFileInfo> audio, QList<QFileInfo> preview)
{
    writeIndex(dayDir, video, alarm, tag, audio, preview, snapshotHash(dayDir));
}

void ZRIndexManager::writeIndex(const QString& dayDir, const QList<QFileInfo>& video, const QList<QFileInfo>& alarm,
                                const QList<QFileInfo>& tag, const QList<QFileInfo>& audio,
                                const QList<QFileInfo>& preview, const QString& hash)
{
    QJsonArray dateDirectories;
    if (!QFileInfo(dayDir).isDir()) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: create zrindexfile :: get available days :: ") + dayDir
                  + QStringLiteral("is not a directory"));
    } else {
        for (const QFileInfo& sub : sortedEntries(dayDir, QDir::Dirs))
            if (isValidDayName(sub.fileName()))
                dateDirectories.append(sub.absoluteFilePath());
    }

    QJsonObject index;
    index.insert(QStringLiteral("date_directory"), dateDirectories);
    index.insert(QStringLiteral("last_modified"), hash);
    index.insert(QStringLiteral("root_directory"), normalizePath(QFileInfo(dayDir).absoluteFilePath()));
    index.insert(QStringLiteral("zralarm_files"), pathArray(alarm));
    index.insert(QStringLiteral("zraudio_files"), pathArray(audio));
    index.insert(QStringLiteral("zrpreview_files"), pathArray(preview));
    index.insert(QStringLiteral("zrtag_files"), pathArray(tag));
    index.insert(QStringLiteral("zrvideo_files"), pathArray(video));
    write_log(kLogPrefix + QStringLiteral("create zrindexfile :: last modified value ") + hash);

    QString written;
    if (writeDayIndexJson(QFileInfo(dayDir), QJsonDocument(index).toJson(QJsonDocument::Compact), &written))
        write_log(kLogPrefix + QStringLiteral("create zrindexfile :: index written at ") + written);
    else
        write_log("[ERROR] ZRIndex Manager :: create zrindexfile :: writeDayIndexJson failed");
}

namespace {

bool writeAtomically(const QString& folder, const QByteArray& json, QString* writtenPath)
{
    if (!QDir().mkpath(folder))
        return false;
    const QString path = folder + QStringLiteral("/zrvideoindex.json");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(json) != json.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    if (writtenPath)
        *writtenPath = path;
    return true;
}

} // namespace

bool ZRIndexManager::writeDayIndexJson(const QFileInfo& day, const QByteArray& json, QString* writtenPath)
{
    QString exportName;
    QString dayName;
    QString exportPath;
    if (!splitDayPath(day, exportName, dayName, exportPath))
        return false;
    const QString folder = (exportPath.endsWith(QLatin1Char('/')) ? exportPath : exportPath + QLatin1Char('/'))
        + QStringLiteral(".zrindex/") + dayName;
    if (IndexPlacement::canWriteInto(folder))
        return writeAtomically(folder, json, writtenPath);
    // A read-only export keeps its index in its stand-in in the per-user folder.
    write_log(kLogPrefix + QStringLiteral("writeDayIndexJson :: export not writable, index kept in the per-user folder"));
    return writeAtomically(QFileInfo(userDayIndexPath(day)).absolutePath(), json, writtenPath);
}

QString ZRIndexManager::userDayIndexPath(const QFileInfo& day)
{
    QString exportName;
    QString dayName;
    QString exportPath;
    if (!splitDayPath(day, exportName, dayName, exportPath))
        return QString();
    return IndexPlacement::userFolderOf(exportPath) + QLatin1Char('/') + dayName + QStringLiteral("/zrvideoindex.json");
}

QString ZRIndexManager::readDayIndexPath(const QFileInfo& day)
{
    const QString own = dayIndexPath(day);
    if (own.isEmpty() || IndexPlacement::canWriteInto(QFileInfo(own).absolutePath()))
        return own;
    // A read-only export: the index written for it, else the one it carries.
    const QString user = userDayIndexPath(day);
    return QFileInfo::exists(user) || !QFileInfo::exists(own) ? user : own;
}

void ZRIndexManager::get_value_from_indexfile(QString dayDir, QList<QFileInfo>* video, QList<QFileInfo>* alarm,
                                              QList<QFileInfo>* tag, QList<QFileInfo>* audio,
                                              QList<QFileInfo>* preview)
{
    if (!video || !alarm || !tag || !audio || !preview) {
        write_log("[ERROR] ZRIndex Manager :: get_value_from_indexfile :: null output list");
        return;
    }
    const QString indexPath = readDayIndexPath(QFileInfo(dayDir));
    write_log(kLogPrefix + QStringLiteral("get_value_from_indexfile :: zrvideoindex.json path :: ") + indexPath);
    if (indexPath.isEmpty()) {
        write_log("[WARN] ZRIndex Manager :: get_value_from_indexfile :: empty index path (bad root?)");
        return;
    }
    QFile file(indexPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: get_value_from_indexfile :: failed to open index file: ")
                  + file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: get_value_from_indexfile :: invalid JSON: ")
                  + parseError.errorString());
        return;
    }
    QJsonObject index = doc.object();

    const QString currentDay = normalizePath(QFileInfo(dayDir).absoluteFilePath());
    const QString currentExport = normalizePath(QFileInfo(currentDay).absolutePath());
    const QString storedRoot = normalizePath(index.value(QStringLiteral("root_directory")).toString());
    const bool moved = !storedRoot.isEmpty() && storedRoot.compare(currentDay, Qt::CaseInsensitive) != 0;

    const QList<std::pair<QString, QList<QFileInfo>*>> keys = {
        {QStringLiteral("zrvideo_files"), video},   {QStringLiteral("zralarm_files"), alarm},
        {QStringLiteral("zrtag_files"), tag},       {QStringLiteral("zraudio_files"), audio},
        {QStringLiteral("zrpreview_files"), preview}};
    bool rebased = false;
    for (const auto& key : keys) {
        const QJsonArray stored = index.value(key.first).toArray();
        QJsonArray rewritten;
        for (const QJsonValue& value : stored) {
            const QString s = value.isString() ? value.toString() : QString();
            if (s.isEmpty()) {
                rewritten.append(s);
                continue;
            }
            QString forward = s;
            forward.replace(QLatin1Char('\\'), QLatin1Char('/'));
            const QString normalized = normalizePath(s);
            QString target;
            QString rest;
            if (isStoredRelative(forward)) {
                target = joinPath(currentDay, normalized);
                rewritten.append(s);
            } else if (moved && isPathUnder(s, storedRoot, Qt::CaseInsensitive)) {
                const QString remainder = normalized.size() > storedRoot.size() ? normalized.mid(storedRoot.size() + 1) : QString();
                target = joinPath(currentDay, remainder);
                rewritten.append(target);
                rebased = true;
            } else if (isPathUnder(s, currentExport, Qt::CaseInsensitive)) {
                target = s;
                rewritten.append(s);
            } else if (restBelowDay(normalized, &rest)) {
                target = joinPath(currentDay, rest);
                rewritten.append(target);
                rebased = true;
            } else {
                target = s;
                rewritten.append(s);
            }
            key.second->append(QFileInfo(target));
        }
        if (rebased)
            index.insert(key.first, rewritten);
    }

    if (!rebased)
        return;
    index.insert(QStringLiteral("root_directory"), currentDay);
    write_log(QStringLiteral("[INFO] ZRIndex Manager :: get_value_from_indexfile :: root moved \u2014 rewriting index"));
    // Back to the same file, unless that is the copy a read-only export carries.
    QString savePath = indexPath;
    if (!IndexPlacement::canWriteInto(QFileInfo(indexPath).absolutePath())) {
        savePath = userDayIndexPath(QFileInfo(currentDay));
        QDir().mkpath(QFileInfo(savePath).absolutePath());
    }
    QSaveFile save(savePath);
    if (!save.open(QIODevice::WriteOnly | QIODevice::Text)) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: get_value_from_indexfile :: cannot rewrite index: ")
                  + save.errorString());
        return;
    }
    const QByteArray json = QJsonDocument(index).toJson(QJsonDocument::Compact);
    if (save.write(json) != json.size()) {
        save.cancelWriting();
        write_log("[WARN] ZRIndex Manager :: get_value_from_indexfile :: rewrite short write");
        return;
    }
    if (!save.commit())
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: get_value_from_indexfile :: rewrite commit failed: ")
                  + save.errorString());
}

QString ZRIndexManager::get_zrvideo_indexfile_lastmodified_hash(QFileInfo day)
{
    const QString indexPath = readDayIndexPath(day);
    write_log(kLogPrefix + QStringLiteral("get_zrvideo_indexfile_lastmodified_hash :: zrvideoindex.json path :: ")
              + indexPath);
    if (indexPath.isEmpty() || !QFileInfo::exists(indexPath))
        return QString();
    QFile file(indexPath);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QJsonValue value = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("last_modified"));
    return value.isString() ? value.toString() : QString();
}

QList<QFileInfo> ZRIndexManager::zrnfo_with_multiple_directory(QString dayDir)
{
    QList<QFileInfo> out;
    if (dayDir.isEmpty())
        return out;
    const QFileInfoList folders = mediaFoldersOf(dayDir);
    write_log(kLogPrefix + QStringLiteral("zrnfo with multiple directory :: dir list count :: ")
              + QString::number(folders.size()));
    return cameraInfoFilesIn(folders, QDir::Files | QDir::Dirs);
}
