#include "tools/AacEncoder.h"

#include "media/FFmpegHolders.h"

#include <cmath>

extern "C" {
#include <libavutil/channel_layout.h>
}

QByteArray AacEncoder::adtsHeader(int payloadSize)
{
    // AAC-LC, 16 kHz (index 8), one channel, no CRC.
    const int len = payloadSize + 7;
    const int profile = 1;      // LC: object type 2, minus one
    const int rateIndex = 8;
    const int channels = 1;
    QByteArray h(7, '\0');
    h[0] = char(0xFF);
    h[1] = char(0xF1);
    h[2] = char((profile << 6) | (rateIndex << 2) | ((channels >> 2) & 1));
    h[3] = char(((channels & 3) << 6) | ((len >> 11) & 3));
    h[4] = char((len >> 3) & 0xFF);
    h[5] = char(((len & 7) << 5) | 0x1F);
    h[6] = char(0xFC);
    return h;
}

double AacEncoder::toneOf(int packet)
{
    return 300.0 + 30.0 * (packet % 100);
}

bool AacEncoder::encode(int seconds, std::vector<QByteArray>* packets, QString* error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        *error = QStringLiteral("no AAC encoder");
        return false;
    }
    const ff::CodecContextPtr ctx(avcodec_alloc_context3(codec));
    const ff::FramePtr frame = ff::make_frame();
    const ff::PacketPtr pkt = ff::make_packet();
    if (!ctx || !frame || !pkt) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    ctx->sample_rate = kSampleRate;
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ctx->bit_rate = 32000;
    ctx->thread_count = 1;
    av_channel_layout_default(&ctx->ch_layout, 1);
    ctx->time_base = AVRational{1, kSampleRate};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        *error = QStringLiteral("cannot open the AAC encoder");
        return false;
    }
    frame->nb_samples = ctx->frame_size > 0 ? ctx->frame_size : kFrameSamples;
    frame->format = ctx->sample_fmt;
    frame->sample_rate = kSampleRate;
    av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        *error = QStringLiteral("cannot allocate an audio frame");
        return false;
    }
    const long long total = static_cast<long long>(seconds) * kSampleRate;
    const size_t wanted = static_cast<size_t>(total / kFrameSamples);
    auto drain = [&]() {
        for (;;) {
            const int rc = avcodec_receive_packet(ctx.get(), pkt.get());
            if (rc < 0)
                return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
            if (packets->size() < wanted)
                packets->push_back(adtsHeader(pkt->size) + QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size));
            av_packet_unref(pkt.get());
        }
    };
    // The decoder's output lags the encoder's input by the priming: input frame n comes out of
    // packet n + delay, so the tone of packet k is written delay frames earlier.
    const int frameSize = frame->nb_samples;
    const int delay = (ctx->initial_padding + frameSize - 1) / frameSize;
    double phase = 0.0;
    long long pos = 0;
    while (packets->size() < wanted) {
        if (av_frame_make_writable(frame.get()) < 0) {
            *error = QStringLiteral("cannot reuse the audio frame");
            return false;
        }
        auto* samples = reinterpret_cast<float*>(frame->data[0]);
        for (int i = 0; i < frame->nb_samples; ++i) {
            const double frequency = toneOf(int((pos + i) / frameSize) + delay);
            samples[i] = static_cast<float>(0.3 * std::sin(phase));
            phase = std::fmod(phase + 2.0 * M_PI * frequency / kSampleRate, 2.0 * M_PI);
        }
        frame->pts = pos;
        pos += frame->nb_samples;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || !drain()) {
            *error = QStringLiteral("AAC encoding failed");
            return false;
        }
        if (pos > total + 8 * kFrameSamples)
            break;
    }
    if (packets->size() < wanted) {
        avcodec_send_frame(ctx.get(), nullptr);
        drain();
    }
    return true;
}
