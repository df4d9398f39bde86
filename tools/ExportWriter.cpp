#include "tools/ExportWriter.h"

#include "tools/AacEncoder.h"
#include "tools/FileCipher.h"
#include "tools/MarkerPainter.h"
#include "tools/PacketEncoder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>

#include <algorithm>
#include <functional>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

QString timeText(int ms, const QString& format)
{
    return QTime::fromMSecsSinceStartOfDay(ms).toString(format);
}

// "yyyyMMddHHmmsszzz" without going through a time zone.
QByteArray stampText(const QDate& date, int ms)
{
    return (date.toString(QStringLiteral("yyyyMMdd")) + timeText(ms, QStringLiteral("HHmmsszzz"))).toLatin1();
}

QByteArray compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// The camera-name list form: "id=..|name=.." in Base64, reversed, through the substitution
// alphabet. Characters outside the 62-letter alphabet must not appear, so the padding goes and
// the other field order is tried when "+" or "/" would.
QByteArray scrambledNameLine(int id, const QString& name, int n)
{
    static const QByteArray standard("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
    static const QByteArray substitution("QwErTyUiOpAsDfGhJkLzXcVbNm7305916248qWeRtYuIoPaSdFgHjKlZxCvBnM");
    const QStringList forms = {QStringLiteral("id=%1|name=%2").arg(id).arg(name),
                               QStringLiteral("name=%2|id=%1").arg(id).arg(name),
                               QStringLiteral("id=%1|name=%2|").arg(id).arg(name),
                               QStringLiteral("|id=%1|name=%2").arg(id).arg(name)};
    QByteArray b64;
    for (const QString& form : forms) {
        b64 = form.toUtf8().toBase64(QByteArray::OmitTrailingEquals);
        if (!b64.contains('+') && !b64.contains('/'))
            break;
    }
    std::reverse(b64.begin(), b64.end());
    for (char& c : b64) {
        const int pos = standard.indexOf(c);
        if (pos >= 0)
            c = substitution.at(pos);
    }
    return "cam_" + b64 + "_" + QByteArray::number(n);
}

} // namespace

ExportWriter::ExportWriter(const GeneratorOptions& options)
    : m_options(options)
{
    if (m_options.seedGiven) {
        m_seed = m_options.seed;
    } else {
        std::random_device rd;
        m_seed = (quint64(rd()) << 32) ^ rd();
    }
}

std::mt19937_64 ExportWriter::rngFor(int day, int camera, int salt) const
{
    std::seed_seq seq{quint32(m_seed), quint32(m_seed >> 32), quint32(day), quint32(camera), quint32(salt)};
    return std::mt19937_64(seq);
}

