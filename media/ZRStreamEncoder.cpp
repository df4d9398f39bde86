#include "media/ZRStreamEncoder.h"

#include "app/Log.h"
#include "media/ZRSeekTable.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

const QString kLog = QStringLiteral("ZRStream Encoder :: ");

struct CodecRow
{
    const char* name;
    AVCodecID id;
    AVPixelFormat pix_fmt;
    bool crf;
    bool quantisers;
    const char* format_name; // container tried when the path's extension names none
    const char* seek_text;   // codec text of the raw mode's seek lines
};

const CodecRow kCodecs[] = {
    {"libx264", AV_CODEC_ID_H264, AV_PIX_FMT_YUV420P, true, false, "h264", "frame/h264"},
    {"hevc", AV_CODEC_ID_HEVC, AV_PIX_FMT_YUV420P, true, false, "hevc", "frame/h265"},
    {"av1", AV_CODEC_ID_AV1, AV_PIX_FMT_YUV420P, false, false, "av1", "frame/av1"},
    {"vp9", AV_CODEC_ID_VP9, AV_PIX_FMT_YUV420P, true, true, "vp9", "frame/vp9"},
    {"mjpeg", AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, false, true, "mjpeg", "frame/jpeg"},
    {"mpeg4", AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, false, true, "m4v", "frame/mpeg4"},
    {"raw", AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_YUV420P, false, true, nullptr, ""},
};

const CodecRow* row_for(const QString& name)
{
    for (const CodecRow& r : kCodecs)
        if (name == QLatin1String(r.name))
            return &r;
    return nullptr;
}

quint64 converter_key(int w, int h, int fmt)
{
    return (quint64(quint32(w)) << 40) ^ (quint64(quint32(h)) << 16) ^ quint64(quint32(fmt + 1));
}

// "yyyyMMddHHmmsszzz" as "yyyy-MM-dd HH:mm:ss:zzz", read as a wall-clock text (no time zone:
// a stamp inside a daylight-saving gap is written as it stands).
QString band_time(const QString& s)
{
    if (!ZRSeekTable::parse_stamp(s))
        return QString();
    return s.mid(0, 4) + QLatin1Char('-') + s.mid(4, 2) + QLatin1Char('-') + s.mid(6, 2) + QLatin1Char(' ') + s.mid(8, 2)
         + QLatin1Char(':') + s.mid(10, 2) + QLatin1Char(':') + s.mid(12, 2) + QLatin1Char(':') + s.mid(14, 3);
}

} // namespace

ZRStreamEncoder::ZRStreamEncoder()
    : QObject(nullptr)
{
}

ZRStreamEncoder::~ZRStreamEncoder()
{
    // The file is closed before its context goes with the other holders.
    close_output();
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("destruct"));
}

void ZRStreamEncoder::close_output()
{
    if (!format_context || !output_open)
        return;
    if (!(format_context->oformat->flags & AVFMT_NOFILE)) {
        if (avio_closep(&format_context->pb) < 0)
            write_error = true;
    }
    output_open = false;
}

