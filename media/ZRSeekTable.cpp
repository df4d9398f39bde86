#include "media/ZRSeekTable.h"

#include "store/StoreLayout.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool is_leap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && is_leap(y)) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 days_from_civil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

template <typename Ch>
bool digits(const Ch* p, qsizetype from, qsizetype count, int* value)
{
    int v = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const auto c = p[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + int(c - '0');
    }
    *value = v;
    return true;
}

// Shared by the 17-digit and the 14-digit forms; ms_digits is 3 or 0.
template <typename Ch>
bool parse_digits_stamp(const Ch* p, qsizetype length, qsizetype ms_digits, qint64* msecs)
{
    if (!p || length != 14 + ms_digits)
        return false;
    int y, mo, d, h, mi, s, ms = 0;
    if (!digits(p, 0, 4, &y) || !digits(p, 4, 2, &mo) || !digits(p, 6, 2, &d) || !digits(p, 8, 2, &h)
        || !digits(p, 10, 2, &mi) || !digits(p, 12, 2, &s))
        return false;
    if (ms_digits && !digits(p, 14, ms_digits, &ms))
        return false;
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59 || s > 59)
        return false;
    if (msecs)
        *msecs = ((days_from_civil(y, mo, d) * 24 + h) * 60 + mi) * 60000LL + s * 1000LL + ms;
    return true;
}

// Returns the same QString for the same bytes as the previous line: one allocation per table
// instead of one per line for the fields that rarely change.
struct FieldCache
{
    QByteArray raw;
    QString value;
    bool valid = false;
    bool changed = false; // the last get() made a new value

    template <typename Make>
    const QString& get(const char* p, qsizetype n, Make make)
    {
        changed = !valid || raw.size() != n || std::memcmp(raw.constData(), p, size_t(n)) != 0;
        if (changed) {
            raw = QByteArray(p, n);
            value = make(QString::fromUtf8(p, n));
            valid = true;
        }
        return value;
    }
};

} // namespace

bool ZRSeekTable::parse_stamp(QStringView text, qint64* msecs)
{
    return parse_digits_stamp(text.utf16(), text.size(), 3, msecs);
}

bool ZRSeekTable::parse_stamp(const char* text, qsizetype length, qint64* msecs)
{
    return parse_digits_stamp(text, length, 3, msecs);
}

bool ZRSeekTable::parse_seconds_stamp(QStringView text, qint64* msecs)
{
    return parse_digits_stamp(text.utf16(), text.size(), 0, msecs);
}

QString ZRSeekTable::display_text(QStringView s)
{
    if (!parse_stamp(s))
        return QString();
    QString out;
    out.reserve(23);
    out.append(s.mid(0, 4)).append(QLatin1Char('-')).append(s.mid(4, 2)).append(QLatin1Char('-'));
    out.append(s.mid(6, 2)).append(QLatin1Char(' ')).append(s.mid(8, 2)).append(QLatin1Char(':'));
    out.append(s.mid(10, 2)).append(QLatin1Char(':')).append(s.mid(12, 2)).append(QLatin1Char('.'));
    out.append(s.mid(14, 3));
    return out;
}

QTime ZRSeekTable::time_of_day(QStringView s)
{
    if (!parse_stamp(s))
        return QTime();
    return QTime(s.mid(8, 2).toInt(), s.mid(10, 2).toInt(), s.mid(12, 2).toInt(), s.mid(14, 3).toInt());
}

template <typename Ch>
int ZRSeekTable::parse_size_chars(const Ch* p, qsizetype n)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (p[i] == Ch('+') || p[i] == Ch('-'))) {
        negative = p[i] == Ch('-');
        ++i;
    }
    if (i >= n)
        return 0;
    qint64 v = 0;
    for (; i < n; ++i) {
        const auto c = p[i];
        if (c < Ch('0') || c > Ch('9'))
            return 0;
        v = v * 10 + int(c - Ch('0'));
        if (v > 2147483647LL)
            return 0;
    }
    return negative ? 0 : int(v);
}

int ZRSeekTable::parse_size(QStringView field)
{
    return parse_size_chars(field.utf16(), field.size());
}

QString ZRSeekTable::decoder_for_codec_text(QStringView t)
{
    if (t.contains(u"264"))
        return QStringLiteral("libx264");
    if (t.contains(u"MPEG4"))
        return QStringLiteral("mpeg4");
    if (t.contains(u"265"))
        return QStringLiteral("hevc");
    if (t.contains(u"aac"))
        return QStringLiteral("aac");
    return QStringLiteral("mjpeg");
}

