#include "store/ZRParserThread.h"

#include "app/Log.h"
#include "store/StoreLayout.h"

#include <QFile>

#include <chrono>

ZRParserThread::ZRParserThread()
    : QThread(nullptr)
{
}

ZRParserThread::~ZRParserThread()
{
    wait();
}

void ZRParserThread::run()
{
    const auto start = std::chrono::steady_clock::now();
    for (const QFileInfo& info : std::as_const(files)) {
        const QString path = seekTablePathOf(info.filePath());
        if (path.isEmpty())
            continue;
        read_and_parse_zrseek(path);
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    const double ms = static_cast<double>(elapsed.count()) / 1000000.0;
    write_log("[INFO] ZRParserThread :: run :: video files parsed in " + QString::number(ms, 'g', 6) + " ms");
}

void ZRParserThread::read_and_parse_zrseek(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        write_log("[WARN] ZRParserThread :: read and parse zrseek :: Error Opening Seek File " + path);
        return;
    }

    char buffer[512];
    qint64 n = 0;
    do {
        n = file.readLine(buffer, sizeof(buffer));
        if (n <= 0)
            break;
        const QString line = QString::fromUtf8(buffer, static_cast<int>(n));
        const QStringList fields = line.split(QLatin1Char(':'));
        // A line without a second field (an empty line among them) names no stream.
        if (fields.size() < 2)
            continue;
        const QString stream = fields.at(1);
        if (stream.contains(QStringLiteral("video")) && !video_streams.contains(stream))
            video_streams.append(stream);
    } while (file.bytesAvailable() > 0);

    if (n <= 0) {
        write_log("[WARN] ZRParserThread :: read and parse zrseek :: read return value  :: " + QString::number(n));
        write_log("[WARN] ZRParserThread :: read and parse zrseek :: buffer check       :: 1");
        write_log("[WARN] ZRParserThread :: read and parse zrseek :: return empty frame");
    }
    file.close();
}
