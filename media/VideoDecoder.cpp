#include "media/VideoDecoder.h"

#include "app/Log.h"
#include "media/PictureBuffers.h"
#include "media/ZRScaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

int VideoDecoder::codec_id_for(const std::string& name)
{
    if (name == "libx264" || name == "h264" || name == "h.264")
        return AV_CODEC_ID_H264;
    if (name == "hevc" || name == "h265" || name == "h.265")
        return AV_CODEC_ID_HEVC;
    if (name == "mpeg4")
        return AV_CODEC_ID_MPEG4;
    if (name == "jpeg" || name == "mjpeg")
        return AV_CODEC_ID_MJPEG;
    return AV_CODEC_ID_NONE;
}

void VideoDecoder::set_decoder_options(AVDictionary** options)
{
    av_dict_set(options, "discardcorrupt", "1", 0);
}

VideoDecoder::VideoDecoder()
    : scaler(std::make_unique<ZRScaler>(nullptr))
{
    scaler->set_name(QString::fromStdString(name));
}

VideoDecoder::~VideoDecoder()
{
    closed = true;
    release();
    scaler.reset();
}

void VideoDecoder::release()
{
    frame.reset();
    codec_context.reset();
    buffers.reset();
}

bool VideoDecoder::open_decoder(std::string codec)
{
    codec_name = codec;
    AVDictionary* options = nullptr;
    set_decoder_options(&options);
    write_log("[INFO] Video Decoder :: hardware decoder enable : 0");

    auto fail = [&]() {
        av_dict_free(&options);
        release();
        return false;
    };

    if (closed)
        return fail();
    release();

    const AVCodecID id = AVCodecID(codec_id_for(codec_name));
    const AVCodec* decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder) {
        write_log("[ERROR] Video Decoder :: Codec decode NULL");
        return fail();
    }
    codec_context.reset(avcodec_alloc_context3(decoder));
    if (!codec_context) {
        write_log("[ERROR] Video Decoder :: avcodec_alloc_context3 failed");
        return fail();
    }
    codec_context->codec_type = AVMEDIA_TYPE_VIDEO;
    codec_context->time_base = AVRational{1, 25};
    // Frame threading would hold pictures back; one packet in must give its picture out.
    codec_context->thread_count = 1;
    buffers = std::make_unique<PictureBuffers>();
    buffers->install(codec_context.get());
    const int rc = avcodec_open2(codec_context.get(), decoder, &options);
    av_dict_free(&options);
    if (rc < 0) {
        write_log(QStringLiteral("[ERROR] Video Decoder :: Could not open ") + QString::fromStdString(name));
        return fail();
    }
    frame = ff::make_frame();
    if (!frame) {
        write_log("[ERROR] Video Decoder :: av_frame_alloc failed");
        return fail();
    }
    decoded = 0;
    return true;
}

AVFrame* VideoDecoder::decode_frame(uint8_t* data, int size, bool scale)
{
    if (!codec_context) {
        write_log("[ERROR] Video Decoder :: decode frame :: codec context is NULL");
        return nullptr;
    }
    const ff::PacketPtr packet = ff::make_packet();
    if (!packet) {
        write_log("[ERROR] Video Decoder :: decode frame :: av_packet_alloc failed");
        return nullptr;
    }
    if (!data) {
        write_log("[ERROR] Video Decoder :: decode frame :: buffer image is NULL");
        return nullptr;
    }
    // An empty packet would put the codec into draining mode for good.
    if (size <= 0)
        return nullptr;
    packet->data = data;
    packet->size = size;
    if (closed)
        return nullptr;

    if (avcodec_send_packet(codec_context.get(), packet.get()) < 0)
        return nullptr;
    if (avcodec_receive_frame(codec_context.get(), frame.get()) < 0)
        return nullptr;
    if (closed)
        return nullptr;
    if (frame->width != codec_context->width || frame->height != codec_context->height)
        return nullptr;

    key_frame = ff::is_key_frame(frame.get());

    if (!scale) {
        if (decoded == 1 && width == codec_context->width && height == codec_context->height)
            return frame.get();
        width = codec_context->width;
        height = codec_context->height;
        if (decoded == 0)
            write_log("[INFO] Video Decoder :: decode frame :: decode success :: return first frame");
        decoded = 1;
        return frame.get();
    }

    if (!scaler) {
        write_log("[WARN] Video Decoder :: decode frame :: scaler is NULL");
        return nullptr;
    }
    // Unscaled decodes follow a size change without the scaler: compare with what the scaler
    // was made for, or it would keep converting to the old size.
    if (!scaler->is_ready() || decoded == 0 || width != codec_context->width || height != codec_context->height
        || scaler->get_output_width() != codec_context->width || scaler->get_output_height() != codec_context->height) {
        setup_scaler(codec_context->width, codec_context->height, frame->format);
        width = codec_context->width;
        height = codec_context->height;
    }
    AVFrame* out = scaler->scale(frame.get());
    if (!out) {
        write_log("[WARN] Video Decoder :: decode frame :: failed to scale frame");
        return nullptr;
    }
    // Callers read width x height BGRA pixels from it.
    if (out->width != width || out->height != height)
        return nullptr;
    if (decoded == 0) {
        write_log("[INFO] Video Decoder :: decode frame :: decode success :: return first frame after scale");
        decoded = 1;
    }
    return out;
}

void VideoDecoder::setup_scaler(int w, int h, int src_pix_fmt)
{
    if (w <= 0 || h <= 0)
        return;
    write_log(QStringLiteral("[INFO]  Video Decoder :: setup_scaler :: %1x%2").arg(w).arg(h));
    scaler->set_name(QString::fromStdString(name));
    scaler->set_video_quality(video_quality);
    scaler->setup_scaler(w, h, w, h, false, src_pix_fmt, AV_PIX_FMT_BGRA);
}

std::string VideoDecoder::get_codec_name() const
{
    return codec_name;
}

int VideoDecoder::get_width() const
{
    return width;
}

int VideoDecoder::get_height() const
{
    return height;
}

int VideoDecoder::get_pix_fmt() const
{
    return codec_context ? codec_context->pix_fmt : -1;
}

bool VideoDecoder::get_is_keyframe() const
{
    return key_frame;
}

void VideoDecoder::set_video_quality(int flags)
{
    if (flags != -1)
        video_quality = flags;
}