namespace {

// Sensor noise on the luma plane: a cheap generator, seeded per picture, so that the same
// seed writes the same bytes.
void addNoise(AVFrame* frame, int amplitude, quint64 seed)
{
    if (amplitude <= 0)
        return;
    quint64 x = seed * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL;
    const int span = 2 * amplitude + 1;
    for (int r = 0; r < frame->height; ++r) {
        uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(r) * frame->linesize[0];
        for (int c = 0; c < frame->width; c += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            quint64 bits = x;
            for (int k = 0; k < 8 && c + k < frame->width; ++k, bits >>= 8) {
                const int v = row[c + k] + int(bits & 0xff) % span - amplitude;
                row[c + k] = static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
        }
    }
}

} // namespace

QString ExportWriter::dayPath(int day) const
{
    return m_exportPath + QLatin1Char('/') + m_options.firstDay.addDays(day).toString(QStringLiteral("yyyy-MM-dd"));
}

QString ExportWriter::mediaPath(int day, int camera) const
{
    return dayPath(day) + QLatin1Char('/') + m_cameras[size_t(camera)].folder;
}

QString ExportWriter::baseName(int camera, int day, int ms) const
{
    return QStringLiteral("%1_%2_%3")
        .arg(m_cameras[size_t(camera)].id)
        .arg(m_options.firstDay.addDays(day).toString(QStringLiteral("yyyyMMdd")), timeText(ms, QStringLiteral("HHmmss")));
}

bool ExportWriter::writeFile(const QString& path, const QByteArray& data, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    ++m_files;
    return true;
}

void ExportWriter::addFault(const QString& kind, const QString& file, int line, const QString& detail)
{
    QMutexLocker lock(&m_faultMutex);
    m_faults.push_back({kind, file, line, detail});
}

QByteArray ExportWriter::picture(int camera, int day, int ms, int index, int width, int height, QString* error) const
{
    MarkerPainter::Values v;
    v.camera = m_cameras[size_t(camera)].id;
    v.julianDay = m_options.firstDay.addDays(day).toJulianDay();
    v.msOfDay = ms;
    v.frameIndex = index;
    return PacketEncoder::jpeg(width, height, [&](AVFrame* f) { MarkerPainter::paint(f, v, v.camera); }, error);
}

bool ExportWriter::run(QString* error)
{
    QElapsedTimer clock;
    clock.start();
    std::mt19937_64 rng = rngFor(-1, -1, 0);
    m_id = m_options.id.toLower();
    if (m_id.isEmpty()) {
        QStringList groups;
        for (int i = 0; i < 4; ++i)
            groups << QStringLiteral("%1").arg(uint(rng() & 0xFFFF), 4, 16, QLatin1Char('0'));
        m_id = groups.join(QLatin1Char('-'));
    }
    const QString out = QDir::cleanPath(QString(m_options.out).replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (!QDir().mkpath(out)) {
        *error = QStringLiteral("cannot create %1").arg(out);
        return false;
    }
    m_exportPath = QDir(out).absoluteFilePath(QStringLiteral("zrnova_") + m_id);
    if (QFileInfo::exists(m_exportPath)) {
        *error = QStringLiteral("%1 already exists").arg(m_exportPath);
        return false;
    }

    for (int c = 0; c < m_options.cameras; ++c) {
        Camera cam;
        cam.id = m_options.firstCamera + c;
        cam.name = QStringLiteral("Camera %1").arg(cam.id);
        cam.folder = QStringLiteral("cam%1").arg(cam.id, 6, 10, QLatin1Char('0'));
        m_cameras.push_back(cam);
    }
    const int startMs = m_options.start.msecsSinceStartOfDay();
    for (int d = 0; d < m_options.days; ++d) {
        for (int c = 0; c < m_options.cameras; ++c) {
            if (!QDir().mkpath(mediaPath(d, c))) {
                *error = QStringLiteral("cannot create %1").arg(mediaPath(d, c));
                return false;
            }
            int kept = 0;
            for (int m = 0; m < m_options.minutes; ++m) {
                if (m_options.skip.contains(m))
                    continue;
                Recording r;
                r.day = d;
                r.camera = c;
                r.minute = m;
                r.startMs = startMs + m * 60000;
                m_recordings.push_back(r);
                ++kept;
            }
            (void)kept;
        }
    }
    // The fault target: the second recording of the first camera on the first day.
    {
        int seen = 0;
        Recording* target = nullptr;
        for (Recording& r : m_recordings)
            if (r.day == 0 && r.camera == 0) {
                target = &r;
                if (++seen == 2)
                    break;
            }
        if (target)
            target->target = true;
        else if (!m_options.faults.isEmpty()) {
            *error = QStringLiteral("--fault needs at least one recording");
            return false;
        }
    }

    const int cameraDays = m_options.days * m_options.cameras;
    std::vector<QJsonArray> tags(static_cast<size_t>(cameraDays)), alarms(static_cast<size_t>(cameraDays));
    std::vector<QString> infoFiles(static_cast<size_t>(cameraDays));

    // Every recording and every camera-day is independent: run them on a pool of threads.
    std::vector<std::function<bool(QString*)>> work;
    for (Recording& r : m_recordings)
        work.push_back([this, &r](QString* e) { return writeRecording(r, e); });
    for (int d = 0; d < m_options.days; ++d)
        for (int c = 0; c < m_options.cameras; ++c) {
            const size_t slot = size_t(d * m_options.cameras + c);
            work.push_back([this, d, c, slot, &tags, &alarms, &infoFiles](QString* e) {
                return writeCameraInfo(d, c, &infoFiles[slot], e) && writeCameraDay(d, c, &tags[slot], &alarms[slot], e);
            });
        }
    auto runAll = [this](std::vector<std::function<bool(QString*)>>& jobs, QString* err) {
        std::atomic<size_t> next{0};
        std::atomic<bool> failed{false};
        QMutex errorMutex;
        int threads = m_options.jobs > 0 ? m_options.jobs : std::max(1, QThread::idealThreadCount());
        threads = int(std::min<size_t>(size_t(threads), std::max<size_t>(1, jobs.size())));
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&]() {
                for (;;) {
                    const size_t i = next++;
                    if (i >= jobs.size() || failed)
                        return;
                    QString e;
                    if (!jobs[i](&e)) {
                        QMutexLocker lock(&errorMutex);
                        if (!failed.exchange(true))
                            *err = e;
                    }
                }
            });
        for (std::thread& t : pool)
            t.join();
        return !failed;
    };
    if (!runAll(work, error))
        return false;

