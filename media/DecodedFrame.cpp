#include "media/DecodedFrame.h"

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr size_t kMaxTimestamp = 128;

} // namespace

DecodedFrame::DecodedFrame() = default;

DecodedFrame::~DecodedFrame()
{
    std::free(timestamp);
    timestamp = nullptr;
    free_frame_data();
}

void DecodedFrame::free_frame_data()
{
    std::free(frame_data);
    frame_data = nullptr;
    frame_length = 0;
}

void DecodedFrame::reset_picture_fields()
{
    if (frame)
        av_frame_unref(frame.get());
    pix_fmt = -1;
    width = -1;
    height = -1;
    buffer_size = 0;
    plane_bytes = 0;
    buffer_bytes = 0;
    linesizes[0] = linesizes[1] = linesizes[2] = 0;
}

void DecodedFrame::set_frame(const AVFrame* src)
{
    if (!src)
        return;
    free_frame_data();
    if (!frame) {
        frame = ff::make_frame();
        if (!frame)
            return;
    }
    av_frame_unref(frame.get());
    if (av_frame_ref(frame.get(), src) < 0) {
        reset_picture_fields();
        return;
    }
    pix_fmt = frame->format;
    width = frame->width;
    height = frame->height;
    for (int i = 0; i < 3; ++i)
        linesizes[i] = frame->linesize[i];
    const int size = av_image_get_buffer_size(AVPixelFormat(pix_fmt), width, height, 1);
    buffer_size = size > 0 ? quint64(size) : 0;

    plane_bytes = 0;
    if (const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(pix_fmt))) {
        for (int plane = 0; plane < 8; ++plane) {
            bool used = false;
            for (int c = 0; c < desc->nb_components; ++c)
                used = used || desc->comp[c].plane == plane;
            if (!used || !frame->data[plane] || frame->linesize[plane] == 0)
                continue;
            const int rows = plane == 0 ? height : -((-height) >> desc->log2_chroma_h);
            plane_bytes += quint64(std::abs(frame->linesize[plane])) * quint64(rows > 0 ? rows : 0);
        }
    }
    buffer_bytes = 0;
    for (int i = 0; i < 8; ++i)
        if (frame->buf[i])
            buffer_bytes += frame->buf[i]->size;
    for (int i = 0; i < frame->nb_extended_buf; ++i)
        if (frame->extended_buf[i])
            buffer_bytes += frame->extended_buf[i]->size;
}

void DecodedFrame::set_frame_data(const uint8_t* data, int size)
{
    reset_picture_fields();
    free_frame_data();
    if (!data || size < 1)
        return;
    frame_data = static_cast<uint8_t*>(std::malloc(size_t(size)));
    if (!frame_data)
        return;
    std::memcpy(frame_data, data, size_t(size));
    frame_length = size;
}

void DecodedFrame::set_timestamp(const char* text)
{
    std::free(timestamp);
    timestamp = nullptr;
    if (!text)
        return;
    const size_t n = strnlen(text, kMaxTimestamp);
    timestamp = static_cast<char*>(std::malloc(n + 1));
    if (!timestamp)
        return;
    std::memcpy(timestamp, text, n);
    timestamp[n] = '\0';
}
