#pragma once

#include <cstddef>
#include <mutex>

struct AVBufferPool;
struct AVCodecContext;
struct AVFrame;

// Pictures in large-page memory, in the plane layout FFmpeg's own buffers have.
// FFmpeg's buffers are zeroed small pages: a fresh 4K decoder spent most of a second faulting
// them in (allocated under its pool lock, so a picture released meanwhile on another thread
// waited too), and the first conversion into a fresh 4K BGRA picture took a tick of 100 ms.
//
// As an object, it gives a video decoder its pictures from a pool: install it on a codec context
// before opening it. The object must outlive the context; pictures it handed out may outlive both.
class PictureBuffers
{
public:
    PictureBuffers() = default;
    ~PictureBuffers();
    PictureBuffers(const PictureBuffers&) = delete;
    PictureBuffers& operator=(const PictureBuffers&) = delete;

    void install(AVCodecContext* context);

    // What av_frame_get_buffer does for a picture (format, width and height set; lines aligned
    // to line_alignment bytes, a power of two), in large-page memory. False when it has no memory or the
    // picture's format or size cannot be laid out.
    static bool allocate(AVFrame* picture, int line_alignment);

    // Where each plane of a picture starts in its block.
    struct Layout
    {
        int planes = 0;
        int linesizes[4]{};
        std::size_t offsets[4]{};
        std::size_t size = 0;
    };

private:
    static int get_buffer(AVCodecContext* context, AVFrame* picture, int flags);
    bool fill(AVCodecContext* context, AVFrame* picture);
    bool set_layout(AVCodecContext* context, const AVFrame* picture);
    void drop_pool();

    std::mutex lock;
    int format = -1;
    int width = 0;
    int height = 0;
    // Each picture is one block: a 4K chroma plane alone would be just short of a large page.
    Layout layout;
    AVBufferPool* pool = nullptr;
};
