#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <functional>

// The export folder's layout as the store sees it: path helpers, folder tests and the
// sorting of a media folder's files into lists.

// Cleans a path with "/" as the only separator ("\" is replaced first, so a path written on
// Windows cleans the same everywhere).
QString normalizePath(const QString& path);

// True when path equals base, or lies below it; both are normalised first. The equality test
// always respects case; cs applies to the "below" test.
bool isPathUnder(const QString& path, const QString& base, Qt::CaseSensitivity cs);

// The store's text tests: path (with a "/" appended) contains "zrnova_xxxx-xxxx-xxxx-xxxx",
// and for a day also "/yyyy-MM-dd" right behind it. Hexadecimal digits in either case.
bool isInExportFolder(const QString& path);
bool isDayFolderPath(const QString& path);

// A folder name that is exactly an export folder's name.
bool isExportFolderName(const QString& name);
// The same test on the last component of a path; a path ending in "/" has none.
bool isExportFolderPath(const QString& path);
// The export folder a path lies in: the path (cleaned) up to its nearest folder named like an
// export folder, in the case written there; empty when no folder above the last part is one.
QString exportFolderOf(const QString& path);
// A folder name that is a valid calendar date written "yyyy-MM-dd".
bool isValidDayName(const QString& name);

enum class MediaKind {
    None,
    Video,
    Audio,
    Preview,
    Alarm,
    Tag,
    CameraInfo,
};

// The kind a file's name asks for, before its companion seek table is looked at.
MediaKind mediaKindByName(const QString& fileName);

// The list a file of a media folder belongs to; video and audio data files only with a
// non-empty companion seek table beside them and a non-empty size of their own.
MediaKind classifyMediaFile(const QFileInfo& file);
// The same from a file's name and size; siblingSize gives the size of a file of the same
// folder by name, or -1 when there is none.
MediaKind classifyMedia(const QString& fileName, qint64 size,
                        const std::function<qint64(const QString&)>& siblingSize);

// The base name of a recording file: its name without the last extension.
QString recordingBaseName(const QString& fileName);

// Camera, date and start-time fields of a recording's name "<camera>_<yyyyMMdd>_<HHmmss>.<ext>":
// the name split at "_", the third field cut at its first "."; false, with the fields left
// alone, when the name has fewer than three fields.
bool splitRecordingName(const QString& fileName, QString* camera, QString* date, QString* time);

// The same fields taken from the base name (cut at the last ".") split at "_"; a fourth or
// later field is left out. False with fewer than three fields.
bool splitRecordingBaseName(const QString& fileName, QString* camera, QString* date, QString* time);

// A recording's file name from its fields: "<camera>_<date>_<time><extension>".
QString recordingFileName(const QString& camera, const QString& date, const QString& time, const QString& extension);

// The text before the first "_" of a recording's file name: its camera id.
QString recordingCameraText(const QString& fileName);

// Fields of names read by pattern (matched anywhere in the name, as the timeline reads them).
// A video recording "<camera>_<yyyyMMdd>_<HHmmss>.zrvideo".
bool matchVideoRecordingName(const QString& fileName, QString* camera, QString* date, QString* time);
// A preview image "<camera>_<yyyyMMdd>_<HHmmss>_preview.jpg" or "..._videopreview.jpg".
bool matchPreviewImageName(const QString& fileName, QString* camera, QString* date, QString* time);
// An alarm image or its thumbnail "<camera>_<alarm>_<yyyyMMdd>_<HHmmss>"; stamp comes back
// as "yyyyMMddHHmmss".
bool matchAlarmImageName(const QString& fileName, QString* camera, QString* alarm, QString* stamp);
// The key an alarm image and its thumbnail share: the name without "-thumb" and ".jpg".
QString alarmImageKey(const QString& fileName);

// The seek table beside a data file, by path: ".zrvideo" becomes ".zrseek", else ".zraudio"
// becomes ".zraudioseek"; empty for a path with neither.
QString seekTablePathOf(const QString& dataPath);
// The same for a path that may already name the seek table: a ".zraudioseek" path, and any
// path naming no data file, comes back as it is.
QString seekTablePathFor(const QString& path);
// The audio data file that may lie beside a recording, from its seek table: ".zrseek" (a
// video's table too) or else ".zraudioseek" becomes ".zraudio"; empty for other paths.
QString audioCompanionPathOf(const QString& seekPath);

// The pair of files a path names, by the readers' own rule: tested in the order ".zrvideo",
// ".zrseek", ".zraudioseek", ".zraudio", and every "zrvideo" (and so on) of the whole path is
// replaced, not only the extension. Kind None, with empty paths, when the path names neither.
struct RecordingPair
{
    QString seek;
    QString data;
    MediaKind kind = MediaKind::None;
};
RecordingPair recordingPairByWholePath(const QString& path);

// Names in ascending order of their UTF-16 code units, case-sensitively.
bool nameLessThan(const QString& a, const QString& b);

// A folder's entries without "." and "..", hidden and system entries, sorted by name.
QFileInfoList sortedEntries(const QString& dir, QDir::Filters filters,
                            const QStringList& nameFilters = QStringList());
// The same entries sorted by name.
QFileInfoList sortedByName(const QFileInfoList& list);

// The media folders of a day folder, sorted by name.
QFileInfoList mediaFoldersOf(const QString& dayDir);
// The camera-information files (".zrnfo") of the given media folders, folder by folder, each
// folder's sorted by name. kinds says which entries count: the day's camera listing takes files
// only, the index manager any entry so named.
QFileInfoList cameraInfoFilesIn(const QFileInfoList& mediaFolders, QDir::Filters kinds);
