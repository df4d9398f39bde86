//! libs: zr_export
// The download thread's answer handling without a network: header lines (up to an empty line)
// through the header callback, the rest as body blocks through the write callback, then the
// end of the transfer. Exactly one end report; a finished download is the body in place under
// the target name, matching the digest when the server sent one; a failed one leaves nothing.
#include "export/ZRDownload_thread.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzSupport.h"

#include <QCryptographicHash>
#include <QFile>

struct DownloadThreadFuzz
{
    static void header(ZRDownload_thread& t, QByteArray line)
    {
        ZRDownload_thread::header_callback(line.data(), 1, size_t(line.size()), &t);
    }
    static void body(ZRDownload_thread& t, QByteArray block)
    {
        ZRDownload_thread::write_callback(block.data(), 1, size_t(block.size()), &t);
    }
    static void finish(ZRDownload_thread& t) { t.finish_run(); }
    static QString digest(const ZRDownload_thread& t) { return t.digest; }
    static QString contentType(const ZRDownload_thread& t) { return t.contentType; }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    FuzzInput in(data, size);
    const QString folder = zrfuzz::freshFolder(QStringLiteral("download"));
    const QString target = folder + QStringLiteral("/ZRPlayer-3.5.0.zip");

    ZRDownload_thread thread(nullptr, QStringLiteral("http://127.0.0.1:9/ZRPlayer-3.5.0.zip"));
    thread.set_output_path(target);
    int finished = 0;
    int failed = 0;
    QObject::connect(&thread, &ZRDownload_thread::download_finished, &thread, [&] { ++finished; },
                     Qt::DirectConnection);
    QObject::connect(&thread, &ZRDownload_thread::download_error, &thread, [&] { ++failed; },
                     Qt::DirectConnection);

    for (int i = 0; i < 16 && !in.empty(); ++i) {
        const QByteArray line = in.line(2048);
        if (line.isEmpty())
            break;
        DownloadThreadFuzz::header(thread, line + "\r\n");
    }
    QByteArray body;
    const int blocks = in.below(4);
    for (int i = 0; i < blocks && !in.empty(); ++i) {
        const QByteArray block = in.take(1 + size_t(in.below(2048)));
        if (block.isEmpty())
            break;
        body += block;
        DownloadThreadFuzz::body(thread, block);
    }
    const QByteArray last = in.rest();
    if (!last.isEmpty()) {
        body += last;
        DownloadThreadFuzz::body(thread, last);
    }
    DownloadThreadFuzz::finish(thread);

    ZR_FUZZ_CHECK(finished + failed == 1);
    ZR_FUZZ_CHECK(!QFile::exists(thread.part_path()));
    if (finished) {
        ZR_FUZZ_CHECK(ZRDownload_thread::classify(DownloadThreadFuzz::contentType(thread))
                      == ZRDownload_thread::ContentClass::File);
        ZR_FUZZ_CHECK(zrfuzz::readFile(target) == body);
        const QString digest = DownloadThreadFuzz::digest(thread).trimmed().toLower();
        if (!digest.isEmpty())
            ZR_FUZZ_CHECK(digest == QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex()));
    } else {
        ZR_FUZZ_CHECK(!QFile::exists(target));
    }
    ZRDownload_thread::error_page_text(body.left(ZRDownload_thread::kMaxFirstLine));
    ZRDownload_thread::return_code_text(body);
    return 0;
}
