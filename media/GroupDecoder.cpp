#include "media/GroupDecoder.h"

#include "media/VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
}

bool GroupDecoder::open(const std::string& codec_name, int threads)
{
    close();
    const AVCodec* decoder = avcodec_find_decoder(AVCodecID(VideoDecoder::codec_id_for(codec_name)));
    if (!decoder)
        return false;
    ff::CodecContextPtr c(avcodec_alloc_context3(decoder));
    frame = ff::make_frame();
    packet = ff::make_packet();
    if (!c || !frame || !packet)
        return false;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->time_base = AVRational{1, 25};
    c->thread_count = threads;
    c->thread_type = FF_THREAD_FRAME;
    buffers = std::make_unique<PictureBuffers>();
    buffers->install(c.get());
    AVDictionary* options = nullptr;
    VideoDecoder::set_decoder_options(&options);
    const int rc = avcodec_open2(c.get(), decoder, &options);
    av_dict_free(&options);
    if (rc < 0)
        return false;
    context = std::move(c);
    codec = codec_name;
    draining = false;
    return true;
}

void GroupDecoder::close()
{
    context.reset();
    buffers.reset();
    codec.clear();
    draining = false;
}

void GroupDecoder::restart()
{
    if (context)
        avcodec_flush_buffers(context.get());
    draining = false;
}

bool GroupDecoder::send(const uint8_t* data, int size, int64_t tag, const Output& out)
{
    if (!context || draining || !data || size <= 0)
        return false;
    av_packet_unref(packet.get());
    packet->data = const_cast<uint8_t*>(data);
    packet->size = size;
    packet->pts = tag;
    packet->dts = tag;
    int rc = avcodec_send_packet(context.get(), packet.get());
    // The codec's queue is full: take what is ready, then it takes the packet.
    if (rc == AVERROR(EAGAIN)) {
        receive(out);
        rc = avcodec_send_packet(context.get(), packet.get());
    }
    packet->data = nullptr;
    packet->size = 0;
    receive(out);
    return rc >= 0;
}

void GroupDecoder::drain(const Output& out)
{
    if (!context || draining)
        return;
    draining = true;
    if (avcodec_send_packet(context.get(), nullptr) >= 0)
        receive(out);
}

bool GroupDecoder::may_reorder() const
{
    return context && context->has_b_frames > 0;
}

void GroupDecoder::receive(const Output& out)
{
    while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
        ff::FramePtr picture(av_frame_alloc());
        if (picture) {
            av_frame_move_ref(picture.get(), frame.get());
            const int64_t tag = picture->pts != AV_NOPTS_VALUE ? picture->pts : picture->best_effort_timestamp;
            // The one-thread decoder gives nothing for a picture of another size than the stream's.
            if (picture->width == context->width && picture->height == context->height)
                out(std::move(picture), tag);
            else
                out(nullptr, tag);
        }
        av_frame_unref(frame.get());
    }
}
