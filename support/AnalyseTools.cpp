#include "support/AnalyseTools.h"

#include "app/Log.h"
#include "support/ProcessUsage.h"
#include "support/TestBandwidth.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

AnalyseTools::AnalyseTools()
    : QObject(nullptr)
{
    process_usage = new ProcessUsage(this);
    test_bandwidth = new TestBandwidth(this);
}

AnalyseTools::~AnalyseTools()
{
    delete process_usage;
    process_usage = nullptr;
    if (process_timer) {
        process_timer->stop();
        process_timer->deleteLater();
        process_timer = nullptr;
    }
    delete test_bandwidth;
    test_bandwidth = nullptr;
    if (bandwidth_timer) {
        bandwidth_timer->stop();
        bandwidth_timer->deleteLater();
        bandwidth_timer = nullptr;
    }
    write_output(QStringLiteral("[INFO] Analyse tools :: stop"));
}

void AnalyseTools::set_output_path(const QString& path)
{
    output_path = path;
}

QString AnalyseTools::get_output_path() const
{
    return output_path;
}

void AnalyseTools::start_process_timer(int intervalMs)
{
    if (!process_timer) {
        process_timer = new QTimer();
        connect(process_timer, &QTimer::timeout, this, &AnalyseTools::process_timer_finished);
    }
    if (intervalMs > 0)
        process_timer->start(intervalMs);
    else
        process_timer->stop();
}

void AnalyseTools::start_bandwidth_timer(int intervalMs)
{
    if (!bandwidth_timer) {
        bandwidth_timer = new QTimer();
        connect(bandwidth_timer, &QTimer::timeout, this, &AnalyseTools::bandwidth_timer_finished);
    }
    if (intervalMs > 0)
        bandwidth_timer->start(intervalMs);
    else
        bandwidth_timer->stop();
}

void AnalyseTools::process_timer_finished()
{
    if (process_usage)
        process_usage->sample_usage();
}

void AnalyseTools::bandwidth_timer_finished()
{
    if (test_bandwidth)
        test_bandwidth->measure_bandwidth();
}

void AnalyseTools::write_output(const QString& text)
{
    if (output_path.isEmpty())
        return;

    const QString line = QStringLiteral("[%1] ").arg(QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss.zzz")))
        + QStringLiteral("{ analyse } %1").arg(text);
    std::fprintf(stderr, "Debug: %s\n", line.toUtf8().constData());

    QFile file(output_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        write_log(QStringLiteral("[WARN] Analyse tools :: failed to create output file :: ") + file.fileName());
        return;
    }
    {
        QTextStream stream(&file);
        stream << line << "\n";
    }
    file.close();

    if (QFileInfo(output_path).size() > kOutputSizeLimit)
        QFile::resize(output_path, 0);
}
