#pragma once

#include "ptz/NativePTZInterface.h"

#include <QPointer>

#include <optional>

class CurlRequestWorker;

// Native driver for Hikvision cameras: ISAPI XML requests through CurlRequestWorker on a
// thread of the driver's own, one at a time; a request made while one runs waits, and a
// newer one replaces it. Its messages go out through the base class's status_message.
class HikPtz : public NativePTZInterface
{
    Q_OBJECT
public:
    HikPtz(QString scheme, QString host, QString port, QString username, QString password, QString channel,
           bool verbose = false, QObject* parent = nullptr);
    // Cancels the running request, ends the thread and waits for it.
    ~HikPtz() override;

    // channel 0 or below: the driver's own channel.
    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int channel, int w, int h) override;
    // action "GotoPreset" (token: the preset id) or "ListPresets".
    void send_preset(QString action, QString token, QString name) override;
    QString get_capabilities() override;
    bool handles_responses() override { return true; }
    int parse_response(QString command, QString response, QString& fault) override;

    // Presets of an ISAPI "PTZPresetList" answer; ok is false for malformed XML.
    static QList<NativePTZInterface::PresetInfo> parse_presets(const QString& xml, bool* ok);

public slots:
    void security_stop();

private slots:
    void on_result(QString response, int httpStatus, int curlCode);
    void on_error(QString message);

private:
    struct Request
    {
        QString command;
        QString method; // "GET" or "PUT"
        QString url;
        QByteArray body;
    };
    void submit(const Request& request);
    void start(const Request& request);
    void complete(int status, const QString& response, const QString& fault);
    QString isapi(int channel, const QString& tail) const;

    QThread* request_thread = nullptr;
    QPointer<CurlRequestWorker> running;
    QString running_command;
    QString running_error;
    std::optional<Request> waiting;
};
