// zr-make-export: writes synthetic recorder exports for tests, the demo and benchmarks.
#include "tools/ExportWriter.h"
#include "tools/GeneratorOptions.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    GeneratorOptions options;
    QString error;
    if (!GeneratorOptions::parse(app.arguments().mid(1), &options, &error)) {
        std::fprintf(stderr, "zr-make-export: %s\n", qPrintable(error));
        return 2;
    }
    if (options.help) {
        std::fputs(GeneratorOptions::usage().toUtf8().constData(), stdout);
        return 0;
    }
    ExportWriter writer(options);
    if (!writer.run(&error)) {
        std::fprintf(stderr, "zr-make-export: %s\n", qPrintable(error));
        return 1;
    }
    const QByteArray out = options.json ? QJsonDocument(writer.summary()).toJson(QJsonDocument::Indented)
                                        : writer.report().toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
