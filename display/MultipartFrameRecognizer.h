#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Byte-exact recogniser of the live stream's multipart framing ("--myboundary", bare-LF part
// headers, an empty line, then Content-Length bytes). It has no network inside: the stream
// client feeds it the chunks libcurl hands over, and tests and fuzzers feed it bytes.
//
// The matching rules are deliberately the servers' own quirks (a matcher that fails is not
// retried on the same byte, header names are found anywhere in a line, the body keeps the LF
// that ended the header block). What is added is bounds: a part with an impossible length, an
// over-long header value or a header block that never ends is dropped, and recognition starts
// again at the next boundary, so memory stays bounded whatever the peer sends.
class MultipartFrameRecognizer
{
public:
    static constexpr qint64 kMaxContentLength = 64ll * 1024 * 1024;
    static constexpr int kMaxHeaderValue = 64 * 1024;
    static constexpr int kMaxHeaderBlock = 1024 * 1024;

    // Header values in force for a part. Each one stays in force for the following parts until
    // the header comes again, except the frame tag, which belongs to its own part.
    struct Part
    {
        QByteArray body; // the LF that ended the header block, then Content-Length data bytes
        qint64 content_length = 0;
        QString content_type;
        QString text_overlay;
        QString draw_overlay;
        QByteArray timestamp;
        QString frame_tag;
        QString frame_size;
        QString fps;
    };

    MultipartFrameRecognizer();

    // Consumes bytes until a part is complete or the data is used up; returns the number of
    // bytes consumed. When *part_ready is true, take_part() holds the completed part and the
    // rest of the data is still to be fed.
    size_t feed(const char* data, size_t size, bool* part_ready);
    // The completed part; the body is moved out.
    Part take_part();

    // Back to the state of a new stream (a paused client starts over).
    void reset();

    bool in_body() const { return state == State::Body; }
    qint64 expected_body_size() const { return in_body() ? pending.content_length + 1 : 0; }
    qint64 body_filled() const { return body_fill; }
    // Parts dropped for impossible lengths, over-long values or endless header blocks.
    quint64 dropped_parts() const { return dropped; }

private:
    enum class State { Boundary, Headers, Body, Ready };
    enum Header { ContentLength, ContentType, TextOverlay, DrawOverlay, Timestamp, FrameTag, FrameSize, Fps, HeaderCount };

    bool header_byte(char c);
    void start_body();
    void complete_part();
    void drop_part();
    void finish_value(int h);

    State state = State::Boundary;
    int boundary_pos = 0;
    int match_pos[HeaderCount] = {};
    bool capturing[HeaderCount] = {};
    QByteArray values[HeaderCount];
    int header_block_bytes = 0;
    bool lf_mark = false;

    // Values in force after the last complete part, and those of the part being read.
    Part in_force;
    bool length_known = false;
    Part pending;
    bool pending_length_known = false;

    qint64 body_fill = 0;
    quint64 dropped = 0;
};
