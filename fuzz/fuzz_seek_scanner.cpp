//! libs: zr_store
// The seek-file scanner that collects a day's video stream names, line by line through a
// fixed buffer: long lines, lines without separators and any bytes.
#include "fuzz/FuzzSupport.h"
#include "store/ZRParserThread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    static const QString folder = zrfuzz::freshFolder(QStringLiteral("scanner"));
    const QString path = folder + QStringLiteral("/3_20250314_080000.zrseek");
    ZR_FUZZ_CHECK(zrfuzz::writeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));
    ZRParserThread scanner;
    scanner.read_and_parse_zrseek(path);
    return 0;
}