    // The hash list comes last: it covers every file the day holds by now.
    std::vector<std::function<bool(QString*)>> hashing;
    for (int d = 0; d < m_options.days; ++d)
        hashing.push_back([this, d](QString* e) { return writeHashList(d, e); });
    if (!runAll(hashing, error))
        return false;

    QJsonObject s;
    s[QStringLiteral("export")] = m_exportPath;
    s[QStringLiteral("id")] = m_id;
    s[QStringLiteral("codec")] = PacketEncoder::codecName(m_options.codec);
    s[QStringLiteral("fps")] = m_options.fps;
    s[QStringLiteral("gop")] = m_options.gop;
    s[QStringLiteral("preset")] = m_options.preset;
    s[QStringLiteral("bitrate")] = m_options.bitrate;
    s[QStringLiteral("width")] = m_options.width;
    s[QStringLiteral("height")] = m_options.height;
    s[QStringLiteral("streams")] = m_options.streams;
    s[QStringLiteral("audio")] = m_options.audio;
    s[QStringLiteral("placeholder")] = m_options.placeholder;
    s[QStringLiteral("seed")] = QString::number(m_seed);
    QJsonArray days;
    for (int d = 0; d < m_options.days; ++d) {
        QJsonObject day;
        day[QStringLiteral("date")] = m_options.firstDay.addDays(d).toString(QStringLiteral("yyyy-MM-dd"));
        day[QStringLiteral("path")] = dayPath(d);
        day[QStringLiteral("hash")] = dayPath(d) + QStringLiteral("/hash.json");
        days.append(day);
    }
    s[QStringLiteral("days")] = days;
    QJsonArray cameras;
    for (int c = 0; c < m_options.cameras; ++c) {
        QJsonObject cam;
        cam[QStringLiteral("id")] = m_cameras[size_t(c)].id;
        cam[QStringLiteral("name")] = m_cameras[size_t(c)].name;
        cam[QStringLiteral("folder")] = m_cameras[size_t(c)].folder;
        QJsonArray recs, previews, info, camTags, camAlarms;
        for (const Recording& r : m_recordings)
            if (r.camera == c) {
                recs.append(r.json);
                if (r.json.contains(QStringLiteral("preview")))
                    previews.append(r.json.value(QStringLiteral("preview")));
            }
        for (int d = 0; d < m_options.days; ++d) {
            const size_t slot = size_t(d * m_options.cameras + c);
            info.append(infoFiles[slot]);
            for (const QJsonValue& v : tags[slot])
                camTags.append(v);
            for (const QJsonValue& v : alarms[slot])
                camAlarms.append(v);
        }
        cam[QStringLiteral("recordings")] = recs;
        cam[QStringLiteral("previews")] = previews;
        cam[QStringLiteral("infoFiles")] = info;
        cam[QStringLiteral("tags")] = camTags;
        cam[QStringLiteral("alarms")] = camAlarms;
        cameras.append(cam);
    }
    s[QStringLiteral("cameras")] = cameras;
    QJsonArray faults;
    std::sort(m_faults.begin(), m_faults.end(), [](const Fault& a, const Fault& b) { return a.kind < b.kind; });
    for (const Fault& f : m_faults) {
        QJsonObject o;
        o[QStringLiteral("kind")] = f.kind;
        o[QStringLiteral("file")] = f.file;
        o[QStringLiteral("line")] = f.line;
        o[QStringLiteral("detail")] = f.detail;
        faults.append(o);
    }
    s[QStringLiteral("faults")] = faults;
    s[QStringLiteral("files")] = double(m_files.load());
    s[QStringLiteral("seconds")] = double(clock.elapsed()) / 1000.0;
    m_summary = s;
    return true;
}