QList<ZRFrame> ZRSeekTable::parse_text(const QByteArray& text, const QString& kind, const QString& data_file)
{
    QList<ZRFrame> frames;
    parse_into(text, kind, data_file, QString(), nullptr, &frames, nullptr);
    return frames;
}

void ZRSeekTable::parse_into(const QByteArray& text, const QString& kind, const QString& data_file,
                             const QString& camera_name, const QString* wanted, QList<ZRFrame>* frames,
                             QStringList* streams)
{
    const bool video = kind == QLatin1String("video");
    const QString strip = video ? QStringLiteral("video") : QStringLiteral("audio");
    const int needed = video ? 6 : 4;
    FieldCache stream_cache, codec_cache, resolution_cache, key_cache;
    // Whether the cached stream id passes the filter, worked out once per distinct id.
    bool stream_kept = true;
    const QString empty_stream;

    const char* p = text.constData();
    const char* const end = p + text.size();
    frames->reserve(frames->size() + int(text.size() / 52));
    qint64 running = 0;

    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* line_end = nl ? nl : end;
        const char* b = p;
        const char* e = line_end;
        p = nl ? nl + 1 : end;
        while (b < e && is_space(*b))
            ++b;
        while (e > b && is_space(e[-1]))
            --e;
        if (b == e)
            continue;

        // Field boundaries; only the first `needed` fields matter.
        const char* fb[6];
        const char* fe[6];
        int count = 0;
        const char* f = b;
        while (count < 6) {
            const char* colon = static_cast<const char*>(std::memchr(f, ':', size_t(e - f)));
            fb[count] = f;
            fe[count] = colon ? colon : e;
            ++count;
            if (!colon)
                break;
            f = colon + 1;
        }
        if (fe[0] == fb[0] || !parse_stamp(fb[0], fe[0] - fb[0]))
            continue;

        int size = 0;
        const QString* sid = &empty_stream;
        if (count >= needed) {
            sid = &stream_cache.get(fb[1], fe[1] - fb[1], [&](QString s) { return s.remove(strip); });
            if (stream_cache.changed) {
                if (streams && !sid->isEmpty() && !streams->contains(*sid))
                    streams->append(*sid);
                stream_kept = !wanted || sid->contains(*wanted);
            }
            size = parse_size_chars(fb[needed - 1], fe[needed - 1] - fb[needed - 1]);
        } else {
            stream_kept = !wanted || empty_stream.contains(*wanted);
            stream_cache.valid = false;
        }
        const qint64 offset = running;
        // A line too short for its kind adds nothing: later offsets stay as if it were absent.
        running += size;
        if (!stream_kept)
            continue;

        ZRFrame frame;
        frame.timestamp = QString::fromLatin1(fb[0], fe[0] - fb[0]);
        frame.kind = kind;
        frame.data_file = data_file;
        frame.camera_name = camera_name;
        frame.in_range = 1;
        if (count >= needed) {
            frame.stream_id = *sid;
            if (video) {
                frame.codec = codec_cache.get(fb[2], fe[2] - fb[2], [](const QString& s) { return decoder_for_codec_text(s); });
                frame.resolution = resolution_cache.get(fb[3], fe[3] - fb[3], [](const QString& s) { return s; });
                frame.keyframe_text = key_cache.get(fb[4], fe[4] - fb[4], [](const QString& s) { return s; });
            } else {
                frame.codec = codec_cache.get(fb[2], fe[2] - fb[2], [](const QString& s) { return s; });
            }
        }
        frame.size = size;
        frame.offset = offset;
        frames->append(std::move(frame));
    }
}

ZRSeekTable::FileResult ZRSeekTable::parse_file(const QString& path, const QString& wanted,
                                                const QHash<int, QString>& camera_names)
{
    FileResult result;
    const RecordingPair pair = recordingPairByWholePath(path);
    if (pair.kind == MediaKind::None)
        return result;
    const QString& seek_path = pair.seek;
    const QString& data_path = pair.data;
    const QString kind = pair.kind == MediaKind::Video ? QStringLiteral("video") : QStringLiteral("audio");

    QFile file(seek_path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QByteArray text = file.readAll();
    file.close();

    QString camera_name;
    const QString camera_id = recordingCameraText(QFileInfo(seek_path).fileName());
    if (!camera_id.isEmpty()) {
        bool numeric = false;
        const int id = camera_id.toInt(&numeric);
        if (numeric && camera_names.contains(id))
            camera_name = camera_names.value(id);
        else
            camera_name = QStringLiteral("CAMERA ") + camera_id;
    }

    parse_into(text, kind, data_path, camera_name, &wanted, &result.frames, &result.streams);
    if (!result.streams.isEmpty() && !result.streams.contains(wanted))
        result.detected_stream = result.streams.first();
    return result;
}
