#include "media/PictureBuffers.h"

#include "platform/LargePages.h"

#include <climits>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

// What FFmpeg adds after each plane: room for the decoders' and converters' over-reads.
constexpr std::size_t kPlanePadding = 16 + 64 - 1;
// Planes start on the widest vector alignment.
constexpr std::size_t kPlaneAlignment = 64;

void release_block(void* opaque, uint8_t* data)
{
    zrplatform::large_pages_release(data, reinterpret_cast<std::uintptr_t>(opaque));
}

AVBufferRef* allocate_block(void*, size_t size)
{
    void* block = zrplatform::large_pages_allocate(size);
    if (!block)
        return nullptr;
    AVBufferRef* buffer = av_buffer_create(static_cast<uint8_t*>(block), size, release_block,
                                           reinterpret_cast<void*>(std::uintptr_t(size)), 0);
    if (!buffer)
        zrplatform::large_pages_release(block, size);
    return buffer;
}

bool plain_format(int format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(format));
    return desc && !(desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM));
}

// Line sizes as a codec's buffers have them: the width widened until every line size meets its
// plane's alignment. Lines are never padded one by one: some code relies on the chroma line
// being half the luma line.
bool codec_lines(int lines[4], int format, int w, const int* alignment)
{
    for (;;) {
        if (av_image_fill_linesizes(lines, AVPixelFormat(format), w) < 0)
            return false;
        bool aligned = true;
        for (int i = 0; i < 4; ++i)
            aligned = aligned && (alignment[i] <= 0 || lines[i] % alignment[i] == 0);
        if (aligned)
            return true;
        if (w > INT_MAX / 2)
            return false;
        w += w & ~(w - 1);
    }
}

// Line sizes as av_frame_get_buffer gives them: the width widened until the luma line meets the
// alignment, then every line padded to it.
bool frame_lines(int lines[4], int format, int w, int align)
{
    for (int step = 1; step <= align; step += step) {
        if (w > INT_MAX - step || av_image_fill_linesizes(lines, AVPixelFormat(format), FFALIGN(w, step)) < 0)
            return false;
        if (lines[0] % align == 0)
            break;
    }
    for (int i = 0; i < 4; ++i) {
        if (lines[i] > INT_MAX - align)
            return false;
        lines[i] = FFALIGN(lines[i], align);
    }
    return true;
}

// The planes one after the other in one block, each padded and aligned.
bool plan(PictureBuffers::Layout* out, int format, int h, const int lines[4])
{
    ptrdiff_t strides[4];
    for (int i = 0; i < 4; ++i)
        strides[i] = lines[i];
    size_t sizes[4]{};
    if (h <= 0 || av_image_fill_plane_sizes(sizes, AVPixelFormat(format), h, strides) < 0)
        return false;
    PictureBuffers::Layout layout;
    for (int i = 0; i < 4 && sizes[i] > 0; ++i) {
        layout.linesizes[i] = lines[i];
        layout.offsets[i] = layout.size;
        layout.size += (sizes[i] + kPlanePadding + kPlaneAlignment - 1) / kPlaneAlignment * kPlaneAlignment;
        layout.planes = i + 1;
    }
    if (layout.planes == 0 || layout.size > std::size_t(INT_MAX))
        return false;
    *out = layout;
    return true;
}

// Points the picture's planes into its block.
void place(AVFrame* picture, AVBufferRef* block, const PictureBuffers::Layout& layout)
{
    picture->extended_data = picture->data;
    for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
        picture->data[i] = nullptr;
        picture->linesize[i] = 0;
        picture->buf[i] = nullptr;
    }
    picture->buf[0] = block;
    for (int i = 0; i < layout.planes; ++i) {
        picture->data[i] = block->data + layout.offsets[i];
        picture->linesize[i] = layout.linesizes[i];
    }
}

} // namespace

PictureBuffers::~PictureBuffers()
{
    drop_pool();
}

void PictureBuffers::install(AVCodecContext* context)
{
    if (!context)
        return;
    context->opaque = this;
    context->get_buffer2 = &PictureBuffers::get_buffer;
#if FF_API_THREAD_SAFE_CALLBACKS
    // Older FFmpeg asks callers to say so; the callback takes its own lock.
    AV_NOWARN_DEPRECATED(context->thread_safe_callbacks = 1;)
#endif
}

bool PictureBuffers::allocate(AVFrame* picture, int line_alignment)
{
    if (!picture || picture->buf[0])
        return false;
    // Rows padded as FFmpeg pads them, for converters that read a little past the last one.
    const int rows = picture->height > 0 && picture->height <= INT_MAX - 32 ? FFALIGN(picture->height, 32) : 0;
    int lines[4]{};
    Layout layout;
    if (line_alignment <= 0 || (line_alignment & (line_alignment - 1)) || picture->width <= 0 || !plain_format(picture->format)
        || !frame_lines(lines, picture->format, picture->width, line_alignment)
        || !plan(&layout, picture->format, rows, lines))
        return false;
    AVBufferRef* block = allocate_block(nullptr, layout.size);
    if (!block)
        return false;
    place(picture, block, layout);
    return true;
}

void PictureBuffers::drop_pool()
{
    // A pool goes once the last of its pictures comes back.
    av_buffer_pool_uninit(&pool);
    format = -1;
}

int PictureBuffers::get_buffer(AVCodecContext* context, AVFrame* picture, int flags)
{
    auto* self = static_cast<PictureBuffers*>(context->opaque);
    if (!self || context->codec_type != AVMEDIA_TYPE_VIDEO || !(context->codec->capabilities & AV_CODEC_CAP_DR1))
        return avcodec_default_get_buffer2(context, picture, flags);
    return self->fill(context, picture) ? 0 : avcodec_default_get_buffer2(context, picture, flags);
}

bool PictureBuffers::set_layout(AVCodecContext* context, const AVFrame* picture)
{
    if (pool && picture->format == format && picture->width == width && picture->height == height)
        return true;
    drop_pool();
    int w = picture->width;
    int h = picture->height;
    int alignment[AV_NUM_DATA_POINTERS]{};
    avcodec_align_dimensions2(context, &w, &h, alignment);
    int lines[4]{};
    if (w <= 0 || !plain_format(picture->format) || !codec_lines(lines, picture->format, w, alignment)
        || !plan(&layout, picture->format, h, lines))
        return false;
    pool = av_buffer_pool_init2(layout.size, nullptr, allocate_block, nullptr);
    if (!pool)
        return false;
    format = picture->format;
    width = picture->width;
    height = picture->height;
    return true;
}

bool PictureBuffers::fill(AVCodecContext* context, AVFrame* picture)
{
    // Frame threads ask one at a time, but a decoder reopened on another thread may not.
    std::lock_guard<std::mutex> guard(lock);
    if (!set_layout(context, picture))
        return false;
    AVBufferRef* block = av_buffer_pool_get(pool);
    if (!block)
        return false;
    place(picture, block, layout);
    return true;
}
