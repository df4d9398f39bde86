#pragma once

// Owning holders for the FFmpeg objects the player and its tools allocate: each frees its object
// with FFmpeg's own call on every way out. Header only, so that the export generator, which links
// no player library, holds its objects the same way.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace ff {

struct CodecContextFree
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};

struct FrameFree
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

struct PacketFree
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

struct SwsContextFree
{
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};

// An output context whose file, when one was opened, its owner has already closed (avio_closep).
struct OutputFormatFree
{
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;

inline FramePtr make_frame()
{
    return FramePtr(av_frame_alloc());
}

inline PacketPtr make_packet()
{
    return PacketPtr(av_packet_alloc());
}

// Whether a decoded picture is a key frame: FFmpeg 6.1 moved the flag into `flags`.
inline bool is_key_frame(const AVFrame* frame)
{
#ifdef AV_FRAME_FLAG_KEY
    return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
    return frame->key_frame != 0;
#endif
}

} // namespace ff
