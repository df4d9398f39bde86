#include "tools/GeneratorOptions.h"

#include <QRegularExpression>

QStringList GeneratorOptions::faultKinds()
{
    return {QStringLiteral("truncated"),        QStringLiteral("size-nan"),
            QStringLiteral("size-negative"),    QStringLiteral("size-too-large"),
            QStringLiteral("bad-timestamp"),    QStringLiteral("crlf"),
            QStringLiteral("missing-seek"),     QStringLiteral("empty-seek"),
            QStringLiteral("no-keyframe"),      QStringLiteral("stream-change"),
            QStringLiteral("codec-change"),     QStringLiteral("resolution-change"),
            QStringLiteral("hash-corrupt"),     QStringLiteral("garbage-seek")};
}

QString GeneratorOptions::usage()
{
    return QStringLiteral(R"(zr-make-export: writes a synthetic recorder export folder.

Usage: zr-make-export --out DIR [options]

  --out DIR            parent folder; the export "zrnova_<id>" is created inside it (required)
  --id ID              export id "aaaa-bbbb-cccc-dddd" (hex); random from the seed by default
  --days N             number of day folders (default 1)
  --first-day DATE     first day, yyyy-MM-dd (default 2025-03-14); days follow one another
  --cameras N          number of cameras (default 1)
  --first-camera N     id of the first camera; the others follow (default 1)
  --minutes N          recordings per camera and day, one per minute (default 1)
  --start HH:mm:ss     start time of the first recording of each day (default 08:00:00)
  --file-seconds N     length of each recording in seconds (default 60; files still start a
                       minute apart, so a shorter length leaves a gap at the end of each minute)
  --skip LIST          comma-separated minute numbers (0-based) that are left out: gaps
  --codec C            h264 (default), h265 or mjpeg
  --fps N              frames per second (default 25)
  --gop N              frames from one key frame to the next (default = fps); every
                       recording starts with a key frame
  --noise N            camera-like sensor noise: every luma sample of every picture moves by up
                       to +-N (0 to 64, default 0), which brings the bit rate near a real camera's
  --preset P           x264/x265 speed preset: ultrafast (default, fast to write), superfast,
                       veryfast, faster, fast, medium, slow, slower, veryslow
  --bitrate KBITS      H.264/H.265 at this bit rate in kbit/s (a 1-second buffer, as cameras
                       do) instead of constant quality; camera-like streams are, for example,
                       --preset veryfast --bitrate 6000 --noise 6 at 1920x1080
  --size WxH           picture size of stream 1 (default 640x360; even numbers)
  --streams 1|2        2 adds an interleaved stream "video2" at half the size
  --audio              adds .zraudio + .zraudioseek (AAC-LC in ADTS, mono 16 kHz, 1024-sample packets;
                       packet k is a tone of 300 + 30 * (k % 100) Hz)
  --tags N             N encrypted .zrtag files per camera and day
  --alarms N           N alarm images + "-thumb" thumbnails per camera and day
  --previews           one "_preview.jpg" per recording (the recording's first picture, half size)
  --camera-list        camera-information files in list form ({"cameras":[...]}, every camera)
  --camera-names       camera-information files in the plain camera-name list form instead
  --placeholder        same tree and names, tiny contents, nothing encoded (for layout benchmarks)
  --fault KIND         damages the fault target (repeatable); KIND is one of:
                         truncated          data file cut at 60% of its size
                         size-nan           a middle seek line's size is "12a"
                         size-negative      a middle seek line's size is "-5"
                         size-too-large     the last seek line's size exceeds the file
                         bad-timestamp      an extra line with a month-13 time stamp (size 777)
                                            after the first line; the data file is unchanged
                         crlf               seek table lines end with CR LF
                         missing-seek       the .zrseek file is not written
                         empty-seek         the .zrseek file is empty
                         no-keyframe        the data holds no key frame (and no parameter sets)
                         stream-change      the target's lines use stream "video2" only
                         codec-change       the target is encoded in another codec
                                            (h264 -> h265, others -> h264)
                         resolution-change  the target is encoded at half the size
                         hash-corrupt       the target's digest in "hash.json" is wrong
                         garbage-seek       the .zrseek file is 4096 random bytes without a digit
                       The fault target is the second recording (the first when there is one)
                       of the first camera on the first day; hash.json lists the damaged files.
  --seed N             seed of every random choice (id, alarm/tag times); same seed, same bytes
  --jobs N             worker threads (default: one per processor)
  --json               print a JSON summary on stdout instead of the text report
  --help               this text

Layout: <out>/zrnova_<id>/<yyyy-MM-dd>/cam<6-digit camera id>/
  <cam>_<yyyyMMdd>_<HHmmss>.zrvideo/.zrseek[/.zraudio/.zraudioseek][_preview.jpg]
  <cam>_camera.zrnfo, <cam>_<tag id>_<yyyyMMdd>_<HHmmss>.zrtag,
  <cam>_<alarm id>_<yyyyMMdd>_<HHmmss>.jpg and ...-thumb.jpg; <day>/hash.json last.
Every picture carries camera id, date, time (ms) and its frame index in the file, as a
16x7 block grid (tests/support/FrameMarker.h reads it) and as text.
Encryption: AES-256-CBC, key = first 32 characters of the key text as ASCII, IV = first 16
characters of the IV text as ASCII.

JSON summary (--json):
  {"export": abs path, "id", "codec", "fps", "gop", "preset", "bitrate" (kbit/s, 0), "width", "height", "streams", "audio",
   "placeholder", "seed" (text), "files": number of files written, "seconds",
   "days": [{"date", "path", "hash": abs path of hash.json}],
   "cameras": [{"id", "name", "folder": media folder name,
      "recordings": [{"day", "start": "yyyy-MM-ddTHH:mm:ss", "startMs": ms since midnight,
         "dir", "video", "seek", "frames" (stream 1), "frames2" (stream 2, 0 without),
         "codec", "width", "height", "stream", "audio", "audioSeek", "audioPackets", "preview"}],
      "infoFiles": [abs paths], "previews": [abs paths],
      "tags": [{"path", "id", "datetime": yyyyMMddHHmmss}],
      "alarms": [{"image", "thumb", "alarmId", "datetime": yyyyMMddHHmmss}]}],
   "faults": [{"kind", "file": abs path of the damaged file, "line": seek line index or -1,
      "detail"}]}
)");
}

namespace {

bool toInt(const QString& text, int min, int max, int* value)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

} // namespace

bool GeneratorOptions::parse(const QStringList& args, GeneratorOptions* o, QString* error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        auto value = [&](QString* v) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            *v = args.at(++i);
            return true;
        };
        auto number = [&](int min, int max, int* target) {
            QString v;
            if (!value(&v))
                return false;
            if (!toInt(v, min, max, target)) {
                *error = QStringLiteral("%1: %2 is not a number from %3 to %4").arg(a, v).arg(min).arg(max);
                return false;
            }
            return true;
        };
        QString v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o->help = true;
        } else if (a == QLatin1String("--out")) {
            if (!value(&o->out))
                return false;
        } else if (a == QLatin1String("--id")) {
            if (!value(&v))
                return false;
            static const QRegularExpression re(QStringLiteral("^[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}$"));
            if (!re.match(v).hasMatch()) {
                *error = QStringLiteral("--id: %1 is not four groups of four hex digits").arg(v);
                return false;
            }
            o->id = v;
        } else if (a == QLatin1String("--days")) {
            if (!number(1, 3660, &o->days))
                return false;
        } else if (a == QLatin1String("--first-day")) {
            if (!value(&v))
                return false;
            o->firstDay = QDate::fromString(v, QStringLiteral("yyyy-MM-dd"));
            if (!o->firstDay.isValid() || o->firstDay.year() < 2000) {
                *error = QStringLiteral("--first-day: %1 is not a date yyyy-MM-dd from 2000").arg(v);
                return false;
            }
        } else if (a == QLatin1String("--cameras")) {
            if (!number(1, 1000, &o->cameras))
                return false;
        } else if (a == QLatin1String("--first-camera")) {
            if (!number(0, 999999, &o->firstCamera))
                return false;
        } else if (a == QLatin1String("--minutes")) {
            if (!number(0, 1440, &o->minutes))
                return false;
        } else if (a == QLatin1String("--start")) {
            if (!value(&v))
                return false;
            o->start = QTime::fromString(v, QStringLiteral("HH:mm:ss"));
            if (!o->start.isValid()) {
                *error = QStringLiteral("--start: %1 is not a time HH:mm:ss").arg(v);
                return false;
            }
        } else if (a == QLatin1String("--file-seconds")) {
            if (!number(1, 60, &o->fileSeconds))
                return false;
        } else if (a == QLatin1String("--skip")) {
            if (!value(&v))
                return false;
            for (const QString& part : v.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                int m = 0;
                if (!toInt(part.trimmed(), 0, 1439, &m)) {
                    *error = QStringLiteral("--skip: %1 is not a minute number").arg(part);
                    return false;
                }
                o->skip.insert(m);
            }
        } else if (a == QLatin1String("--codec")) {
            if (!value(&v))
                return false;
            if (!PacketEncoder::parseCodec(v, &o->codec)) {
                *error = QStringLiteral("--codec: %1 is not h264, h265 or mjpeg").arg(v);
                return false;
            }
        } else if (a == QLatin1String("--fps")) {
            if (!number(1, 120, &o->fps))
                return false;
        } else if (a == QLatin1String("--gop")) {
            if (!number(1, 100000, &o->gop))
                return false;
        } else if (a == QLatin1String("--noise")) {
            if (!number(0, 64, &o->noise))
                return false;
        } else if (a == QLatin1String("--preset")) {
            if (!value(&v))
                return false;
            if (!PacketEncoder::presets().contains(v)) {
                *error = QStringLiteral("--preset: %1 is not one of %2").arg(v, PacketEncoder::presets().join(QLatin1String(", ")));
                return false;
            }
            o->preset = v;
        } else if (a == QLatin1String("--bitrate")) {
            if (!number(1, 1000000, &o->bitrate))
                return false;
        } else if (a == QLatin1String("--size")) {
            if (!value(&v))
                return false;
            const QStringList wh = v.split(QLatin1Char('x'));
            if (wh.size() != 2 || !toInt(wh[0], 32, 7680, &o->width) || !toInt(wh[1], 32, 4320, &o->height)
                || o->width % 2 || o->height % 2) {
                *error = QStringLiteral("--size: %1 is not WxH with even sizes from 32x32").arg(v);
                return false;
            }
        } else if (a == QLatin1String("--streams")) {
            if (!number(1, 2, &o->streams))
                return false;
        } else if (a == QLatin1String("--audio")) {
            o->audio = true;
        } else if (a == QLatin1String("--tags")) {
            if (!number(0, 1000, &o->tags))
                return false;
        } else if (a == QLatin1String("--alarms")) {
            if (!number(0, 1000, &o->alarms))
                return false;
        } else if (a == QLatin1String("--previews")) {
            o->previews = true;
        } else if (a == QLatin1String("--camera-list")) {
            o->cameraList = true;
        } else if (a == QLatin1String("--camera-names")) {
            o->cameraNames = true;
        } else if (a == QLatin1String("--placeholder")) {
            o->placeholder = true;
        } else if (a == QLatin1String("--fault")) {
            if (!value(&v))
                return false;
            if (!faultKinds().contains(v)) {
                *error = QStringLiteral("--fault: unknown kind %1 (one of %2)").arg(v, faultKinds().join(QLatin1String(", ")));
                return false;
            }
            if (!o->faults.contains(v))
                o->faults << v;
        } else if (a == QLatin1String("--seed")) {
            if (!value(&v))
                return false;
            bool ok = false;
            o->seed = v.toULongLong(&ok);
            if (!ok) {
                *error = QStringLiteral("--seed: %1 is not a number").arg(v);
                return false;
            }
            o->seedGiven = true;
        } else if (a == QLatin1String("--jobs")) {
            if (!number(1, 256, &o->jobs))
                return false;
        } else if (a == QLatin1String("--json")) {
            o->json = true;
        } else {
            *error = QStringLiteral("unknown argument %1 (see --help)").arg(a);
            return false;
        }
    }
    if (o->help)
        return true;
    if (o->out.isEmpty()) {
        *error = QStringLiteral("--out DIR is required (see --help)");
        return false;
    }
    if (o->gop == 0)
        o->gop = o->fps;
    if (o->cameraList && o->cameraNames) {
        *error = QStringLiteral("--camera-list and --camera-names exclude each other");
        return false;
    }
    const int startSec = o->start.msecsSinceStartOfDay() / 1000;
    if (startSec + o->minutes * 60 > 86400) {
        *error = QStringLiteral("the recordings would cross midnight");
        return false;
    }
    if (o->firstCamera + o->cameras - 1 > 999999) {
        *error = QStringLiteral("camera ids must stay below 1000000");
        return false;
    }
    return true;
}
