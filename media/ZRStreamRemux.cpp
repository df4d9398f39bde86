#include "media/ZRStreamRemux.h"

#include "app/Log.h"

#include <QFile>

#include <cmath>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace {

const QString kLog = QStringLiteral("ZRStream Remux :: ");

// What one copy holds; released on every return.
struct RemuxState
{
    AVPacket* packet = nullptr;
    AVFormatContext* input = nullptr;
    AVFormatContext* output = nullptr;
    bool output_open = false;

    ~RemuxState()
    {
        av_packet_free(&packet);
        avformat_close_input(&input);
        if (output) {
            if (output_open)
                avio_closep(&output->pb);
            avformat_free_context(output);
        }
    }
};

} // namespace

ZRStreamRemux::ZRStreamRemux()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("create instance"));
}

ZRStreamRemux::~ZRStreamRemux()
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("create destroy"));
}

QString ZRStreamRemux::final_file_name(const QString& final_name)
{
    const qsizetype cut = qMax(final_name.lastIndexOf(QLatin1Char('/')), final_name.lastIndexOf(QLatin1Char('\\'))) + 1;
    QString name = final_name.mid(cut);
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    return final_name.left(cut) + name;
}

int ZRStreamRemux::remux(QString input, QString output_file, QString final_name, double fps)
{
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("remux url ") + input + QStringLiteral(" to file ")
              + final_name);
    final_name = final_file_name(final_name);
    input.remove(QStringLiteral("&zrmultipart=1"));
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("remux url after convert ") + input
              + QStringLiteral(" to file ") + output_file);

    // A rate that would make the time base's denominator 0 or negative falls back to 25.
    double rate_x100 = std::isfinite(fps) ? std::trunc(fps * 100.0) : 0.0;
    if (rate_x100 < 1.0 || rate_x100 > 1.0e8) {
        fps = 25.0;
        rate_x100 = 2500.0;
    }
    const AVRational packet_time_base{100, int(rate_x100)};
    const AVRational frame_rate{int(std::trunc(fps)), 1};

    RemuxState s;
    s.packet = av_packet_alloc();
    if (!s.packet) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Could not allocate AVPacket"));
        return 1;
    }

    const QByteArray in_name = input.toUtf8();
    const QByteArray out_name = output_file.toUtf8();
    int ret = avformat_open_input(&s.input, in_name.constData(), nullptr, nullptr);
    if (ret < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Could not open input :: ") + QString::number(ret));
        return -15;
    }
    if (avformat_find_stream_info(s.input, nullptr) < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Failed to retrieve input stream information"));
        return -16;
    }
    av_dump_format(s.input, 0, in_name.constData(), 0);

    avformat_alloc_output_context2(&s.output, nullptr, nullptr, out_name.constData());
    if (!s.output) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Could not create output context for ")
                  + output_file);
        return -17;
    }

    std::vector<int> stream_map;
    try {
        stream_map.assign(s.input->nb_streams, -1);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    int next_index = 0;
    for (unsigned i = 0; i < s.input->nb_streams; ++i) {
        const AVStream* in_stream = s.input->streams[i];
        const AVMediaType type = in_stream->codecpar->codec_type;
        if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE)
            continue;
        stream_map[i] = next_index++;
        AVStream* out_stream = avformat_new_stream(s.output, nullptr);
        if (!out_stream) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Failed allocating output stream"));
            return -18;
        }
        if (avcodec_parameters_copy(out_stream->codecpar, in_stream->codecpar) < 0) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Failed to copy codec parameters"));
            return -19;
        }
        out_stream->codecpar->codec_tag = 0;
        out_stream->time_base = in_stream->time_base;
        out_stream->avg_frame_rate = frame_rate;
        out_stream->r_frame_rate = frame_rate;
    }
    av_dump_format(s.output, 0, out_name.constData(), 1);

    const bool needs_file = !(s.output->oformat->flags & AVFMT_NOFILE);
    if (needs_file) {
        if (avio_open(&s.output->pb, out_name.constData(), AVIO_FLAG_WRITE) < 0) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Could not open output file"));
            return -20;
        }
        s.output_open = true;
    }
    if (avformat_write_header(s.output, nullptr) < 0) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error occurred when opening output file"));
        return -21;
    }

    int64_t copied = 0;
    bool write_failed = false;
    while (true) {
        ret = av_read_frame(s.input, s.packet);
        if (ret < 0) {
            write_log(QStringLiteral("[WARN] ") + kLog + QStringLiteral("failed to read frame"));
            break;
        }
        const int in_index = s.packet->stream_index;
        if (in_index < 0 || in_index >= int(stream_map.size()) || stream_map[size_t(in_index)] < 0) {
            av_packet_unref(s.packet);
            continue;
        }
        const int out_index = stream_map[size_t(in_index)];
        const AVStream* out_stream = s.output->streams[out_index];
        s.packet->stream_index = out_index;
        s.packet->pts = av_rescale_q_rnd(copied, packet_time_base, out_stream->time_base, AV_ROUND_NEAR_INF);
        s.packet->dts = s.packet->pts;
        s.packet->duration = 0;
        s.packet->pos = -1;
        ++copied;
        ret = av_interleaved_write_frame(s.output, s.packet);
        // The muxer takes the packet's reference; unref keeps a refused packet from leaking.
        av_packet_unref(s.packet);
        if (ret < 0) {
            write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error muxing packet"));
            write_failed = true;
            break;
        }
    }

    // A trailer or a close that fails leaves a file that is not whole: the copy did not succeed.
    if (av_write_trailer(s.output) < 0)
        write_failed = true;
    if (s.output_open) {
        s.output_open = false;
        if (avio_closep(&s.output->pb) < 0)
            write_failed = true;
    }
    av_packet_free(&s.packet);
    avformat_close_input(&s.input);

    if (write_failed || (ret < 0 && ret != AVERROR_EOF)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error occurred "));
        return 1;
    }
    write_log(QStringLiteral("[INFO] ") + kLog + QStringLiteral("Completed"));

    // The input goes only once the copy bears its final name; an existing file of that name
    // is never replaced.
    if (final_name != output_file && !QFile::rename(output_file, final_name)) {
        write_log(QStringLiteral("[ERROR] ") + kLog + QStringLiteral("Error occurred "));
        return 1;
    }
    QFile::remove(input);
    return 0;
}