QString ExportWriter::report() const
{
    QString text;
    text += QStringLiteral("export   %1\n").arg(m_summary.value(QStringLiteral("export")).toString());
    text += QStringLiteral("days     %1\ncameras  %2\nrecordings %3\nfiles    %4\nseconds  %5\n")
                .arg(m_options.days)
                .arg(m_options.cameras)
                .arg(m_recordings.size())
                .arg(m_files.load())
                .arg(m_summary.value(QStringLiteral("seconds")).toDouble());
    for (const QJsonValue& v : m_summary.value(QStringLiteral("faults")).toArray()) {
        const QJsonObject f = v.toObject();
        text += QStringLiteral("fault    %1 %2 %3\n").arg(f.value(QStringLiteral("kind")).toString(),
                                                       f.value(QStringLiteral("file")).toString(),
                                                       f.value(QStringLiteral("detail")).toString());
    }
    return text;
}

bool ExportWriter::writeRecording(Recording& rec, QString* error)
{
    if (!writeVideo(rec, error))
        return false;
    if (m_options.audio) {
        const QString base = mediaPath(rec.day, rec.camera) + QLatin1Char('/') + baseName(rec.camera, rec.day, rec.startMs);
        if (!writeAudio(rec, base, error))
            return false;
    }
    return true;
}

