#include "media/ZRAudioVideoFileReader.h"

#include "app/Log.h"
#include "media/VideoDecoder.h"
#include "media/ZRSeekTable.h"
#include "store/StoreLayout.h"

#include <QFile>
#include <QMutexLocker>
#include <QWaitCondition>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

const QString kLog = QStringLiteral("ZRAudioVideo file reader :: ");

constexpr int kWaitStepMs = 300;
constexpr int kLineChunk = 512; // reads of at most 511 bytes

// Seek table and kind of a recording path; false when the path names no recording.
bool seek_table_for(const QString& path, QString* seek, QString* kind)
{
    const RecordingPair pair = recordingPairByWholePath(path);
    if (pair.kind == MediaKind::None)
        return false;
    *seek = pair.seek;
    *kind = pair.kind == MediaKind::Video ? QStringLiteral("video") : QStringLiteral("audio");
    return true;
}

} // namespace

ZRAudioVideoFileReader::ZRAudioVideoFileReader(QList<QFileInfo> f, QString id, QString start, QString end)
    : QThread(nullptr)
    , files(std::move(f))
    , stream_id(std::move(id))
    , start_time(std::move(start))
    , end_time(std::move(end))
{
}

ZRAudioVideoFileReader::ZRAudioVideoFileReader(QList<QFileInfo> f, QString id)
    : QThread(nullptr)
    , files(std::move(f))
    , stream_id(std::move(id))
{
}

ZRAudioVideoFileReader::ZRAudioVideoFileReader()
    : QThread(nullptr)
{
}

ZRAudioVideoFileReader::~ZRAudioVideoFileReader()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("destruct"));
}

void ZRAudioVideoFileReader::set_frame_queue(std::deque<DecodedFrame*>* queue)
{
    frame_queue = queue;
}

void ZRAudioVideoFileReader::set_frame_queue(DecodedFrameQueue* queue)
{
    frame_queue = queue ? &queue->frames : nullptr;
    queue_mutex = queue ? &queue->mutex : nullptr;
    queue_changed = queue ? &queue->changed : nullptr;
}

void ZRAudioVideoFileReader::set_max_queue_size(int limit)
{
    max_queue_size = limit;
}

void ZRAudioVideoFileReader::set_camera_names(QHash<int, QString> names)
{
    camera_names = std::move(names);
}

void ZRAudioVideoFileReader::stop()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("stop"));
    stop_requested = true;
    if (queue_mutex && queue_changed) {
        QMutexLocker lock(queue_mutex);
        queue_changed->wakeAll();
    }
}

int ZRAudioVideoFileReader::get_frame_count() const
{
    return frame_count.load();
}

ZRFrame ZRAudioVideoFileReader::get_frame(int index) const
{
    QMutexLocker lock(&state_mutex);
    if (index < 0 || index >= frames.size())
        return ZRFrame();
    return frames.at(index);
}

QStringList ZRAudioVideoFileReader::get_skipped_files() const
{
    QMutexLocker lock(&state_mutex);
    return skipped_files;
}

void ZRAudioVideoFileReader::set_frames(QList<ZRFrame> list)
{
    QMutexLocker lock(&state_mutex);
    frames = std::move(list);
    frame_count = frames.isEmpty() ? -1 : int(frames.size());
}

void ZRAudioVideoFileReader::note_skipped(const QString& path, const QString& why)
{
    write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("skip file :: ") + why + QStringLiteral(" :: ") + path);
    QMutexLocker lock(&state_mutex);
    if (!skipped_files.contains(path))
        skipped_files.append(path);
}

int ZRAudioVideoFileReader::get_frame_index_for_timestamp(QString time) const
{
    QMutexLocker lock(&state_mutex);
    if (frames.isEmpty()) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("get frame index for timestamp :: frame list is empty "));
        return -1;
    }
    // Both forms name the same second: the 14-digit text is what every line of that second
    // starts with.
    QString second;
    if (ZRSeekTable::parse_seconds_stamp(time))
        second = time;
    else if (ZRSeekTable::parse_stamp(time))
        second = time.left(14);
    else
        return -1;
    for (int i = 0; i < frames.size(); ++i)
        if (frames.at(i).get_timestamp().contains(second))
            return i;
    return -1;
}

void ZRAudioVideoFileReader::run()
{
    init_displayer_for_stream(stream_id);
    read_all_frames();
}

bool ZRAudioVideoFileReader::init_displayer_for_stream(QString id)
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init displayer for stream ") + id
              + QStringLiteral(" :: list size ") + QString::number(files.size()) + QStringLiteral(" :: interval ")
              + start_time + QStringLiteral(" - ") + end_time);
    stream_id = id;
    read_seek_file(files, stream_id, start_time, end_time, true);
    if (frames.isEmpty()) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init displayer for stream :: failed to read SEEK file"));
        return false;
    }
    if (!init_decoder_for_stream(stream_id)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init displayer for stream :: failed to init decoder"));
        return false;
    }
    // The probe queues nothing; the read loop reads frame 0 again.
    for (int i = 0; i < frames.size() && !stop_requested; ++i)
        if (read_frame(true, i, stream_id))
            return true;
    write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init displayer for stream :: failed to read first frame"));
    return false;
}

