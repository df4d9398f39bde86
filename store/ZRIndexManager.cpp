#include "store/ZRIndexManager.h"

#include "app/Log.h"
#include "platform/FolderEntries.h"
#include "store/FolderListings.h"
#include "store/IndexPlacement.h"
#include "store/StoreLayout.h"
#include "store/StoredIndexHash.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const QString kLogPrefix = QStringLiteral("[INFO] ZRIndex Manager :: ");

// Printable ASCII other than the double quote and the backslash: JSON strings hold such text
// as it is.
bool isPlainJsonText(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7e || u == u'"' || u == u'\\')
            return false;
    }
    return true;
}

void appendPlain(QByteArray& json, QStringView text)
{
    const qsizetype start = json.size();
    json.resize(start + text.size());
    char* out = json.data() + start;
    for (const QChar c : text)
        *out++ = char(c.unicode());
}

// Appends text as a JSON string, byte for byte as the JSON library writes it: plain text as it
// is, any other text written by the library itself. A day's paths are nearly always plain; the
// library's own objects would cost more for them than the scan of the disk does.
void appendJsonString(QByteArray& json, const QString& text)
{
    if (isPlainJsonText(text)) {
        json.append('"');
        appendPlain(json, text);
        json.append('"');
        return;
    }
    const QByteArray one = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    json.append(one.constData() + 1, one.size() - 2); // without "[" and "]"
}

QByteArray jsonArray(const QStringList& texts)
{
    QByteArray json;
    json.append('[');
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            json.append(',');
        appendJsonString(json, texts.at(i));
    }
    json.append(']');
    return json;
}

