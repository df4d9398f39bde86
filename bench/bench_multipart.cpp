//! libs: zr_display
// Throughput of the live stream's part recogniser over a recorded multipart stream shaped like
// a 1080p25 camera (6 Mbit/s: 1 s groups, key frames about ten times the size of the others,
// every part header of the format), fed in 16 KiB chunks as libcurl hands them over. Beside it,
// the plain split a reader without header parsing would do: find each boundary with memmem
// and copy the bytes up to the next one.
#include "bench/support/BenchSupport.h"
#include "display/MultipartFrameRecognizer.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstring>
#include <sys/resource.h>

namespace {

QByteArray recorded_stream(qint64 target_bytes, int* parts)
{
    QRandomGenerator rng(7);
    QByteArray s;
    s.reserve(target_bytes + (1 << 20));
    *parts = 0;
    const int bytes_per_second = 6'000'000 / 8;
    const int p_size = bytes_per_second / (10 + 24);
    for (int i = 0; s.size() < target_bytes; ++i) {
        const int size = (i % 25 == 0) ? 10 * p_size : p_size + static_cast<int>(rng.bounded(200)) - 100;
        QByteArray body(size, Qt::Uninitialized);
        for (int k = 0; k < size; k += 4) {
            const quint32 v = rng.generate();
            std::memcpy(body.data() + k, &v, qMin(4, size - k));
        }
        s += "--myboundary\nContent-Type: frame/h264\nContent-Length: " + QByteArray::number(size) +
             "\nTimestamp: 20240502101500" + QByteArray::number(100 + i % 900) +
             "\nZrTextoverlay: CAMERA 3\nZrDrawoverlay: \nFps: 25.00\n\n" + body + "\r\n";
        ++*parts;
    }
    return s;
}

double cpu_seconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int parts = 0;
    const QByteArray stream = recorded_stream(256ll * 1024 * 1024, &parts);
    const size_t chunk = 16 * 1024;

    int got = 0;
    qint64 body_bytes = 0;
    const double cpu0 = cpu_seconds();
    const double ours = zrbench::bestSeconds([&] {
        MultipartFrameRecognizer r;
        got = 0;
        body_bytes = 0;
        for (size_t off = 0; off < static_cast<size_t>(stream.size()); off += chunk) {
            const size_t n = qMin(chunk, static_cast<size_t>(stream.size()) - off);
            size_t done = 0;
            while (done < n) {
                bool ready = false;
                done += r.feed(stream.constData() + off + done, n - done, &ready);
                if (ready) {
                    body_bytes += r.take_part().body.size();
                    ++got;
                }
            }
        }
    });
    const double cpu = (cpu_seconds() - cpu0) / 3;

    int split = 0;
    const double plain = zrbench::bestSeconds([&] {
        split = 0;
        const char* p = stream.constData();
        const char* end = p + stream.size();
        const char* at = static_cast<const char*>(memmem(p, end - p, "--myboundary", 12));
        while (at) {
            const char* next = static_cast<const char*>(memmem(at + 12, end - at - 12, "--myboundary", 12));
            QByteArray copy(at, (next ? next : end) - at);
            split += copy.size() > 0;
            at = next;
        }
    });

    const double mb = stream.size() / 1e6;
    if (got != parts || split != parts)
        qWarning("part count mismatch: %d recognised, %d split, %d written", got, split, parts);
    zrbench::report(QStringLiteral("multipart: recogniser throughput vs memmem split"), mb / ours, mb / plain,
                    QStringLiteral("MB/s"));
    zrbench::reportValue(QStringLiteral("multipart: parts per second"), got / ours, QStringLiteral("parts/s"));
    zrbench::reportValue(QStringLiteral("multipart: CPU per MB"), cpu / mb * 1e3, QStringLiteral("ms"));
    zrbench::reportValue(QStringLiteral("multipart: body bytes recognised"), body_bytes, QStringLiteral("bytes"));
    return 0;
}
