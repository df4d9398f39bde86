#include "store/StoreLayout.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// An export folder's name: "zrnova_" and four groups of four hexadecimal digits.
QString exportName()
{
    return QStringLiteral("zrnova_[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}");
}

const QRegularExpression& exportFolderPattern()
{
    static const QRegularExpression re(exportName(), QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression& dayFolderPattern()
{
    static const QRegularExpression re(exportName() + QStringLiteral("/\\d{4}-\\d{2}-\\d{2}"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString withTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

QString normalizePath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(p);
}

bool isPathUnder(const QString& path, const QString& base, Qt::CaseSensitivity cs)
{
    const QString p = normalizePath(path);
    const QString b = normalizePath(base);
    if (p.isEmpty() || b.isEmpty())
        return false;
    if (p == b)
        return true;
    // The file-system root already ends with its separator.
    const QString prefix = b.endsWith(QLatin1Char('/')) ? b : b + QLatin1Char('/');
    return p.startsWith(prefix, cs);
}

bool isInExportFolder(const QString& path)
{
    return exportFolderPattern().match(withTrailingSlash(path)).hasMatch();
}

bool isDayFolderPath(const QString& path)
{
    return dayFolderPattern().match(withTrailingSlash(path)).hasMatch();
}

bool isExportFolderName(const QString& name)
{
    static const QRegularExpression re(QLatin1Char('^') + exportName() + QLatin1Char('$'),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(name).hasMatch();
}

bool isExportFolderPath(const QString& path)
{
    return isExportFolderName(QFileInfo(path).fileName());
}

bool isValidDayName(const QString& name)
{
    if (name.size() != 10)
        return false;
    return QDate::fromString(name, QStringLiteral("yyyy-MM-dd")).isValid();
}

MediaKind mediaKindByName(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return MediaKind::None;
    const QStringView ext = QStringView(fileName).mid(dot + 1);
    const auto is = [&ext](const char* e) { return ext.compare(QLatin1String(e), Qt::CaseInsensitive) == 0; };
    if (is("zrvideo"))
        return MediaKind::Video;
    if (is("zraudio"))
        return MediaKind::Audio;
    if (is("jpg")) {
        if (fileName.endsWith(QLatin1String("_preview.jpg"), Qt::CaseInsensitive)
            || fileName.endsWith(QLatin1String("_videopreview.jpg"), Qt::CaseInsensitive))
            return MediaKind::Preview;
        return MediaKind::Alarm;
    }
    if (is("zrtag"))
        return MediaKind::Tag;
    if (is("zrnfo"))
        return MediaKind::CameraInfo;
    return MediaKind::None;
}

QString recordingBaseName(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

bool splitRecordingName(const QString& fileName, QString* camera, QString* date, QString* time)
{
    const QStringList parts = fileName.split(QLatin1Char('_'));
    if (parts.size() < 3)
        return false;
    *camera = parts.at(0);
    *date = parts.at(1);
    *time = parts.at(2).section(QLatin1Char('.'), 0, 0);
    return true;
}

bool splitRecordingBaseName(const QString& fileName, QString* camera, QString* date, QString* time)
{
    const QStringList parts = recordingBaseName(fileName).split(QLatin1Char('_'));
    if (parts.size() < 3)
        return false;
    *camera = parts.at(0);
    *date = parts.at(1);
    *time = parts.at(2);
    return true;
}

QString recordingFileName(const QString& camera, const QString& date, const QString& time, const QString& extension)
{
    return camera + QLatin1Char('_') + date + QLatin1Char('_') + time + extension;
}

QString recordingCameraText(const QString& fileName)
{
    return fileName.section(QLatin1Char('_'), 0, 0);
}

bool matchVideoRecordingName(const QString& fileName, QString* camera, QString* date, QString* time)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)_([0-9]{8})_([0-9]{6})\\.zrvideo"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return false;
    *camera = m.captured(1);
    *date = m.captured(2);
    *time = m.captured(3);
    return true;
}

bool matchPreviewImageName(const QString& fileName, QString* camera, QString* date, QString* time)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)_([0-9]{8})_([0-9]{6})_(?:video)?preview\\.jpg"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return false;
    *camera = m.captured(1);
    *date = m.captured(2);
    *time = m.captured(3);
    return true;
}

bool matchAlarmImageName(const QString& fileName, QString* camera, QString* alarm, QString* stamp)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)_(\\d+)_(\\d{8}_\\d{6})"));
    const QRegularExpressionMatch m = re.match(fileName);
    if (!m.hasMatch())
        return false;
    *camera = m.captured(1);
    *alarm = m.captured(2);
    *stamp = m.captured(3).remove(QLatin1Char('_'));
    return true;
}

QString alarmImageKey(const QString& fileName)
{
    QString key = fileName;
    key.remove(QStringLiteral("-thumb"));
    key.remove(QStringLiteral(".jpg"));
    return key;
}

