#include "media/FrameSource.h"

#include "app/Log.h"
#include "media/FFmpegHolders.h"
#include "media/VideoDecoder.h"

#include <algorithm>

FrameSource::FrameSource() = default;

FrameSource::~FrameSource() = default;

void FrameSource::close_data_file()
{
    if (data_file.isOpen())
        data_file.close();
    data_file_name.clear();
}

bool FrameSource::init_decoder_for_codec(const QString& codec)
{
    write_log(QStringLiteral("[INFO] ZRStream read & control :: init decoder for codec ") + codec);
    decoder = std::make_unique<VideoDecoder>();
    fed_offset = -1;
    fed_file.clear();
    decoder_open = false;
    if (codec.isEmpty())
        return false;
    const std::string name = codec.toStdString();
    // Tried twice on purpose: every owner of a decoder retries a failed open once, and the log
    // of a codec that cannot be opened shows both attempts.
    decoder_open = decoder->open_decoder(name) || decoder->open_decoder(name);
    return decoder_open;
}

bool FrameSource::read(const QList<ZRFrame>& frames, int i, const QString& sid, bool convert, AVFrame** picture)
{
    *picture = nullptr;
    if (i < 0) {
        write_log("[WARN] read frame :: invalid index");
        return false;
    }
    if (frames.isEmpty()) {
        write_log("[WARN] read frame :: framelist empty");
        return false;
    }
    if (i >= frames.size()) {
        write_log("[WARN] read frame :: index out of bounds");
        return false;
    }
    const ZRFrame& frame = frames[i];
    if (frame.get_stream_id() != sid) {
        write_log(QStringLiteral("[WARN] read frame :: frame stream mismatch. want=") + sid + QStringLiteral(" got=")
                  + frame.get_stream_id());
        return false;
    }

    if (!read_packet(frames, i))
        return false;

    if (!decoder || decoder->get_codec_name() != frame.get_codec().toStdString()) {
        write_log(QStringLiteral("[INFO] read frame :: decoder change/open to ") + frame.get_codec());
        init_decoder_for_codec(frame.get_codec());
    }
    if (!decoder_open) {
        write_log("[WARN] read frame :: decoder not open");
        return false;
    }

    // A picture other than a key frame is only right on top of the one before it: when the
    // decoder holds something else (a step moved away, the same packet again, a frame left
    // out), decode the group from its key frame first, as a straight decode would have.
    if (!priming && !frame.is_keyframe() && !decoder_follows(frames, i)) {
        int k = i - 1;
        while (k >= 0 && !frames[k].is_keyframe())
            --k;
        if (k >= 0) {
            priming = true;
            AVFrame* ignored = nullptr;
            for (int j = k; j < i; ++j)
                read(frames, j, sid, false, &ignored);
            priming = false;
            if (!read_packet(frames, i))
                return false;
        }
    }
    fed_file = frame.get_data_file();
    fed_offset = frame.get_offset();

    *picture = decoder->decode_frame(reinterpret_cast<uint8_t*>(read_buffer.data()), int(frame.get_size()), convert);
    return true;
}

bool FrameSource::read_packet(const QList<ZRFrame>& frames, int i)
{
    const ZRFrame& frame = frames[i];
    if (data_file_name != frame.get_data_file() || !data_file.isOpen()) {
        if (data_file.isOpen())
            data_file.close();
        data_file.setFileName(frame.get_data_file());
        if (!data_file.open(QIODevice::ReadOnly)) {
            write_log(QStringLiteral("[WARN] read frame :: cannot open data file ") + frame.get_data_file());
            data_file_name.clear();
            return false;
        }
        data_file_name = frame.get_data_file();
    }
    last_read_index = i;

    const qint64 offset = frame.get_offset();
    const qint64 size = frame.get_size();
    // Check the frame against the file before allocating: a bad table must not make us
    // allocate or read what is not there.
    const qint64 available = std::clamp<qint64>(data_file.size() - offset, 0, size);
    if (available < size) {
        write_log(QStringLiteral("[WARN] read frame :: short read %1 / %2").arg(available).arg(size));
        return false;
    }
    if (!data_file.seek(offset)) {
        write_log("[WARN] read frame :: seek failed");
        return false;
    }
    read_buffer.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    const qint64 got = data_file.read(read_buffer.data(), size);
    if (got < size) {
        write_log(QStringLiteral("[WARN] read frame :: short read %1 / %2").arg(std::max<qint64>(got, 0)).arg(size));
        return false;
    }
    std::fill(read_buffer.begin() + size, read_buffer.end(), '\0');
    return true;
}

bool FrameSource::decoder_follows(const QList<ZRFrame>& frames, int i) const
{
    if (i <= 0 || fed_offset < 0)
        return false;
    const ZRFrame& before = frames[i - 1];
    return before.get_offset() == fed_offset && before.get_data_file() == fed_file;
}

int FrameSource::get_width() const
{
    return decoder ? decoder->get_width() : -1;
}

int FrameSource::get_height() const
{
    return decoder ? decoder->get_height() : -1;
}

bool FrameSource::get_is_keyframe() const
{
    return decoder && decoder->get_is_keyframe();
}