bool ZRAudioVideoFileReader::init_decoder_for_stream(QString id)
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init decoder for stream ") + id);
    decoder = std::make_unique<VideoDecoder>();
    QString name;
    if (!stop_requested && !frames.isEmpty() && frames.first().get_stream_id().contains(id))
        name = ZRSeekTable::decoder_for_codec_text(frames.first().get_codec());
    if (name.isEmpty())
        return false;
    // A second try: an open can fail once while the codec library initialises.
    if (decoder->open_decoder(name.toStdString()))
        return true;
    return decoder->open_decoder(name.toStdString());
}

QList<ZRFrame> ZRAudioVideoFileReader::read_seek_file(QList<QFileInfo> list, QString id, QString start, QString end,
                                                      bool first_only)
{
    QList<ZRFrame> found;
    const bool windowed = !start.isEmpty() && !end.isEmpty();
    bool inside = false;

    for (const QFileInfo& file : list) {
        if (stop_requested)
            break;
        if (parsed_files.contains(file))
            continue;
        const QString path = file.filePath();
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: file :: ") + path);
        QString seek_path, kind;
        if (!seek_table_for(path, &seek_path, &kind)) {
            parsed_files.append(file);
            note_skipped(path, QStringLiteral("not a recording"));
            continue;
        }
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: seek :: ") + seek_path);
        const QString camera_id = recordingCameraText(QFileInfo(seek_path).fileName());
        QString camera_name;
        if (!camera_id.isEmpty()) {
            if (!camera_names.isEmpty())
                camera_name = camera_names.value(camera_id.toInt());
            if (camera_name.isEmpty())
                camera_name = QStringLiteral("CAMERA ") + camera_id;
        }

        QFile seek(seek_path);
        if (!seek.open(QIODevice::ReadOnly)) {
            write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: Error Opening Seek File ")
                      + seek_path);
            // Passed over for good: the rest of the range is still read.
            parsed_files.append(file);
            note_skipped(path, QStringLiteral("seek table cannot be opened"));
            continue;
        }

        const QString strip = kind == QLatin1String("audio") ? QStringLiteral("audio") : QStringLiteral("video");
        const bool video = kind == QLatin1String("video");
        QList<ZRFrame> records;
        QStringList streams;
        qint64 running = 0;
        int valid_lines = 0;
        char chunk[kLineChunk];
        while (!stop_requested) {
            const qint64 n = seek.readLine(chunk, kLineChunk);
            if (n <= 0)
                break;
            const QByteArray line = QByteArray::fromRawData(chunk, int(n));
            const QList<QByteArray> fields = line.split(':');
            if (fields.isEmpty() || !ZRSeekTable::parse_stamp(fields.at(0).constData(), fields.at(0).size()))
                continue;
            ++valid_lines;
            ZRFrame r;
            r.set_timestamp(QString::fromLatin1(fields.at(0)));
            r.set_kind(kind);
            r.set_data_file(path);
            r.set_camera_name(camera_name);
            int size = 0;
            if (fields.size() > 1) {
                r.set_stream_id(QString::fromUtf8(fields.at(1)).remove(strip));
                if (!streams.contains(r.get_stream_id()))
                    streams.append(r.get_stream_id());
            }
            if (fields.size() > 2)
                r.set_codec(QString::fromUtf8(fields.at(2)));
            if (video) {
                if (fields.size() > 3)
                    r.set_resolution(QString::fromUtf8(fields.at(3)));
                if (fields.size() > 4)
                    r.set_keyframe_text(QString::fromUtf8(fields.at(4)));
                if (fields.size() > 5)
                    size = ZRSeekTable::parse_size(QString::fromLatin1(fields.at(5).trimmed()));
            } else if (fields.size() > 3) {
                size = ZRSeekTable::parse_size(QString::fromLatin1(fields.at(3).trimmed()));
            }
            r.set_size(size);
            r.set_offset(running);
            running += size;

            int flag = 1;
            if (windowed) {
                const QString t = r.get_timestamp().mid(8, 6);
                if (!inside) {
                    flag = (start <= t && t < end) ? 1 : 0;
                    inside = flag == 1;
                } else if (t >= end) {
                    // The first line at or after the end is still taken.
                    inside = false;
                }
            }
            r.set_in_range(flag);
            records.append(std::move(r));
        }
        seek.close();

        if (!streams.isEmpty() && !streams.contains(id)) {
            id = streams.first();
            id.remove(QLatin1String("video")).remove(QLatin1String("audio"));
            stream_id = id;
            write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: ID STREAM NOT FOUND set it to ")
                      + id);
        }
        for (ZRFrame& r : records)
            if (r.get_in_range() == 1 && r.get_stream_id().contains(id))
                found.append(std::move(r));
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: readed file ") + path);
        parsed_files.append(file);
        if (valid_lines == 0 && !stop_requested)
            note_skipped(path, QStringLiteral("seek table holds no frame line"));

        if (first_only && !found.isEmpty()) {
            write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Read Seek File :: used for init & framelist size ")
                      + QString::number(found.size()));
            break;
        }
    }

    set_frames(found);
    if (!found.isEmpty())
        estimate_fps();
    else
        emit error(-10);
    return found;
}

