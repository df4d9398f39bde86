#pragma once

#include "tools/GeneratorOptions.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QString>

#include <atomic>
#include <random>
#include <vector>

// Writes one export folder as the recorder does, from the options, and describes it as JSON.
class ExportWriter
{
public:
    explicit ExportWriter(const GeneratorOptions& options);

    bool run(QString* error);
    QJsonObject summary() const { return m_summary; }
    QString report() const;

private:
    struct Camera
    {
        int id = 0;
        QString name;
        QString folder;
    };
    struct Recording
    {
        int day = 0;
        int camera = 0;
        int minute = 0;
        int startMs = 0;
        bool target = false;
        QJsonObject json;
    };
    struct Fault
    {
        QString kind;
        QString file;
        int line = -1;
        QString detail;
    };

    QString dayPath(int day) const;
    QString mediaPath(int day, int camera) const;
    QString baseName(int camera, int day, int ms) const;
    bool writeFile(const QString& path, const QByteArray& data, QString* error);
    bool hasFault(const QString& kind) const { return m_options.faults.contains(kind); }
    void addFault(const QString& kind, const QString& file, int line, const QString& detail);
    std::mt19937_64 rngFor(int day, int camera, int salt) const;

    bool writeRecording(Recording& rec, QString* error);
    bool writeVideo(Recording& rec, QString* error);
    bool writeAudio(Recording& rec, const QString& base, QString* error);
    bool writeCameraDay(int day, int camera, QJsonArray* tags, QJsonArray* alarms, QString* error);
    bool writeCameraInfo(int day, int camera, QString* path, QString* error);
    bool writeHashList(int day, QString* error);
    QByteArray picture(int camera, int day, int ms, int index, int width, int height, QString* error) const;

    GeneratorOptions m_options;
    quint64 m_seed = 0;
    QString m_id;
    QString m_exportPath;
    std::vector<Camera> m_cameras;
    std::vector<Recording> m_recordings;
    QMutex m_faultMutex;
    std::vector<Fault> m_faults;
    std::atomic<qint64> m_files{0};
    QJsonObject m_summary;
};