QByteArray jsonPathArray(const QList<QFileInfo>& files)
{
    QStringList paths;
    paths.reserve(files.size());
    for (const QFileInfo& info : files)
        paths.append(info.absoluteFilePath());
    return jsonArray(paths);
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

// The day's media folders, by name, as absolute paths; false, logged, when dir names no folder.
bool mediaFolderPaths(const QString& dir, QStringList* paths)
{
    if (dir.isEmpty()) {
        write_log("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: empty root");
        return false;
    }
    if (!QFileInfo(dir).isDir()) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: root not found: ") + dir);
        return false;
    }
    const QFileInfoList folders = mediaFoldersOf(dir);
    write_log(kLogPrefix + QStringLiteral("videolist with multiple directory :: dir list count : ")
              + QString::number(folders.size()));
    for (const QFileInfo& folder : folders)
        paths->append(folder.absoluteFilePath());
    return true;
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

        // The day's media folders are found once, for the scan and the index's folder list, and
        // listed once, several at a time, for both the hash and the scan, each folder's time
        // read before its entries: a change made after its listing leaves the stored hash
        // behind the day, and the next check rebuilds it.
        QStringList folders;
        mediaFolderPaths(path, &folders);
        FolderListings listings;
        listings.listAll(folders);
        const QString hash = snapshotHash(path, &listings);

        DayScan scan;
        scanDay(folders, &listings, &scan);
        regenerate_zrnfo_index_with_filelist(path, scan.infos(scan.zrnfo));
        if (!scan.video.empty()) {
            writeIndex(
                path, folders, [&scan](MediaKind kind, QByteArray* json) { scan.appendJson(scan.list(kind), json); },
                scan.jsonSize(), hash);
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
    QStringList folders;
    if (!mediaFolderPaths(dir, &folders))
        return;
    DayScan scan;
    scanDay(folders, nullptr, &scan);
    video->append(scan.infos(scan.video));
    alarm->append(scan.infos(scan.alarm));
    tag->append(scan.infos(scan.tag));
    audio->append(scan.infos(scan.audio));
    preview->append(scan.infos(scan.preview));
    zrnfo->append(scan.infos(scan.zrnfo));
}

void ZRIndexManager::scanDay(const QStringList& folders, const FolderListings* listings, DayScan* scan)
{
    std::vector<zrplatform::FolderEntry> entries;
    std::vector<const zrplatform::FolderEntry*> files;
    for (const QString& path : folders) {
        // One pass over each media folder gives every file's size with its name; the seek-table
        // companions are looked up among them. The files are those a plain listing shows:
        // no hidden entries, links followed to their files.
        const qsizetype number = scan->folders.size();
        scan->folders.append(path);
        const FolderListings::Listing* given = listings ? listings->find(path) : nullptr;
        if (!given || !given->ok)
            zrplatform::list_folder(path, &entries);
        files.clear();
        for (const zrplatform::FolderEntry& entry : given && given->ok ? given->entries : entries)
            if (!entry.hidden && entry.type == zrplatform::FolderEntry::Type::File)
                files.push_back(&entry);
        const auto byName = [](const zrplatform::FolderEntry* a, const zrplatform::FolderEntry* b) {
            return nameLessThan(a->name, b->name);
        };
        if (!std::is_sorted(files.begin(), files.end(), byName))
            std::sort(files.begin(), files.end(), byName);
        const auto siblingSize = [&files](const QString& name) -> qint64 {
            const auto it = std::lower_bound(files.begin(), files.end(), name,
                                             [](const zrplatform::FolderEntry* e, const QString& n) { return nameLessThan(e->name, n); });
            return it != files.end() && (*it)->name == name ? (*it)->size : -1;
        };
        for (const zrplatform::FolderEntry* file : files) {
            std::vector<DayScan::File>* list = nullptr;
            switch (classifyMedia(file->name, file->size, siblingSize)) {
            case MediaKind::Video: list = &scan->video; break;
            case MediaKind::Audio: list = &scan->audio; break;
            case MediaKind::Preview: list = &scan->preview; break;
            case MediaKind::Alarm: list = &scan->alarm; break;
            case MediaKind::Tag: list = &scan->tag; break;
            case MediaKind::CameraInfo: list = &scan->zrnfo; break;
            case MediaKind::None: break;
            }
            if (list)
                list->push_back({number, file->name});
        }
    }
}

QList<QFileInfo> ZRIndexManager::DayScan::infos(const std::vector<File>& files) const
{
    QList<QFileInfo> out;
    out.reserve(qsizetype(files.size()));
    for (const File& file : files)
        out.append(QFileInfo(folders.at(file.folder) + QLatin1Char('/') + file.name));
    return out;
}

const std::vector<ZRIndexManager::DayScan::File>& ZRIndexManager::DayScan::list(MediaKind kind) const
{
    switch (kind) {
    case MediaKind::Video: return video;
    case MediaKind::Alarm: return alarm;
    case MediaKind::Tag: return tag;
    case MediaKind::Audio: return audio;
    case MediaKind::Preview: return preview;
    case MediaKind::CameraInfo:
    case MediaKind::None: break;
    }
    return zrnfo;
}

qsizetype ZRIndexManager::DayScan::jsonSize() const
{
    qsizetype size = 0;
    for (const std::vector<File>* files : {&video, &alarm, &tag, &audio, &preview})
        for (const File& file : *files)
            size += folders.at(file.folder).size() + file.name.size() + 4;
    return size + 10;
}

void ZRIndexManager::DayScan::appendJson(const std::vector<File>& files, QByteArray* json) const
{
    // A folder's path is clean and absolute, and a listed name holds no "/": their join is
    // the file's absolute path as it stands. Plain folders are written out once; the library
    // writes the rare other paths. The size is worked out first, the bytes then written in place.
    std::vector<QByteArray> plainFolders;
    for (const QString& folder : folders) {
        QByteArray bytes;
        if (isPlainJsonText(folder)) {
            bytes.append('"');
            appendPlain(bytes, folder);
            bytes.append('/');
        }
        plainFolders.push_back(bytes);
    }
    std::vector<bool> plain(files.size());
    std::vector<QByteArray> others;
    qsizetype size = 2 + (files.empty() ? 0 : qsizetype(files.size()) - 1);
    for (size_t i = 0; i < files.size(); ++i) {
        const File& file = files[i];
        const QByteArray& folder = plainFolders[size_t(file.folder)];
        plain[i] = !folder.isEmpty() && isPlainJsonText(file.name);
        if (plain[i]) {
            size += folder.size() + file.name.size() + 1;
        } else {
            QByteArray one;
            appendJsonString(one, folders.at(file.folder) + QLatin1Char('/') + file.name);
            size += one.size();
            others.push_back(std::move(one));
        }
    }
    const qsizetype start = json->size();
    json->resize(start + size);
    char* out = json->data() + start;
    *out++ = '[';
    auto other = others.cbegin();
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0)
            *out++ = ',';
        const File& file = files[i];
        if (plain[i]) {
            const QByteArray& folder = plainFolders[size_t(file.folder)];
            memcpy(out, folder.constData(), size_t(folder.size()));
            out += folder.size();
            for (const QChar c : file.name)
                *out++ = char(c.unicode());
            *out++ = '"';
        } else {
            memcpy(out, other->constData(), size_t(other->size()));
            out += other->size();
            ++other;
        }
    }
    *out++ = ']';
    Q_ASSERT(out == json->data() + json->size());
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