void ZRAudioVideoFileReader::estimate_fps()
{
    // Rate from the first and last stamps: counting changes of second reads a sub-second list
    // as infinite and a short one too high.
    qint64 first = 0, last = 0;
    bool have_first = false;
    for (const ZRFrame& f : frames) {
        qint64 ms = 0;
        if (!ZRSeekTable::parse_stamp(f.get_timestamp(), &ms))
            continue;
        if (!have_first) {
            first = ms;
            have_first = true;
        }
        last = ms;
    }
    double rate = 25.0;
    if (have_first && last > first && frames.size() > 1) {
        rate = std::round(double(frames.size() - 1) * 1000.0 / double(last - first));
        if (rate < 1.0)
            rate = 1.0;
    }
    fps = rate;
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Get FPS :: ") + QString::number(rate, 'f', 2));
}

bool ZRAudioVideoFileReader::wait_for_room()
{
    if (buffer_mode)
        return true;
    QMutexLocker lock(queue_mutex);
    // With no limit set nothing is read: the consumer sets one before it starts the reader.
    if (max_queue_size > 0 && frame_queue->size() < size_t(max_queue_size))
        return true;
    if (queue_changed)
        queue_changed->wait(queue_mutex, kWaitStepMs);
    else {
        lock.unlock();
        QThread::msleep(kWaitStepMs);
    }
    return false;
}

void ZRAudioVideoFileReader::read_all_frames()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("read all frames"));
    if (!buffer_mode && (!frame_queue || !queue_mutex)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("read all frames :: buffer is null"));
        return;
    }
    int i = 0;
    while (!stop_requested) {
        if (wait_for_room()) {
            if (i < frames.size()) {
                if (!read_frame(false, i, stream_id)) {
                    write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("read all frames :: failed to read frame ")
                              + QString::number(i));
                    // The rest of this file is passed over; the next file of the range follows.
                    note_skipped(frames.at(i).get_data_file(), QStringLiteral("frame data cannot be read"));
                    i = int(frames.size());
                } else {
                    ++i;
                    ++frames_read;
                }
            }
        }
        if (stop_requested)
            return;
        if (i == frames.size() && parsed_files.size() < files.size()) {
            if (!read_seek_file(files, stream_id, start_time, end_time, true).isEmpty())
                i = 0;
            else
                write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read all frames :: failed to read seek & get frames"));
        }
        if (i >= frames.size())
            return;
    }
}

bool ZRAudioVideoFileReader::read_frame(bool probe, int i, QString id)
{
    if (i < 0) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: invalid index"));
        return false;
    }
    if (frames.isEmpty()) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: framelist empty"));
        return false;
    }
    if (i >= frames.size()) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: index out of bounds"));
        return false;
    }
    const ZRFrame& f = frames.at(i);
    if (!f.get_stream_id().contains(id))
        return false;
    QFile data(f.get_data_file());
    if (!data.open(QIODevice::ReadOnly)) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: Error Opening Video File ")
                  + f.get_data_file());
        return false;
    }
    const qint64 size = f.get_size();
    // A table that promises more than the file holds is not read into memory blindly.
    if (size <= 0 || f.get_offset() + size > data.size() || !data.seek(f.get_offset())) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: frame outside the data file ")
                  + f.get_data_file());
        return false;
    }
    QByteArray bytes(int(size) + AV_INPUT_BUFFER_PADDING_SIZE, '\0');
    const qint64 got = data.read(bytes.data(), size);
    data.close();
    if (got < size) {
        write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("read frame :: short read ") + f.get_data_file());
        return false;
    }

    if (buffer_mode) {
        buffer = bytes.left(int(got));
        return true;
    }
    if (!decoder || (!probe && (!frame_queue || !queue_mutex)))
        return true;
    AVFrame* picture = decoder->decode_frame(reinterpret_cast<uint8_t*>(bytes.data()), int(got), false);
    if (!picture)
        return true;
    if (probe) {
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("read frame :: codecsize :")
                  + QString::number(decoder->get_width()) + QStringLiteral("x") + QString::number(decoder->get_height()));
        return true;
    }
    auto* record = new DecodedFrame();
    record->set_frameid(frames_read);
    record->set_frame(picture);
    record->set_height(decoder->get_height());
    record->set_width(decoder->get_width());
    record->set_pix_fmt(decoder->get_pix_fmt());
    record->set_is_keyframe(decoder->get_is_keyframe());
    record->set_timestamp(f.get_timestamp().toLatin1().constData());
    record->set_drawoverlay(f.get_camera_name());
    record->set_fps(-1.0);
    record->set_frametag(QString());
    record->filled = true;
    {
        QMutexLocker lock(queue_mutex);
        frame_queue->push_back(record);
        if (queue_changed)
            queue_changed->wakeAll();
    }
    ++frames_queued;
    return true;
}
