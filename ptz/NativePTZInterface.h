#pragma once

#include "ptz/PtzHeaders.h"
#include "ptz/PtzJobWorker.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

class QThread;

// Base of the native pan-tilt-zoom drivers. It holds a camera's connection, hands every
// request as a job to a PtzJobWorker on a thread of its own (the GUI thread never waits for
// a camera) and turns the answers into the driver's signals. The display sends commands only
// while is_ready() and is_ptz_enabled() both hold.
class NativePTZInterface : public QObject
{
    Q_OBJECT
public:
    struct PresetInfo
    {
        QString token;
        QString name;
        QString extra;
    };

    explicit NativePTZInterface(QObject* parent = nullptr);
    // Connection of a camera; the channel is a number as text.
    NativePTZInterface(QString scheme, QString host, QString port, QString username, QString password,
                       QString channel, QString driver_name, bool verbose = false, QObject* parent = nullptr);
    // Cancels a running request, ends the worker's thread and waits for it.
    ~NativePTZInterface() override;

    bool is_ready() const { return ready; }
    bool is_ptz_enabled() const { return ptz_enabled; }
    void set_ptz_enabled(bool enabled) { ptz_enabled = enabled; }
    void set_ready(bool on) { ready = on; }

    virtual void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width,
                              int height, int channel, int w, int h);
    virtual void send_preset(QString action, QString token, QString name);
    virtual QString get_capabilities();
    virtual bool handles_responses();
    virtual int parse_response(QString command, QString response, QString& fault);

    void send_get(QString url);
    void send_post(QString url, QByteArray body, QString contentType, PtzHeaders headers);

    // The driver's name: shown upper-cased by the display, sent with every status message.
    QString driver_name;

    // The worker of the running thread, null before the first send (for tests and hosts that
    // choose the queue policy).
    PtzJobWorker* job_worker() const { return worker; }
    bool has_answered() const { return answered; }
    QString get_channel() const { return channel; }

    // A command text that begins with "Probe" (any case).
    static bool is_probe_command(const QString& command);

signals:
    void send_request_finished(int status);
    void status_message(int status, QString command, QString fault, QString driver);
    void send_request_finished_ex(int status, QString command, QString response);
    void presetsListed(QList<NativePTZInterface::PresetInfo> presets, QString profileTokenOrExtra);
    void presetsListed(QList<NativePTZInterface::PresetInfo> presets);

protected:
    // The driver's channel text as a number; anything else counts as 0.
    int channel_number() const;
    // scheme "://" host ":" port, the start of every camera URL.
    QString base_url() const;

    QString scheme;
    QString host;
    QString port;
    QString username;
    QString password;
    QString channel;
    QString current_command;
    bool ready = false;
    bool ptz_enabled = false;
    bool answered = true;
    bool verbose = false;
    QThread* worker_thread = nullptr;
    QPointer<PtzJobWorker> worker;

private slots:
    void on_job_finished(QString command, QString response);
    void on_job_error(QString command, QString message);
    void on_thread_finished();

private:
    void prepare_worker();
    void send_job(int type, const QString& url, const QByteArray& body, const QString& contentType,
                  const PtzHeaders& headers);
};

Q_DECLARE_METATYPE(NativePTZInterface::PresetInfo)
