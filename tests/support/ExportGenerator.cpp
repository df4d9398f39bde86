#include "tests/support/ExportGenerator.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

namespace zrtest {

QList<GeneratedRecording> GeneratedCamera::recordingsOf(const QString& day) const
{
    QList<GeneratedRecording> out;
    for (const GeneratedRecording& r : recordings)
        if (r.day == day)
            out << r;
    return out;
}

const GeneratedCamera* GeneratedExport::camera(int id) const
{
    for (const GeneratedCamera& c : cameras)
        if (c.id == id)
            return &c;
    return nullptr;
}

const GeneratedFault* GeneratedExport::fault(const QString& kind) const
{
    for (const GeneratedFault& f : faults)
        if (f.kind == kind)
            return &f;
    return nullptr;
}

QString GeneratedExport::mediaFolder(int dayIndex, int cameraIndex) const
{
    if (dayIndex < 0 || dayIndex >= dayFolders.size() || cameraIndex < 0 || cameraIndex >= cameras.size())
        return {};
    return dayFolders.at(dayIndex) + QLatin1Char('/') + cameras.at(cameraIndex).folder;
}

ExportGenerator::ExportGenerator() = default;

QString ExportGenerator::toolPath()
{
    return QStringLiteral(ZR_TOOLS_BUILD_DIR "/zr-make-export");
}

int ExportGenerator::runTool(const QStringList& args, QByteArray* out, QByteArray* err, int timeoutMs)
{
    QProcess p;
    p.setProgram(toolPath());
    p.setArguments(args);
    p.start();
    if (!p.waitForStarted(30000)) {
        if (err)
            *err = "cannot start " + toolPath().toUtf8() + ": " + p.errorString().toUtf8();
        return -1;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        if (err)
            *err = "zr-make-export timed out";
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

GeneratedExport ExportGenerator::parseSummary(const QByteArray& json)
{
    GeneratedExport e;
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &perr);
    if (!doc.isObject()) {
        e.error = QStringLiteral("summary is not JSON: ") + perr.errorString();
        return e;
    }
    const QJsonObject s = doc.object();
    e.json = s;
    e.exportPath = s.value(QStringLiteral("export")).toString();
    e.id = s.value(QStringLiteral("id")).toString();
    for (const QJsonValue& v : s.value(QStringLiteral("days")).toArray()) {
        const QJsonObject d = v.toObject();
        e.days << d.value(QStringLiteral("date")).toString();
        e.dayFolders << d.value(QStringLiteral("path")).toString();
        e.hashFiles << d.value(QStringLiteral("hash")).toString();
    }
    for (const QJsonValue& v : s.value(QStringLiteral("cameras")).toArray()) {
        const QJsonObject c = v.toObject();
        GeneratedCamera cam;
        cam.id = c.value(QStringLiteral("id")).toInt();
        cam.name = c.value(QStringLiteral("name")).toString();
        cam.folder = c.value(QStringLiteral("folder")).toString();
        for (const QJsonValue& rv : c.value(QStringLiteral("recordings")).toArray()) {
            const QJsonObject r = rv.toObject();
            GeneratedRecording rec;
            rec.day = r.value(QStringLiteral("day")).toString();
            rec.start = QDateTime::fromString(r.value(QStringLiteral("start")).toString(), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
            rec.startMs = r.value(QStringLiteral("startMs")).toInt();
            rec.dir = r.value(QStringLiteral("dir")).toString();
            rec.videoPath = r.value(QStringLiteral("video")).toString();
            rec.seekPath = r.value(QStringLiteral("seek")).toString();
            rec.audioPath = r.value(QStringLiteral("audio")).toString();
            rec.audioSeekPath = r.value(QStringLiteral("audioSeek")).toString();
            rec.previewPath = r.value(QStringLiteral("preview")).toString();
            rec.codec = r.value(QStringLiteral("codec")).toString();
            rec.stream = r.value(QStringLiteral("stream")).toString();
            rec.frames = r.value(QStringLiteral("frames")).toInt();
            rec.frames2 = r.value(QStringLiteral("frames2")).toInt();
            rec.audioPackets = r.value(QStringLiteral("audioPackets")).toInt();
            rec.width = r.value(QStringLiteral("width")).toInt();
            rec.height = r.value(QStringLiteral("height")).toInt();
            rec.faultTarget = r.value(QStringLiteral("faultTarget")).toBool();
            cam.recordings << rec;
        }
        for (const QJsonValue& f : c.value(QStringLiteral("infoFiles")).toArray())
            cam.infoFiles << f.toString();
        for (const QJsonValue& f : c.value(QStringLiteral("previews")).toArray())
            cam.previews << f.toString();
        for (const QJsonValue& tv : c.value(QStringLiteral("tags")).toArray()) {
            const QJsonObject t = tv.toObject();
            cam.tags << GeneratedTag{t.value(QStringLiteral("path")).toString(), t.value(QStringLiteral("id")).toString(),
                                     t.value(QStringLiteral("datetime")).toString()};
        }
        for (const QJsonValue& av : c.value(QStringLiteral("alarms")).toArray()) {
            const QJsonObject a = av.toObject();
            GeneratedAlarm alarm;
            alarm.image = a.value(QStringLiteral("image")).toString();
            alarm.thumb = a.value(QStringLiteral("thumb")).toString();
            alarm.alarmId = a.value(QStringLiteral("alarmId")).toInt();
            alarm.datetime = a.value(QStringLiteral("datetime")).toString();
            cam.alarms << alarm;
        }
        e.cameras << cam;
    }
    for (const QJsonValue& fv : s.value(QStringLiteral("faults")).toArray()) {
        const QJsonObject f = fv.toObject();
        e.faults << GeneratedFault{f.value(QStringLiteral("kind")).toString(), f.value(QStringLiteral("file")).toString(),
                                   f.value(QStringLiteral("line")).toInt(-1), f.value(QStringLiteral("detail")).toString()};
    }
    e.ok = !e.exportPath.isEmpty();
    if (!e.ok)
        e.error = QStringLiteral("summary names no export folder");
    return e;
}

GeneratedExport ExportGenerator::generateInto(const QString& outDir, const QStringList& args, int timeoutMs)
{
    QByteArray out, err;
    const int rc = runTool(QStringList{QStringLiteral("--out"), outDir} + args + QStringList{QStringLiteral("--json")},
                           &out, &err, timeoutMs);
    if (rc != 0) {
        GeneratedExport e;
        e.error = QStringLiteral("zr-make-export exited with %1: %2").arg(rc).arg(QString::fromUtf8(err));
        return e;
    }
    GeneratedExport e = parseSummary(out);
    if (!err.isEmpty() && e.error.isEmpty())
        e.error = QString::fromUtf8(err);
    return e;
}

GeneratedExport ExportGenerator::generate(const QStringList& args, int timeoutMs)
{
    if (!m_dir.isValid()) {
        GeneratedExport e;
        e.error = QStringLiteral("no temporary folder");
        return e;
    }
    const QString out = m_dir.path() + QStringLiteral("/run%1").arg(++m_runs);
    QDir().mkpath(out);
    return generateInto(out, args, timeoutMs);
}

} // namespace zrtest