QString ZRIndexManager::snapshotHash(const QString& dayDir, const FolderListings* listings)
{
    ZRDirectorySnapshot snapshot;
    snapshot.useListings(listings);
    QStringList changed;
    const QString hash = snapshot.twoPhase(dayDir, &changed, true);
    if (!changed.isEmpty())
        write_log(QStringLiteral("[INFO] Snapshot: deep verified subtrees = ") + changed.join(QStringLiteral(", ")));
    return hash.isNull() ? QStringLiteral("") : hash;
}

void ZRIndexManager::create_zrindexfile(QString dayDir, QList<QFileInfo> video, QList<QFileInfo> alarm,
                                        QList<QFileInfo> tag, QList<QFileInfo> audio, QList<QFileInfo> preview)
{
    QStringList mediaFolders;
    if (!QFileInfo(dayDir).isDir()) {
        write_log(QStringLiteral("[WARN] ZRIndex Manager :: create zrindexfile :: get available days :: ") + dayDir
                  + QStringLiteral("is not a directory"));
    } else {
        for (const QFileInfo& sub : mediaFoldersOf(dayDir))
            mediaFolders.append(sub.absoluteFilePath());
    }
    const auto lists = [&](MediaKind kind, QByteArray* json) {
        switch (kind) {
        case MediaKind::Video: json->append(jsonPathArray(video)); break;
        case MediaKind::Alarm: json->append(jsonPathArray(alarm)); break;
        case MediaKind::Tag: json->append(jsonPathArray(tag)); break;
        case MediaKind::Audio: json->append(jsonPathArray(audio)); break;
        case MediaKind::Preview: json->append(jsonPathArray(preview)); break;
        case MediaKind::CameraInfo:
        case MediaKind::None: json->append("[]"); break;
        }
    };
    writeIndex(dayDir, mediaFolders, lists, 0, snapshotHash(dayDir));
}

void ZRIndexManager::writeIndex(const QString& dayDir, const QStringList& mediaFolders, const ListWriter& lists,
                                qsizetype sizeHint, const QString& hash)
{
    QStringList dateDirectories;
    for (const QString& folder : mediaFolders)
        if (isValidDayName(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1)))
            dateDirectories.append(folder);

    // The compact form of the index object, its members in the order of their keys.
    QByteArray json;
    json.reserve(sizeHint + 1024);
    json.append("{\"date_directory\":");
    json.append(jsonArray(dateDirectories));
    json.append(",\"last_modified\":");
    appendJsonString(json, hash);
    json.append(",\"root_directory\":");
    appendJsonString(json, normalizePath(QFileInfo(dayDir).absoluteFilePath()));
    json.append(",\"zralarm_files\":");
    lists(MediaKind::Alarm, &json);
    json.append(",\"zraudio_files\":");
    lists(MediaKind::Audio, &json);
    json.append(",\"zrpreview_files\":");
    lists(MediaKind::Preview, &json);
    json.append(",\"zrtag_files\":");
    lists(MediaKind::Tag, &json);
    json.append(",\"zrvideo_files\":");
    lists(MediaKind::Video, &json);
    json.append('}');
    write_log(kLogPrefix + QStringLiteral("create zrindexfile :: last modified value ") + hash);

    QString written;
    if (writeDayIndexJson(QFileInfo(dayDir), json, &written))
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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    // No document is built: a day's index holds tens of thousands of paths.
    return StoredIndexHash::fromFile(&file);
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
