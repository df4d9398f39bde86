//! libs: zr_support
// The crash-report server's answer, and the escaping of a file name put into the upload's
// multipart header (no quote or line end survives to end the header early).
#include "fuzz/FuzzSupport.h"
#include "support/DumpSender.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    bool dump = true;
    bool log = true;
    DumpSender::parse_answer(answer, &dump, &log);
    if (!QJsonDocument::fromJson(answer).isObject())
        ZR_FUZZ_CHECK(!dump && !log);

    const QString escaped = DumpSender::escape_file_name(QString::fromUtf8(answer));
    ZR_FUZZ_CHECK(!escaped.contains(QLatin1Char('"')));
    ZR_FUZZ_CHECK(!escaped.contains(QLatin1Char('\r')) && !escaped.contains(QLatin1Char('\n')));
    return 0;
}
