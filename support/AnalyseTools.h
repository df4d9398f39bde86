#pragma once

#include <QObject>
#include <QString>

class ProcessUsage;
class QTimer;
class TestBandwidth;

// Measures the process and the network now and then and appends the results as lines to
// an output file. Does nothing until its user sets the output path, the probe's address
// and starts the timers.
class AnalyseTools : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kOutputSizeLimit = 15000000;

    AnalyseTools();
    ~AnalyseTools() override;

    // One line "[date time] { analyse } text" appended to the output file (and echoed on
    // the standard error stream); nothing at all while the output path is empty.
    void write_output(const QString& text);

    void set_output_path(const QString& path);
    QString get_output_path() const;

    ProcessUsage* get_process_usage() const { return process_usage; }
    TestBandwidth* get_test_bandwidth() const { return test_bandwidth; }

    // Sampling and probing timers owned by this object; an interval of 0 or less stops one.
    void start_process_timer(int intervalMs);
    void start_bandwidth_timer(int intervalMs);

public slots:
    void process_timer_finished();
    void bandwidth_timer_finished();

private:
    ProcessUsage* process_usage = nullptr;
    TestBandwidth* test_bandwidth = nullptr;
    QTimer* process_timer = nullptr;
    QTimer* bandwidth_timer = nullptr;
    QString output_path;
};