bool ZRStreamEncoder::init_encoder(QString path, QString codec, int /*rate*/, int fps_in, int w, int h, bool with_overlay,
                                   QString overlay_size, int src_pix_fmt)
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: video codec ") + codec);
    output_path = path.toLocal8Bit();
    codec_name = codec;
    overlay = with_overlay;

    const CodecRow* row = row_for(codec);
    if (!row) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: Failed to set video codec ") + codec);
        return false;
    }
    if (overlay_size == QLatin1String("small"))
        font_size = 12;
    else if (overlay_size == QLatin1String("normal"))
        font_size = 16;
    else if (overlay_size == QLatin1String("large"))
        font_size = 20;
    else if (overlay_size == QLatin1String("extralarge"))
        font_size = 26;
    width = w;
    height = h;
    fps = fps_in;
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: fps ") + QString::number(fps));
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: codec size ") + QString::number(width)
              + QStringLiteral("x") + QString::number(height));
    if (fps <= 0 || width <= 0 || height <= 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: invalid size or frame rate"));
        return false;
    }

    AVFormatContext* allocated = nullptr;
    avformat_alloc_output_context2(&allocated, nullptr, nullptr, output_path.constData());
    if (!allocated && row->format_name)
        avformat_alloc_output_context2(&allocated, nullptr, row->format_name, output_path.constData());
    format_context.reset(allocated);
    if (!format_context) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: Output format allocation error"));
        emit error(-8);
        return false;
    }

    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: Add video stream"));
    encoder = avcodec_find_encoder(row->id);
    if (!encoder) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: Could not find encoder"));
        emit error(-6);
        return false;
    }
    stream = avformat_new_stream(format_context.get(), nullptr);
    if (!stream) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("add video stream :: Could not allocate stream"));
        return false;
    }
    stream->id = int(format_context->nb_streams) - 1;
    codec_context.reset(avcodec_alloc_context3(encoder));
    if (!codec_context) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("add video stream :: Could not alloc an encoding context"));
        return false;
    }

    codec_context->time_base = AVRational{1, fps};
    codec_context->framerate = AVRational{fps, 1};
    codec_context->gop_size = fps;
    codec_context->codec_type = AVMEDIA_TYPE_VIDEO;
    codec_context->width = width;
    codec_context->height = height;
    codec_context->codec_id = row->id;
    codec_context->pix_fmt = row->pix_fmt;
    // An export is a wait for the operator: let the encoder use the machine's cores.
    codec_context->thread_count = 0;
    if (row->quantisers) {
        codec_context->qmin = 2;
        codec_context->qmax = 31;
        codec_context->max_qdiff = 1;
        codec_context->rc_max_rate = 0;
        codec_context->rc_min_rate = 0;
    }
    if (row->crf && codec_context->priv_data)
        av_opt_set(codec_context->priv_data, "crf", "10", 0);
    if (row->id == AV_CODEC_ID_H264 || row->id == AV_CODEC_ID_HEVC || row->id == AV_CODEC_ID_AV1)
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init codec context for ") + codec);
    // MP4 and Matroska keep the parameter sets in the container, not in the stream.
    if (format_context->oformat->flags & AVFMT_GLOBALHEADER)
        codec_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: Find for encoder ") + codec);
    if (avcodec_open2(codec_context.get(), encoder, nullptr) < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: Could not open encoder "));
        emit error(-6);
        return false;
    }
    if (avcodec_parameters_from_context(stream->codecpar, codec_context.get()) < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: fail to copy parameters "));
        return false;
    }
    stream->time_base = codec_context->time_base;
    stream->avg_frame_rate = AVRational{fps, 1};

    write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: dump format "));
    av_dump_format(format_context.get(), 0, output_path.constData(), 1);

    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: IO Open"));
    if (!(format_context->oformat->flags & AVFMT_NOFILE)) {
        if (avio_open(&format_context->pb, output_path.constData(), AVIO_FLAG_WRITE) < 0) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Could not open ") + path);
            emit error(-9);
            return false;
        }
    }
    output_open = true;
    if (avformat_write_header(format_context.get(), nullptr) < 0 || (format_context->pb && format_context->pb->error < 0)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("init encoder :: Could not write header ") + path);
        write_error = true;
        close_output();
        emit error(-9);
        return false;
    }
    header_written = true;
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("init encoder :: Initialisation DONE"));
    return setup_frames(src_pix_fmt);
}

bool ZRStreamEncoder::setup_frames(int src_pix_fmt)
{
    encoder_frame = ff::make_frame();
    if (!encoder_frame)
        return false;
    encoder_frame->format = codec_context->pix_fmt;
    encoder_frame->width = width;
    encoder_frame->height = height;
    if (av_frame_get_buffer(encoder_frame.get(), 0) < 0)
        return false;
    if (overlay) {
        bgra_frame = ff::make_frame();
        if (!bgra_frame)
            return false;
        bgra_frame->format = AV_PIX_FMT_BGRA;
        bgra_frame->width = width;
        bgra_frame->height = height;
        if (av_frame_get_buffer(bgra_frame.get(), 0) < 0)
            return false;
        from_bgra.reset(sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height,
                                       AVPixelFormat(codec_context->pix_fmt), SWS_SPLINE, nullptr, nullptr, nullptr));
        if (!from_bgra)
            return false;
        return converter_for(to_bgra, width, height, src_pix_fmt, AV_PIX_FMT_BGRA) != nullptr || src_pix_fmt < 0;
    }
    return converter_for(converters, width, height, src_pix_fmt, codec_context->pix_fmt) != nullptr || src_pix_fmt < 0;
}