QString exportFolderOf(const QString& path)
{
    const QStringList parts = normalizePath(path).split(QLatin1Char('/'));
    // The nearest one: a folder higher up may carry a look-alike name.
    for (int i = int(parts.size()) - 2; i >= 0; --i)
        if (isExportFolderName(parts.at(i)))
            return parts.mid(0, i + 1).join(QLatin1Char('/'));
    return QString();
}

QString seekTablePathOf(const QString& dataPath)
{
    QString seek = dataPath;
    if (seek.contains(QLatin1String(".zrvideo")))
        return seek.replace(QLatin1String(".zrvideo"), QLatin1String(".zrseek"));
    if (seek.contains(QLatin1String(".zraudio")))
        return seek.replace(QLatin1String(".zraudio"), QLatin1String(".zraudioseek"));
    return QString();
}

QString seekTablePathFor(const QString& path)
{
    if (path.contains(QLatin1String(".zraudioseek")))
        return path;
    const QString seek = seekTablePathOf(path);
    return seek.isEmpty() ? path : seek;
}

QString audioCompanionPathOf(const QString& seekPath)
{
    QString audio = seekPath;
    if (audio.contains(QLatin1String(".zrseek")))
        return audio.replace(QLatin1String(".zrseek"), QLatin1String(".zraudio"));
    if (audio.contains(QLatin1String(".zraudioseek")))
        return audio.replace(QLatin1String(".zraudioseek"), QLatin1String(".zraudio"));
    return QString();
}

RecordingPair recordingPairByWholePath(const QString& path)
{
    RecordingPair pair;
    const auto replaced = [&path](const char* from, const char* to) {
        return QString(path).replace(QLatin1String(from), QLatin1String(to));
    };
    if (path.contains(QLatin1String(".zrvideo"))) {
        pair = {replaced("zrvideo", "zrseek"), path, MediaKind::Video};
    } else if (path.contains(QLatin1String(".zrseek"))) {
        pair = {path, replaced("zrseek", "zrvideo"), MediaKind::Video};
    } else if (path.contains(QLatin1String(".zraudioseek"))) {
        pair = {path, replaced("zraudioseek", "zraudio"), MediaKind::Audio};
    } else if (path.contains(QLatin1String(".zraudio"))) {
        pair = {replaced("zraudio", "zraudioseek"), path, MediaKind::Audio};
    }
    return pair;
}

MediaKind classifyMedia(const QString& fileName, qint64 size,
                        const std::function<qint64(const QString&)>& siblingSize)
{
    const MediaKind kind = mediaKindByName(fileName);
    if (kind != MediaKind::Video && kind != MediaKind::Audio)
        return kind;
    if (size < 1)
        return MediaKind::None;
    const QString seekExt = kind == MediaKind::Video ? QStringLiteral(".zrseek") : QStringLiteral(".zraudioseek");
    if (siblingSize(recordingBaseName(fileName) + seekExt) < 1)
        return MediaKind::None;
    return kind;
}

MediaKind classifyMediaFile(const QFileInfo& file)
{
    const QString folder = file.absolutePath();
    return classifyMedia(file.fileName(), file.size(), [&folder](const QString& name) -> qint64 {
        const QFileInfo sibling(folder + QLatin1Char('/') + name);
        return sibling.isFile() ? sibling.size() : -1;
    });
}

bool nameLessThan(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

QFileInfoList sortedEntries(const QString& dir, QDir::Filters filters, const QStringList& nameFilters)
{
    QDir d(dir);
    d.setFilter(filters | QDir::NoDotAndDotDot);
    d.setSorting(QDir::Unsorted);
    if (!nameFilters.isEmpty())
        d.setNameFilters(nameFilters);
    return sortedByName(d.entryInfoList());
}

QFileInfoList sortedByName(const QFileInfoList& list)
{
    // Names are worked out once: QFileInfo::fileName() builds a new string on every call.
    std::vector<std::pair<QString, int>> keys;
    keys.reserve(size_t(list.size()));
    for (int i = 0; i < list.size(); ++i)
        keys.emplace_back(list.at(i).fileName(), i);
    std::sort(keys.begin(), keys.end(), [](const std::pair<QString, int>& a, const std::pair<QString, int>& b) {
        return nameLessThan(a.first, b.first);
    });
    QFileInfoList out;
    out.reserve(list.size());
    for (const auto& key : keys)
        out.append(list.at(key.second));
    return out;
}

QFileInfoList mediaFoldersOf(const QString& dayDir)
{
    return sortedEntries(dayDir, QDir::Dirs);
}

QFileInfoList cameraInfoFilesIn(const QFileInfoList& mediaFolders, QDir::Filters kinds)
{
    QFileInfoList out;
    for (const QFileInfo& folder : mediaFolders)
        out.append(sortedEntries(folder.absoluteFilePath(), kinds, {QStringLiteral("*.zrnfo")}));
    return out;
}
