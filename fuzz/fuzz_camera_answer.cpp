//! libs: zr_ptz
// Camera answers: the ONVIF reader (bounded in size, depth and element count) and the Axis
// answer tests and lists.
#include "fuzz/FuzzSupport.h"
#include "ptz/AxisPtz.h"
#include "ptz/DomParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zrfuzz::init();
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        DomParser dom;
        const bool ok = dom.parse(answer);
        if (size > size_t(DomParser::max_bytes))
            ZR_FUZZ_CHECK(!ok);
        if (!ok)
            ZR_FUZZ_CHECK(!dom.error.isEmpty());
    }
    const QString text = QString::fromUtf8(answer);
    AxisPtz::is_html_page(text);
    AxisPtz::is_unauthorized_page(text);
    bool found = false;
    const QString error = AxisPtz::text_error(text, &found);
    if (!found)
        ZR_FUZZ_CHECK(error.isEmpty());
    QString fault;
    AxisPtz::optics_data(text, fault);
    AxisPtz::parse_presets(text);
    return 0;
}