bool ExportWriter::writeVideo(Recording& rec, QString* error)
{
    using Codec = PacketEncoder::Codec;
    const QDate date = m_options.firstDay.addDays(rec.day);
    const QString dir = mediaPath(rec.day, rec.camera);
    const QString base = dir + QLatin1Char('/') + baseName(rec.camera, rec.day, rec.startMs);
    const QString videoPath = base + QStringLiteral(".zrvideo");
    const QString seekPath = base + QStringLiteral(".zrseek");
    const int camId = m_cameras[size_t(rec.camera)].id;

    Codec codec = m_options.codec;
    int width = m_options.width;
    int height = m_options.height;
    int streamBase = 1;
    bool noKey = false;
    if (rec.target) {
        if (hasFault(QStringLiteral("codec-change"))) {
            codec = codec == Codec::H264 ? Codec::H265 : Codec::H264;
            addFault(QStringLiteral("codec-change"), videoPath, -1, PacketEncoder::codecText(codec));
        }
        if (hasFault(QStringLiteral("resolution-change"))) {
            width = std::max(32, (width / 2) & ~1);
            height = std::max(32, (height / 2) & ~1);
            addFault(QStringLiteral("resolution-change"), videoPath, -1, QStringLiteral("%1x%2").arg(width).arg(height));
        }
        if (hasFault(QStringLiteral("stream-change"))) {
            streamBase = 2;
            addFault(QStringLiteral("stream-change"), seekPath, -1, QStringLiteral("video%1").arg(streamBase));
        }
        if (hasFault(QStringLiteral("no-keyframe"))) {
            noKey = true;
            addFault(QStringLiteral("no-keyframe"), videoPath, -1, QStringLiteral("no key frame"));
        }
    }

    struct Stream
    {
        int width = 0;
        int height = 0;
        std::vector<PacketEncoder::Packet> packets;
    };
    std::vector<Stream> streams(size_t(m_options.streams));
    const int frames = m_options.placeholder ? 1 : m_options.fileSeconds * m_options.fps;
    auto frameMs = [&](int i) { return rec.startMs + int((qint64(i) * 1000) / m_options.fps); };

    for (size_t s = 0; s < streams.size(); ++s) {
        Stream& st = streams[s];
        st.width = s == 0 ? width : std::max(32, (width / 2) & ~1);
        st.height = s == 0 ? height : std::max(32, (height / 2) & ~1);
        if (m_options.placeholder) {
            PacketEncoder::Packet p;
            p.data = QByteArray(16, char(0x5A));
            p.key = true;
            st.packets.push_back(p);
            continue;
        }
        PacketEncoder enc;
        enc.setRate(m_options.preset, s == 0 ? m_options.bitrate : m_options.bitrate / 4);
        if (!enc.open(codec, st.width, st.height, m_options.fps, noKey ? 0 : m_options.gop, error))
            return false;
        MarkerPainter::Values v;
        v.camera = camId;
        v.julianDay = date.toJulianDay();
        int pts = 0;
        if (noKey) {
            // A frame that is encoded and dropped: the file then starts inside a key-frame interval.
            v.msOfDay = std::max(0, rec.startMs - 1000 / m_options.fps);
            v.frameIndex = 0;
            MarkerPainter::paint(enc.frame(), v, camId);
            if (!enc.encode(pts++, error))
                return false;
        }
        for (int i = 0; i < frames; ++i) {
            v.msOfDay = frameMs(i);
            v.frameIndex = i;
            MarkerPainter::paint(enc.frame(), v, camId);
            addNoise(enc.frame(), m_options.noise, m_seed ^ (quint64(v.julianDay) << 40) ^ (quint64(camId) << 28) ^ quint64(v.msOfDay));
            if (!enc.encode(pts++, error))
                return false;
        }
        if (!enc.flush(error))
            return false;
        st.packets = std::move(enc.packets());
        if (noKey && !st.packets.empty())
            st.packets.erase(st.packets.begin());
        if (int(st.packets.size()) != frames) {
            *error = QStringLiteral("%1: the encoder gave %2 packets for %3 frames").arg(videoPath).arg(st.packets.size()).arg(frames);
            return false;
        }
    }

    QByteArray data;
    QList<QByteArray> lines;
    const QByteArray codecText = PacketEncoder::codecText(codec).toLatin1();
    for (int i = 0; i < frames; ++i) {
        const QByteArray stamp = stampText(date, frameMs(i));
        for (size_t s = 0; s < streams.size(); ++s) {
            const PacketEncoder::Packet& p = streams[s].packets[size_t(i)];
            data += p.data;
            lines << stamp + ":video" + QByteArray::number(streamBase + int(s)) + ":" + codecText + ":"
                         + QByteArray::number(streams[s].width) + "x" + QByteArray::number(streams[s].height) + ":"
                         + (p.key ? "1" : "0") + ":" + QByteArray::number(p.data.size());
        }
    }

    QByteArray eol = "\n";
    bool writeSeek = true;
    if (rec.target) {
        auto setSize = [&](int line, const QByteArray& size) {
            QList<QByteArray> fields = lines[line].split(':');
            fields[5] = size;
            lines[line] = fields.join(':');
        };
        const int middle = int(lines.size()) / 2;
        if (hasFault(QStringLiteral("size-nan"))) {
            setSize(middle, "12a");
            addFault(QStringLiteral("size-nan"), seekPath, middle, QStringLiteral("12a"));
        }
        if (hasFault(QStringLiteral("size-negative"))) {
            const int line = hasFault(QStringLiteral("size-nan")) ? middle + 1 < lines.size() ? middle + 1 : 0 : middle;
            setSize(line, "-5");
            addFault(QStringLiteral("size-negative"), seekPath, line, QStringLiteral("-5"));
        }
        if (hasFault(QStringLiteral("size-too-large"))) {
            const int line = int(lines.size()) - 1;
            const QByteArray big = QByteArray::number(qint64(data.size()) + 1000);
            setSize(line, big);
            addFault(QStringLiteral("size-too-large"), seekPath, line, QString::fromLatin1(big));
        }
        if (hasFault(QStringLiteral("bad-timestamp"))) {
            QList<QByteArray> fields = lines[0].split(':');
            fields[0] = date.toString(QStringLiteral("yyyy")).toLatin1() + "13" + fields[0].mid(6);
            fields[5] = "777";
            lines.insert(1, fields.join(':'));
            addFault(QStringLiteral("bad-timestamp"), seekPath, 1, QString::fromLatin1(fields[0]));
        }
        if (hasFault(QStringLiteral("crlf"))) {
            eol = "\r\n";
            addFault(QStringLiteral("crlf"), seekPath, -1, QStringLiteral("CR LF line ends"));
        }
        if (hasFault(QStringLiteral("truncated"))) {
            const int keep = int(qint64(data.size()) * 6 / 10);
            addFault(QStringLiteral("truncated"), videoPath, -1, QStringLiteral("%1 of %2 bytes").arg(keep).arg(data.size()));
            data.truncate(keep);
        }
        if (hasFault(QStringLiteral("missing-seek"))) {
            writeSeek = false;
            addFault(QStringLiteral("missing-seek"), seekPath, -1, QStringLiteral("not written"));
        }
        if (hasFault(QStringLiteral("empty-seek"))) {
            lines.clear();
            addFault(QStringLiteral("empty-seek"), seekPath, -1, QStringLiteral("0 bytes"));
        }
    }
    QByteArray seek;
    for (const QByteArray& l : lines)
        seek += l + eol;
    if (rec.target && hasFault(QStringLiteral("garbage-seek"))) {
        // Bytes that never form a line with a valid time stamp: no digit at all.
        std::mt19937_64 rng = rngFor(0, 0, 4242);
        seek = QByteArray(4096, '\0');
        for (char& c : seek) {
            c = char(rng() & 0xff);
            if (c >= '0' && c <= '9')
                c = char(c + 20);
        }
        addFault(QStringLiteral("garbage-seek"), seekPath, -1, QStringLiteral("4096 bytes without a digit"));
    }

    if (!writeFile(videoPath, data, error))
        return false;
    if (writeSeek && !writeFile(seekPath, seek, error))
        return false;

    QJsonObject j;
    j[QStringLiteral("day")] = date.toString(QStringLiteral("yyyy-MM-dd"));
    j[QStringLiteral("start")] = date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T') + timeText(rec.startMs, QStringLiteral("HH:mm:ss"));
    j[QStringLiteral("startMs")] = rec.startMs;
    j[QStringLiteral("dir")] = dir;
    j[QStringLiteral("video")] = videoPath;
    j[QStringLiteral("seek")] = seekPath;
    j[QStringLiteral("frames")] = frames;
    j[QStringLiteral("frames2")] = m_options.streams == 2 ? frames : 0;
    j[QStringLiteral("codec")] = PacketEncoder::codecName(codec);
    j[QStringLiteral("width")] = width;
    j[QStringLiteral("height")] = height;
    j[QStringLiteral("stream")] = QStringLiteral("video%1").arg(streamBase);
    if (rec.target)
        j[QStringLiteral("faultTarget")] = true;

    if (m_options.previews) {
        const QString previewPath = base + QStringLiteral("_preview.jpg");
        QByteArray jpg;
        if (m_options.placeholder) {
            jpg = QByteArray::fromHex("ffd8ffd9");
        } else {
            jpg = picture(rec.camera, rec.day, rec.startMs, 0, std::max(32, (m_options.width / 2) & ~1),
                          std::max(32, (m_options.height / 2) & ~1), error);
            if (jpg.isEmpty())
                return false;
        }
        if (!writeFile(previewPath, jpg, error))
            return false;
        j[QStringLiteral("preview")] = previewPath;
    }
    rec.json = j;
    return true;
}

