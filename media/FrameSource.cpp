#include "media/FrameSource.h"

#include "app/Log.h"
#include "media/FFmpegHolders.h"
#include "media/VideoDecoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

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
        const int k = key_frame_at_or_before(frames, i - 1);
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
    if (*picture) {
        picture_width = decoder->get_width();
        picture_height = decoder->get_height();
        picture_key = decoder->get_is_keyframe();
    }
    return true;
}

int FrameSource::key_frame_at_or_before(const QList<ZRFrame>& frames, int i)
{
    for (int k = std::min(i, int(frames.size()) - 1); k >= 0; --k)
        if (frames[k].is_keyframe())
            return k;
    return -1;
}

bool FrameSource::read_from_group(const QList<ZRFrame>& frames, int k, int target, const QString& sid,
                                  AVFrame** picture)
{
    *picture = nullptr;
    if (!group_serves(frames, k, target, sid))
        return false;
    // Not held: decode the group from its key frame up to the target, once.
    if (!groups.has_group(frames, k, sid))
        groups.prepare(frames, k, target, sid);
    const AVFrame* yuv = groups.picture(frames, k, target, sid);
    if (!yuv)
        return false;
    // Set up as the decoder sets up its own scaler, so that the pixels are the same.
    if (!group_scaler.is_ready() || group_scaler.get_output_width() != yuv->width
        || group_scaler.get_output_height() != yuv->height || group_scaler.get_src_pix_fmt() != yuv->format) {
        group_scaler.set_video_quality(1024); // SWS_SPLINE, the decoder's
        group_scaler.setup_scaler(yuv->width, yuv->height, yuv->width, yuv->height, false, yuv->format,
                                  AV_PIX_FMT_BGRA);
    }
    AVFrame* out = group_scaler.scale(yuv);
    if (!out || out->width != yuv->width || out->height != yuv->height)
        return false;
    groups.shown(frames, k, target, sid);
    ++served_from_groups;
    last_read_index = target;
    picture_width = yuv->width;
    picture_height = yuv->height;
    picture_key = ff::is_key_frame(yuv);
    *picture = out;
    return true;
}

bool FrameSource::group_serves(const QList<ZRFrame>& frames, int k, int target, const QString& sid) const
{
    return groups_enabled && k >= 0 && target >= k && target < frames.size() && frames[k].is_keyframe()
           && frames[target].get_stream_id() == sid;
}

bool FrameSource::group_still_decoding(const QList<ZRFrame>& frames, int k, int target, const QString& sid)
{
    if (!group_serves(frames, k, target, sid))
        return false;
    if (!groups.has_group(frames, k, sid))
        groups.prepare(frames, k, target, sid);
    return groups.decoding(frames, k, sid);
}

void FrameSource::prepare_group(const QList<ZRFrame>& frames, int k, int last, const QString& sid,
                                bool behind_last)
{
    if (groups_enabled)
        groups.prepare(frames, k, last, sid, behind_last);
}

void FrameSource::drop_groups()
{
    groups.clear();
}

void FrameSource::set_group_cache_enabled(bool on)
{
    groups_enabled = on;
    if (!on)
        groups.clear();
}

void FrameSource::aim_ahead(const QList<ZRFrame>& frames, int start, DecodeAhead::Walk walk, const QString& sid,
                            bool waiting, bool rate_one)
{
    if (!ahead_enabled)
        return;
    decode_ahead_worker().aim(frames, start, walk, sid, waiting, rate_one);
}

DecodeAhead& FrameSource::decode_ahead_worker()
{
    if (!ahead)
        ahead = std::make_unique<DecodeAhead>();
    return *ahead;
}

void FrameSource::follow_ahead(const QList<ZRFrame>& next)
{
    if (ahead)
        ahead->follow_with(next);
}

void FrameSource::drop_ahead()
{
    if (ahead)
        ahead->drop();
}

DecodeAhead::Take FrameSource::take_ahead(const QList<ZRFrame>& frames, int i, const QString& sid, AVFrame** picture,
                                          bool* read, bool* waiting_after)
{
    *picture = nullptr;
    *read = false;
    if (!ahead_enabled || !ahead)
        return DecodeAhead::Take::Elsewhere;
    DecodeAhead::Picture p;
    const DecodeAhead::Take t = ahead->take(frames, i, sid, *waiting_after, &p);
    if (t != DecodeAhead::Take::Ready)
        return t;
    if (p.attempted)
        last_read_index = i;
    *read = p.read;
    *waiting_after = p.waiting_after;
    ahead_picture = std::move(p.picture);
    if (ahead_picture) {
        picture_width = p.width;
        picture_height = p.height;
        picture_key = p.key;
        *picture = ahead_picture.get();
    }
    return t;
}

void FrameSource::set_decode_ahead_enabled(bool on)
{
    ahead_enabled = on;
    if (!on)
        ahead.reset();
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
    return picture_width;
}

int FrameSource::get_height() const
{
    return picture_height;
}

bool FrameSource::get_is_keyframe() const
{
    return picture_key;
}
