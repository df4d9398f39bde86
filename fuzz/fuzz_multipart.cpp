//! libs: zr_display
// The live stream's multipart recogniser. First byte even: raw bytes from a peer, fed in
// chunks of fuzzed sizes; memory stays bounded and every byte is consumed. First byte odd: the
// bytes describe parts (header values, bodies, chunking); the stream a server would send for
// them reads back as exactly those parts, header values in force included.
#include "display/MultipartFrameRecognizer.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSupport.h"

#include <QList>

using Part = MultipartFrameRecognizer::Part;

namespace {

// Header values without ":" (every header name ends with one) and without line ends.
const char kValueLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ./;-_x";

QList<Part> feedAll(MultipartFrameRecognizer& r, const QByteArray& stream, FuzzInput& chunks)
{
    QList<Part> parts;
    qsizetype off = 0;
    while (off < stream.size()) {
        const qsizetype step = qMin<qsizetype>(stream.size() - off, 1 + chunks.below(4096));
        size_t done = 0;
        int idle = 0;
        while (done < size_t(step)) {
            bool ready = false;
            const size_t n = r.feed(stream.constData() + off + done, size_t(step) - done, &ready);
            ZR_FUZZ_CHECK(n <= size_t(step) - done);
            done += n;
            if (ready)
                parts.append(r.take_part());
            else
                ZR_FUZZ_CHECK(done == size_t(step)); // not ready: the chunk is used up
            // A taken part lets the next call go on: no call after it may stall.
            idle = n == 0 ? idle + 1 : 0;
            ZR_FUZZ_CHECK(idle < 2);
            ZR_FUZZ_CHECK(r.expected_body_size() <= MultipartFrameRecognizer::kMaxContentLength + 1);
        }
        off += step;
    }
    return parts;
}

void rawStream(FuzzInput& in)
{
    const QByteArray stream = in.rest();
    FuzzInput chunks(reinterpret_cast<const uint8_t*>(stream.constData()), size_t(stream.size()));
    MultipartFrameRecognizer r;
    for (const Part& p : feedAll(r, stream, chunks)) {
        ZR_FUZZ_CHECK(p.body.size() == p.content_length + 1);
        ZR_FUZZ_CHECK(p.body.startsWith('\n'));
    }
}

void roundTrip(FuzzInput& in)
{
    const int count = 1 + in.below(6);
    // A preamble before the first boundary, ended by a line end: a byte that breaks a boundary
    // match is not tried again, so a preamble ending in "-" would hide the boundary.
    QByteArray stream = in.take(in.below(64));
    while (stream.contains("--myboundary"))
        stream.replace("--myboundary", "");
    if (!stream.isEmpty())
        stream.append("\r\n");
    QList<Part> expected;
    Part inForce;
    for (int i = 0; i < count; ++i) {
        Part p = inForce;
        p.frame_tag.clear();
        QByteArray headers;
        auto header = [&](const char* name, const QByteArray& value) { headers += name + value + '\n'; };
        const QByteArray data = in.take(in.below(300));
        const unsigned which = unsigned(in.byte()) | (i == 0 ? 1u : 0u);
        if (which & 1) {
            header("Content-Length: ", QByteArray::number(data.size()));
        } else if (p.content_length != data.size()) {
            header("Content-Length: ", QByteArray::number(data.size()));
        }
        p.content_length = data.size();
        if (which & 2) {
            const QByteArray v = in.text(kValueLetters, 24);
            header("Content-Type: ", v);
            p.content_type = QString::fromLatin1(v);
        }
        if (which & 4) {
            const QByteArray v = in.text(kValueLetters, 24);
            header("Timestamp: ", v);
            p.timestamp = v;
        }
        if (which & 8) {
            const QByteArray v = in.text(kValueLetters, 24);
            header("ZrTextoverlay: ", v);
            p.text_overlay = QString::fromLatin1(v);
        }
        if (which & 16) {
            const QByteArray v = in.text(kValueLetters, 24);
            header("ZrDrawoverlay: ", v);
            p.draw_overlay = QString::fromLatin1(v);
        }
        if (which & 32) {
            const QByteArray v = in.text(kValueLetters, 12);
            header("Frametag: ", v);
            p.frame_tag = QString::fromLatin1(v);
        }
        if (which & 64) {
            const QByteArray v = in.flag() ? QByteArray("null") : in.text(kValueLetters, 12);
            header("Framesize: ", v);
            p.frame_size = QString::fromLatin1(v);
        }
        if (which & 128) {
            const QByteArray v = in.text(kValueLetters, 8);
            header("Fps:", v);
            p.fps = QString::fromLatin1(v);
        }
        stream += "--myboundary\n" + headers + "\n" + data + "\r\n";
        inForce = p;
        p.body = "\n" + data;
        if (p.content_length == 1 && p.frame_size == QLatin1String("null") && p.frame_tag.isEmpty())
            p.frame_tag = QStringLiteral("PAUSE");
        expected.append(p);
    }

    MultipartFrameRecognizer r;
    const QList<Part> parts = feedAll(r, stream, in);
    ZR_FUZZ_CHECK(parts.size() == expected.size());
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const Part& a = parts[i];
        const Part& b = expected[i];
        ZR_FUZZ_CHECK(a.body == b.body);
        ZR_FUZZ_CHECK(a.content_length == b.content_length);
        ZR_FUZZ_CHECK(a.content_type == b.content_type);
        ZR_FUZZ_CHECK(a.text_overlay == b.text_overlay);
        ZR_FUZZ_CHECK(a.draw_overlay == b.draw_overlay);
        ZR_FUZZ_CHECK(a.timestamp == b.timestamp);
        ZR_FUZZ_CHECK(a.frame_tag == b.frame_tag);
        ZR_FUZZ_CHECK(a.frame_size == b.frame_size);
        ZR_FUZZ_CHECK(a.fps == b.fps);
    }
    ZR_FUZZ_CHECK(r.dropped_parts() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    FuzzInput in(data, size);
    if (in.byte() & 1)
        roundTrip(in);
    else
        rawStream(in);
    return 0;
}