bool ExportWriter::writeAudio(Recording& rec, const QString& base, QString* error)
{
    const QDate date = m_options.firstDay.addDays(rec.day);
    const QString audioPath = base + QStringLiteral(".zraudio");
    const QString seekPath = base + QStringLiteral(".zraudioseek");
    std::vector<QByteArray> packets;
    if (m_options.placeholder) {
        packets.push_back(AacEncoder::adtsHeader(9) + QByteArray(9, '\0'));
    } else {
        if (!AacEncoder::encode(m_options.fileSeconds, &packets, error))
            return false;
    }
    QByteArray data, seek;
    for (size_t k = 0; k < packets.size(); ++k) {
        const int ms = rec.startMs + int(qint64(k) * AacEncoder::kFrameSamples * 1000 / AacEncoder::kSampleRate);
        data += packets[k];
        seek += stampText(date, ms) + ":audio1:aac:" + QByteArray::number(packets[k].size()) + "\n";
    }
    if (!writeFile(audioPath, data, error) || !writeFile(seekPath, seek, error))
        return false;
    rec.json[QStringLiteral("audio")] = audioPath;
    rec.json[QStringLiteral("audioSeek")] = seekPath;
    rec.json[QStringLiteral("audioPackets")] = int(packets.size());
    return true;
}

