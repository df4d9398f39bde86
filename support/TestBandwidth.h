#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>

class AnalyseTools;

// Download speed from a server: fetches "<url>/lib/256k.bytes" and writes one line with
// the size, the time and the average speed. One probe at a time; a probe blocks the caller.
class TestBandwidth : public QObject
{
    Q_OBJECT
public:
    explicit TestBandwidth(AnalyseTools* owner);
    ~TestBandwidth() override;

    void set_url(const QString& base_url);
    QString get_url() const;
    bool is_busy() const { return busy.load(); }

    void measure_bandwidth();

    static size_t discard_body(char* data, size_t size, size_t count, void* user_data);

    // The parts of the Bandwidth Usage line; each empty when its value is not above 0.
    static QString data_text(qint64 bytes);
    static QString time_text(qint64 microseconds);
    static QString speed_text(qint64 bytes_per_second);
    static QString bandwidth_line(const QString& data, const QString& time, const QString& speed);

private:
    QString url;
    std::atomic<bool> busy{false};
    AnalyseTools* owner = nullptr;
};
