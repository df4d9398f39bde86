#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zrtest {

struct GeneratedRecording
{
    QString day;             // "yyyy-MM-dd"
    QDateTime start;         // local wall-clock time of the first frame
    int startMs = 0;         // the same as milliseconds since midnight
    QString dir;             // media folder
    QString videoPath;       // .zrvideo
    QString seekPath;        // .zrseek (may be missing under --fault missing-seek)
    QString audioPath;       // .zraudio, empty without --audio
    QString audioSeekPath;   // .zraudioseek
    QString previewPath;     // _preview.jpg, empty without --previews
    QString codec;           // "h264", "h265" or "mjpeg"
    QString stream;          // "video1" (or "video2" under --fault stream-change)
    int frames = 0;          // frames of stream 1
    int frames2 = 0;         // frames of stream 2 (0 without --streams 2)
    int audioPackets = 0;
    int width = 0;
    int height = 0;
    bool faultTarget = false;
};

struct GeneratedTag
{
    QString path;
    QString id;
    QString datetime;        // "yyyyMMddHHmmss"
};

struct GeneratedAlarm
{
    QString image;
    QString thumb;
    int alarmId = 0;
    QString datetime;        // "yyyyMMddHHmmss"
};

struct GeneratedCamera
{
    int id = 0;
    QString name;
    QString folder;          // media folder name, the same every day ("cam000001")
    QList<GeneratedRecording> recordings;  // every day, in day then time order
    QStringList infoFiles;   // camera-information file of each day
    QStringList previews;
    QList<GeneratedTag> tags;
    QList<GeneratedAlarm> alarms;

    QList<GeneratedRecording> recordingsOf(const QString& day) const;
};

struct GeneratedFault
{
    QString kind;
    QString file;
    int line = -1;
    QString detail;
};

struct GeneratedExport
{
    bool ok = false;
    QString error;           // the tool's stderr or why it could not run
    QString exportPath;      // ".../zrnova_xxxx-xxxx-xxxx-xxxx"
    QString id;
    QStringList days;        // "yyyy-MM-dd"
    QStringList dayFolders;  // absolute paths, same order
    QStringList hashFiles;   // "hash.json" of each day
    QList<GeneratedCamera> cameras;
    QList<GeneratedFault> faults;
    QJsonObject json;        // the whole summary

    const GeneratedCamera* camera(int id) const;
    const GeneratedFault* fault(const QString& kind) const;
    QString mediaFolder(int dayIndex, int cameraIndex) const;
};

// Runs the built zr-make-export and parses its --json summary. Exports go into a temporary
// folder that lives as long as the generator (or into a folder the caller gives).
class ExportGenerator
{
public:
    ExportGenerator();

    static QString toolPath();
    // Raw run: exit code, or -1 when the tool could not run or timed out.
    static int runTool(const QStringList& args, QByteArray* out, QByteArray* err, int timeoutMs = 600000);
    static GeneratedExport parseSummary(const QByteArray& json);

    // Each call writes into a new sub-folder of the temporary folder.
    GeneratedExport generate(const QStringList& args, int timeoutMs = 600000);
    // --out outDir and --json are added to args.
    static GeneratedExport generateInto(const QString& outDir, const QStringList& args, int timeoutMs = 600000);
    QString tempPath() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    int m_runs = 0;
};

} // namespace zrtest