SwsContext* ZRStreamEncoder::converter_for(ConverterCache& cache, int w, int h, int fmt, int dst_fmt)
{
    if (w <= 0 || h <= 0 || fmt < 0)
        return nullptr;
    const quint64 key = converter_key(w, h, fmt);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.get();
    // Whole pictures are converted on slice threads (one per core), as the encoders work.
    ff::SwsContextPtr held(sws_alloc_context());
    SwsContext* c = held.get();
    if (!c)
        return nullptr;
    av_opt_set_int(c, "srcw", w, 0);
    av_opt_set_int(c, "srch", h, 0);
    av_opt_set_int(c, "src_format", fmt, 0);
    av_opt_set_int(c, "dstw", width, 0);
    av_opt_set_int(c, "dsth", height, 0);
    av_opt_set_int(c, "dst_format", dst_fmt, 0);
    av_opt_set_int(c, "sws_flags", SWS_SPLINE, 0);
    av_opt_set_int(c, "threads", 0, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0)
        return nullptr;
    cache.emplace(key, std::move(held));
    return c;
}

SwsContext* ZRStreamEncoder::strip_converter(ConverterCache& cache, int rows, int fmt, int dst_fmt)
{
    const quint64 key = converter_key(rows, fmt, dst_fmt);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.get();
    SwsContext* c = sws_getContext(width, rows, AVPixelFormat(fmt), width, rows, AVPixelFormat(dst_fmt), SWS_SPLINE,
                                   nullptr, nullptr, nullptr);
    if (c)
        cache.emplace(key, ff::SwsContextPtr(c));
    return c;
}

int ZRStreamEncoder::band_height()
{
    if (band_rows < 0) {
        QFont font;
        if (font_size > 0)
            font.setPointSize(font_size);
        band_rows = int(1.5 * QFontMetrics(font).height());
    }
    return band_rows;
}

void ZRStreamEncoder::draw_overlay(const QString& timestamp, const QString& overlay_text)
{
    QImage image(bgra_frame->data[0], width, height, bgra_frame->linesize[0], QImage::Format_RGB32);
    if (image.isNull())
        return;
    QPainter painter(&image);
    QFont font = painter.font();
    if (font_size > 0)
        font.setPointSize(font_size);
    painter.setFont(font);
    const int h = QFontMetrics(font).height();
    band_rows = int(1.5 * h);
    painter.fillRect(QRect(0, 0, width, int(1.5 * h)), Qt::black);
    QString text = band_time(timestamp);
    if (text.isEmpty())
        text = timestamp;
    if (!overlay_text.isEmpty())
        text = overlay_text + QStringLiteral(" | ") + text;
    painter.setPen(Qt::white);
    painter.drawText(QRect(2, h / 4, width, h), Qt::AlignTop | Qt::AlignLeft, text);
    painter.end();
}

bool ZRStreamEncoder::encode_frame(AVFrame* frame, int /*w*/, int /*h*/, QString timestamp, QString overlay_text, int /*pts*/,
                                   FILE* data_file, FILE* seek_file, QDateTime* time)
{
    if (!frame || !codec_context || !encoder_frame || !header_written || ended)
        return false;
    // The picture's own size and format: a camera may have changed resolution.
    const int src_w = frame->width;
    const int src_h = frame->height;
    const int src_fmt = frame->format;
    // The encoder may still hold the previous picture's buffer.
    if (av_frame_make_writable(encoder_frame.get()) < 0)
        return false;
    if (!overlay) {
        SwsContext* c = converter_for(converters, src_w, src_h, src_fmt, codec_context->pix_fmt);
        if (!c || sws_scale_frame(c, encoder_frame.get(), frame) < 0)
            return false;
    } else if (src_w == width && src_h == height && band_height() > 0 && band_height() + 1 < height) {
        // The band covers whole rows from the top: the picture is converted straight to the
        // encoder's format and only the band's rows (an even count, for the chroma rows) go
        // through BGRA to be painted.
        const int rows = std::min(height, (band_height() + 1) & ~1);
        SwsContext* direct = converter_for(converters, src_w, src_h, src_fmt, codec_context->pix_fmt);
        SwsContext* in = strip_converter(strip_converters, rows, src_fmt, AV_PIX_FMT_BGRA);
        SwsContext* out = strip_converter(strip_converters, rows, AV_PIX_FMT_BGRA, codec_context->pix_fmt);
        if (!direct || !in || !out || sws_scale_frame(direct, encoder_frame.get(), frame) < 0)
            return false;
        sws_scale(in, frame->data, frame->linesize, 0, rows, bgra_frame->data, bgra_frame->linesize);
        draw_overlay(timestamp, overlay_text);
        sws_scale(out, bgra_frame->data, bgra_frame->linesize, 0, rows, encoder_frame->data, encoder_frame->linesize);
    } else {
        SwsContext* c = converter_for(to_bgra, src_w, src_h, src_fmt, AV_PIX_FMT_BGRA);
        if (!c || !from_bgra || sws_scale_frame(c, bgra_frame.get(), frame) < 0)
            return false;
        draw_overlay(timestamp, overlay_text);
        sws_scale(from_bgra.get(), bgra_frame->data, bgra_frame->linesize, 0, height, encoder_frame->data,
                  encoder_frame->linesize);
    }
    current_stamp = timestamp;
    // Presentation times count pictures from the first one, one tick of 1/fps each.
    encoder_frame->pts = next_pts;
    encoder_frame->pict_type = AV_PICTURE_TYPE_NONE;
    const int rc = avcodec_send_frame(codec_context.get(), encoder_frame.get());
    if (rc == AVERROR_EOF) {
        write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("send frame EOF."));
        return true;
    }
    if (rc < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error sending a frame for encoding"));
        return false;
    }
    ++next_pts;
    return drain(data_file, seek_file, time);
}

