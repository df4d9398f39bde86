#include "display/MultipartFrameRecognizer.h"

#include <algorithm>
#include <cstring>

namespace {

const char kBoundary[] = "--myboundary";
constexpr int kBoundaryLength = sizeof(kBoundary) - 1;

// In the order every matcher looks at a byte. "Fps:" has no blank after it.
const char* const kHeaderNames[] = {
    "Content-Length: ", "Content-Type: ", "ZrTextoverlay: ", "ZrDrawoverlay: ",
    "Timestamp: ",      "Frametag: ",     "Framesize: ",     "Fps:",
};
int header_name_length(int h) { return static_cast<int>(std::strlen(kHeaderNames[h])); }

} // namespace

MultipartFrameRecognizer::MultipartFrameRecognizer() { reset(); }

void MultipartFrameRecognizer::reset()
{
    state = State::Boundary;
    boundary_pos = 0;
    std::fill(std::begin(match_pos), std::end(match_pos), 0);
    std::fill(std::begin(capturing), std::end(capturing), false);
    for (QByteArray& v : values)
        v.clear();
    header_block_bytes = 0;
    lf_mark = false;
    in_force = Part();
    length_known = false;
    pending = Part();
    pending_length_known = false;
    body_fill = 0;
}

size_t MultipartFrameRecognizer::feed(const char* data, size_t size, bool* part_ready)
{
    *part_ready = false;
    size_t i = 0;
    while (i < size) {
        switch (state) {
        case State::Ready:
            // The caller has not taken the previous part yet.
            *part_ready = true;
            return i;
        case State::Boundary: {
            const char c = data[i++];
            // A byte that breaks the match is not tried again as the start of a new one.
            if (c == kBoundary[boundary_pos]) {
                if (++boundary_pos == kBoundaryLength) {
                    boundary_pos = 0;
                    state = State::Headers;
                    std::fill(std::begin(match_pos), std::end(match_pos), 0);
                    std::fill(std::begin(capturing), std::end(capturing), false);
                    header_block_bytes = 0;
                    lf_mark = false;
                    pending = in_force;
                    pending.frame_tag.clear();
                    pending_length_known = length_known;
                }
            } else {
                boundary_pos = 0;
            }
            break;
        }
        case State::Headers:
            header_byte(data[i++]);
            if (state == State::Ready) {
                *part_ready = true;
                return i;
            }
            break;
        case State::Body: {
            const qint64 want = pending.content_length + 1 - body_fill;
            const size_t n = static_cast<size_t>(std::min<qint64>(want, static_cast<qint64>(size - i)));
            std::memcpy(pending.body.data() + body_fill, data + i, n);
            body_fill += static_cast<qint64>(n);
            i += n;
            if (body_fill == pending.content_length + 1) {
                complete_part();
                *part_ready = true;
                return i;
            }
            break;
        }
        }
    }
    return i;
}

// One byte of the header block. Returns true when the block ended with it.
bool MultipartFrameRecognizer::header_byte(char c)
{
    if (++header_block_bytes > kMaxHeaderBlock) {
        drop_part();
        return false;
    }
    bool started[HeaderCount] = {};
    // Every matcher looks at every byte, anywhere in a line, even inside another header's value.
    for (int h = 0; h < HeaderCount; ++h) {
        if (c == kHeaderNames[h][match_pos[h]]) {
            if (++match_pos[h] == header_name_length(h)) {
                match_pos[h] = 0;
                capturing[h] = true;
                started[h] = true;
                values[h].clear();
            }
        } else {
            match_pos[h] = 0;
        }
    }
    for (int h = 0; h < HeaderCount; ++h) {
        if (!capturing[h] || started[h])
            continue;
        if (c == '\n') {
            capturing[h] = false;
            finish_value(h);
            if (state != State::Headers)
                return false; // dropped
        } else if (values[h].size() >= kMaxHeaderValue) {
            drop_part();
            return false;
        } else {
            values[h].append(c);
        }
    }
    // Only once a length is known does an empty line (two LFs in a row) end the block.
    if (!pending_length_known)
        return false;
    if (lf_mark) {
        lf_mark = false;
        if (c == '\n') {
            start_body();
            return true;
        }
    } else if (c == '\n') {
        lf_mark = true;
    }
    return false;
}

void MultipartFrameRecognizer::finish_value(int h)
{
    const QByteArray& v = values[h];
    switch (h) {
    case ContentLength: {
        const QByteArray text = v.trimmed();
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        // Not a number counts as 0; a number too large for any integer is still too large.
        const bool digits = text.size() > (text.startsWith('-') ? 1 : 0) && std::all_of(text.begin() + (text.startsWith('-') ? 1 : 0), text.end(),
                                                           [](char d) { return d >= '0' && d <= '9'; });
        if ((!ok && digits) || (ok && (n < 0 || n > kMaxContentLength))) {
            drop_part();
            return;
        }
        pending.content_length = ok ? n : 0;
        pending_length_known = true;
        break;
    }
    case ContentType: pending.content_type = QString::fromLatin1(v); break;
    case TextOverlay: pending.text_overlay = QString::fromLatin1(v); break;
    case DrawOverlay: pending.draw_overlay = QString::fromLatin1(v); break;
    case Timestamp: pending.timestamp = v; break;
    case FrameTag: pending.frame_tag = QString::fromLatin1(v); break;
    case FrameSize: pending.frame_size = QString::fromLatin1(v); break;
    case Fps: pending.fps = QString::fromLatin1(v); break;
    default: break;
    }
}

void MultipartFrameRecognizer::start_body()
{
    state = State::Body;
    // The LF that ended the header block is the body's first byte.
    pending.body = QByteArray(static_cast<qsizetype>(pending.content_length + 1), Qt::Uninitialized);
    pending.body[0] = '\n';
    body_fill = 1;
    if (body_fill == pending.content_length + 1)
        complete_part();
}

void MultipartFrameRecognizer::complete_part()
{
    // A pause part: one data byte, frame size "null", no frame tag of its own.
    if (pending.content_length == 1 && pending.frame_size == QLatin1String("null") && pending.frame_tag.isEmpty())
        pending.frame_tag = QStringLiteral("PAUSE");
    state = State::Ready;
}

void MultipartFrameRecognizer::drop_part()
{
    ++dropped;
    state = State::Boundary;
    boundary_pos = 0;
    std::fill(std::begin(capturing), std::end(capturing), false);
    pending = Part();
    body_fill = 0;
}

MultipartFrameRecognizer::Part MultipartFrameRecognizer::take_part()
{
    Part out = std::move(pending);
    in_force = out;
    in_force.body = QByteArray();
    in_force.frame_tag.clear();
    length_known = pending_length_known;
    pending = Part();
    body_fill = 0;
    state = State::Boundary;
    return out;
}