bool ExportWriter::writeCameraInfo(int day, int camera, QString* path, QString* error)
{
    const Camera& cam = m_cameras[size_t(camera)];
    *path = mediaPath(day, camera) + QStringLiteral("/%1_camera.zrnfo").arg(cam.id);
    if (m_options.cameraNames) {
        QByteArray text;
        for (size_t c = 0; c < m_cameras.size(); ++c)
            text += scrambledNameLine(m_cameras[c].id, m_cameras[c].name, int(c) + 1) + "\n";
        return writeFile(*path, text, error);
    }
    QJsonObject o;
    if (m_options.cameraList) {
        QJsonArray list;
        for (const Camera& c : m_cameras) {
            QJsonObject e;
            e[QStringLiteral("cam_id")] = c.id;
            e[QStringLiteral("cam_name")] = c.name;
            list.append(e);
        }
        o[QStringLiteral("cameras")] = list;
    } else {
        o[QStringLiteral("cam_id")] = cam.id;
        o[QStringLiteral("cam_name")] = cam.name;
    }
    return writeFile(*path, FileCipher::encrypt(compact(o)), error);
}

bool ExportWriter::writeCameraDay(int day, int camera, QJsonArray* tags, QJsonArray* alarms, QString* error)
{
    const Camera& cam = m_cameras[size_t(camera)];
    const QDate date = m_options.firstDay.addDays(day);
    const QString dir = mediaPath(day, camera);
    std::vector<int> starts;
    for (const Recording& r : m_recordings)
        if (r.day == day && r.camera == camera)
            starts.push_back(r.startMs);
    if (starts.empty())
        starts.push_back(m_options.start.msecsSinceStartOfDay());

    // Moments inside the recorded minutes, whole seconds, sorted.
    auto moments = [&](int count, int salt) {
        std::mt19937_64 rng = rngFor(day, camera, salt);
        std::vector<std::pair<int, int>> out; // ms of day, frame index in its recording
        for (int k = 0; k < count; ++k) {
            const int start = starts[size_t(rng() % starts.size())];
            const int second = int(rng() % quint64(m_options.fileSeconds));
            out.emplace_back(start + second * 1000, second * m_options.fps);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    const int slot = day * m_options.cameras + camera;

    const auto tagTimes = moments(m_options.tags, 1);
    for (int k = 0; k < int(tagTimes.size()); ++k) {
        const int tagId = slot * m_options.tags + k + 1;
        const QString when = date.toString(QStringLiteral("yyyyMMdd")) + timeText(tagTimes[size_t(k)].first, QStringLiteral("HHmmss"));
        QJsonObject o;
        o[QStringLiteral("tag_id")] = QString::number(tagId);
        o[QStringLiteral("tag_datetime")] = when;
        o[QStringLiteral("tag_user_id")] = QStringLiteral("operator");
        o[QStringLiteral("tag_name")] = QStringLiteral("Tag %1").arg(tagId);
        o[QStringLiteral("tag_created_at")] = when;
        o[QStringLiteral("tag_description")] = QStringLiteral("Repère %1 de la caméra %2").arg(tagId).arg(cam.id);
        o[QStringLiteral("file_encoded_at")] = when;
        o[QStringLiteral("tag_cam_id")] = cam.id;
        const QString path = dir + QStringLiteral("/%1_%2_%3_%4.zrtag").arg(cam.id).arg(tagId)
                                       .arg(date.toString(QStringLiteral("yyyyMMdd")), timeText(tagTimes[size_t(k)].first, QStringLiteral("HHmmss")));
        if (!writeFile(path, FileCipher::encrypt(compact(o)), error))
            return false;
        QJsonObject j;
        j[QStringLiteral("path")] = path;
        j[QStringLiteral("id")] = QString::number(tagId);
        j[QStringLiteral("datetime")] = when;
        tags->append(j);
    }

    const auto alarmTimes = moments(m_options.alarms, 2);
    for (int k = 0; k < int(alarmTimes.size()); ++k) {
        const int alarmId = slot * m_options.alarms + k + 1;
        const int ms = alarmTimes[size_t(k)].first;
        const QString stem = dir + QStringLiteral("/%1_%2_%3_%4").arg(cam.id).arg(alarmId)
                                       .arg(date.toString(QStringLiteral("yyyyMMdd")), timeText(ms, QStringLiteral("HHmmss")));
        QByteArray image, thumb;
        if (m_options.placeholder) {
            image = thumb = QByteArray::fromHex("ffd8ffd9");
        } else {
            image = picture(camera, day, ms, alarmTimes[size_t(k)].second, m_options.width, m_options.height, error);
            thumb = picture(camera, day, ms, alarmTimes[size_t(k)].second, 160, 90, error);
            if (image.isEmpty() || thumb.isEmpty())
                return false;
        }
        if (!writeFile(stem + QStringLiteral(".jpg"), image, error) || !writeFile(stem + QStringLiteral("-thumb.jpg"), thumb, error))
            return false;
        QJsonObject j;
        j[QStringLiteral("image")] = stem + QStringLiteral(".jpg");
        j[QStringLiteral("thumb")] = stem + QStringLiteral("-thumb.jpg");
        j[QStringLiteral("alarmId")] = alarmId;
        j[QStringLiteral("datetime")] = date.toString(QStringLiteral("yyyyMMdd")) + timeText(ms, QStringLiteral("HHmmss"));
        alarms->append(j);
    }
    return true;
}

bool ExportWriter::writeHashList(int day, QString* error)
{
    const QString root = dayPath(day);
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    static const char* const excluded[] = {"index.zrnfo", "hash.json", "zrvideoindex.json", "zrindex_cache"};
    QString corruptTarget;
    if (day == 0 && hasFault(QStringLiteral("hash-corrupt"))) {
        for (const Recording& r : m_recordings)
            if (r.target)
                corruptTarget = r.json.value(QStringLiteral("video")).toString();
    }
    QJsonArray list;
    for (const QString& path : files) {
        const QString name = QFileInfo(path).fileName();
        bool skip = false;
        for (const char* ex : excluded)
            skip = skip || name.contains(QLatin1String(ex));
        if (skip)
            continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(path);
            return false;
        }
        QCryptographicHash sha(QCryptographicHash::Sha256);
        sha.addData(&f);
        QByteArray digest = sha.result().toHex();
        if (path == corruptTarget) {
            digest[0] = digest[0] == '0' ? '1' : '0';
            addFault(QStringLiteral("hash-corrupt"), path, -1, QString::fromLatin1(digest));
        }
        QJsonObject e;
        e[QStringLiteral("file")] = name;
        e[QStringLiteral("absolutepath")] = path;
        e[QStringLiteral("path")] = path.mid(root.size() + 1);
        e[QStringLiteral("sha256")] = QString::fromLatin1(digest);
        list.append(e);
    }
    return writeFile(root + QStringLiteral("/hash.json"), FileCipher::encrypt(QJsonDocument(list).toJson(QJsonDocument::Compact)), error);
}
