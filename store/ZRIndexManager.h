#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class FolderListings;
enum class MediaKind;

// Builds a day folder's index file (".zrindex/<day>/zrvideoindex.json" in the export folder, or
// in the export's stand-in in the per-user folder when the export cannot be written: the day's
// media lists and its snapshot hash) and reads it back. Keeps no state between
// calls; the index controller runs one per day on a worker thread, the camera listing builds
// one on its stack.
class ZRIndexManager : public QObject
{
    Q_OBJECT
public:
    ZRIndexManager() = default;

    // The day scan: media folders by name, their files by name, into six lists (appended to).
    void parse_informations_with_multiple_directory(QString dir, QList<QFileInfo>* video, QList<QFileInfo>* alarm,
                                                    QList<QFileInfo>* tag, QList<QFileInfo>* audio,
                                                    QList<QFileInfo>* preview, QList<QFileInfo>* zrnfo);
    // Merges the camera-information files into the day's "index.zrnfo".
    void regenerate_zrnfo_index_with_filelist(QString dayDir, QList<QFileInfo> files);
    // Computes the day's snapshot hash and writes the index.
    void create_zrindexfile(QString dayDir, QList<QFileInfo> video, QList<QFileInfo> alarm, QList<QFileInfo> tag,
                            QList<QFileInfo> audio, QList<QFileInfo> preview);
    // Replaces the day's index atomically; the written path goes to writtenPath. An export that
    // cannot be written gets it in its stand-in in the per-user folder (userDayIndexPath).
    static bool writeDayIndexJson(const QFileInfo& day, const QByteArray& json, QString* writtenPath);
    // Reads the five lists from the index, re-basing the paths once when the export moved.
    void get_value_from_indexfile(QString dayDir, QList<QFileInfo>* video, QList<QFileInfo>* alarm,
                                  QList<QFileInfo>* tag, QList<QFileInfo>* audio, QList<QFileInfo>* preview);
    // The stored snapshot hash; a null text without a readable index.
    QString get_zrvideo_indexfile_lastmodified_hash(QFileInfo day);
    // Every ".zrnfo" file of the day's media folders.
    QList<QFileInfo> zrnfo_with_multiple_directory(QString dayDir);

    // Export folder name, day folder name and the export folder's normalised absolute path
    // of a day folder (or of a file in it); false when its name is no "yyyy-MM-dd" or it has
    // no parent.
    static bool splitDayPath(const QFileInfo& day, QString& exportName, QString& dayName, QString& exportPath);
    // {export folder}/.zrindex/{yyyy-MM-dd}/zrvideoindex.json; a null text when splitDayPath fails.
    static QString dayIndexPath(const QFileInfo& day);
    // The day's index in the export's stand-in in the per-user folder (IndexPlacement).
    static QString userDayIndexPath(const QFileInfo& day);
    // The index the store reads: dayIndexPath when the export can be written; else the
    // per-user one, or, until that exists, the one the export carries.
    static QString readDayIndexPath(const QFileInfo& day);

public slots:
    void background_generation(QString root_directory);

signals:
    void success();
    void finished();
    void errorOccurred(QString message);

private:
    // What the day scan found: the media folders' paths and, in each list, every file as the
    // number of its folder and its name (a day holds tens of thousands of them).
    struct DayScan
    {
        struct File
        {
            qsizetype folder;
            QString name;
        };
        QStringList folders;
        std::vector<File> video, alarm, tag, audio, preview, zrnfo;

        QList<QFileInfo> infos(const std::vector<File>& files) const;
        const std::vector<File>& list(MediaKind kind) const;
        // Appends the list as a JSON array of absolute paths.
        void appendJson(const std::vector<File>& files, QByteArray* json) const;
        // About the size of the five lists as JSON.
        qsizetype jsonSize() const;
    };
    // Appends the index's list of one kind (video, alarm, tag, audio or preview) as a JSON
    // array of absolute paths.
    using ListWriter = std::function<void(MediaKind kind, QByteArray* json)>;

    // The scan of the day's media folders (absolute paths), taking their listings from listings
    // where it has them.
    static void scanDay(const QStringList& folders, const FolderListings* listings, DayScan* scan);
    // Writes the index from the day's media folders and its five lists, written in place by
    // lists; sizeHint is about their size.
    void writeIndex(const QString& dayDir, const QStringList& mediaFolders, const ListWriter& lists,
                    qsizetype sizeHint, const QString& hash);
    static QString snapshotHash(const QString& dayDir, const FolderListings* listings = nullptr);
};