bool ZRStreamEncoder::drain(FILE* data_file, FILE* seek_file, QDateTime* time)
{
    const ff::PacketPtr packet = ff::make_packet();
    if (!packet) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error on packet alloc"));
        return false;
    }
    const bool raw = data_file && seek_file && time;
    if (raw) {
        raw_data_file = data_file;
        raw_seek_file = seek_file;
        raw_time = time;
    }
    while (avcodec_receive_packet(codec_context.get(), packet.get()) >= 0) {
        if (raw)
            write_raw_packet(packet.get(), data_file, seek_file, time);
        else
            write_packet(packet.get());
        av_packet_unref(packet.get());
    }
    return !write_error;
}

bool ZRStreamEncoder::write_packet(AVPacket* packet)
{
    if (packet->duration <= 0)
        packet->duration = 1;
    av_packet_rescale_ts(packet, codec_context->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (av_write_frame(format_context.get(), packet) < 0 || (format_context->pb && format_context->pb->error < 0)) {
        if (!write_error)
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("write packet failed :: ")
                      + QString::fromLocal8Bit(output_path));
        write_error = true;
        return false;
    }
    return true;
}

QString ZRStreamEncoder::raw_codec_text() const
{
    const CodecRow* row = row_for(codec_name);
    return row ? QString::fromLatin1(row->seek_text) : QString();
}

void ZRStreamEncoder::write_raw_packet(AVPacket* packet, FILE* data_file, FILE* seek_file, QDateTime* time)
{
    const long long pts = packet->pts == AV_NOPTS_VALUE ? 0 : packet->pts;
    const double t = QString::number(pts * av_q2d(codec_context->time_base), 'g', 6).toDouble();
    const double distance = first_raw_packet ? 0.0 : t - previous_packet_time;
    first_raw_packet = false;
    previous_packet_time = t;
    if (!running_time.isValid()) {
        // The running time starts at the first picture's own time stamp.
        qint64 ms = 0;
        if (ZRSeekTable::parse_stamp(current_stamp, &ms))
            running_time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        else
            running_time = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    }
    // Truncated to the millisecond; the epsilon keeps 0.04 s from reading as 39 ms.
    const qint64 whole = qint64(std::floor(distance));
    const qint64 millis = qint64(std::floor((distance - double(whole)) * 1000.0 + 1e-6));
    running_time = running_time.addSecs(whole).addMSecs(millis);
    *time = running_time;
    if (packet->size > 0 && fwrite(packet->data, 1, size_t(packet->size), data_file) != size_t(packet->size))
        write_error = true;
    const QByteArray line = (running_time.toString(QStringLiteral("yyyyMMddHHmmsszzz")) + QStringLiteral(":video1:")
                             + raw_codec_text() + QLatin1Char(':') + QString::number(codec_context->width)
                             + QLatin1Char('x') + QString::number(codec_context->height) + QLatin1Char(':')
                             + ((packet->flags & AV_PKT_FLAG_KEY) ? QLatin1Char('1') : QLatin1Char('0'))
                             + QLatin1Char(':') + QString::number(packet->size) + QLatin1Char('\n'))
                                .toUtf8();
    if (fwrite(line.constData(), 1, size_t(line.size()), seek_file) != size_t(line.size()))
        write_error = true;
}

bool ZRStreamEncoder::end_encoding()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("end_encoding"));
    if (ended)
        return !write_error;
    ended = true;
    if (!codec_context || !header_written) {
        close_output();
        return !write_error && header_written;
    }
    if (avcodec_send_frame(codec_context.get(), nullptr) >= 0)
        drain(raw_data_file, raw_seek_file, raw_time);
    if (av_write_trailer(format_context.get()) < 0 || (format_context->pb && format_context->pb->error < 0)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("end_encoding :: trailer write failed"));
        write_error = true;
    }
    close_output();
    return !write_error;
}
