#pragma once

#include <QObject>
#include <QString>

// Base of the native pan-tilt-zoom drivers. The display keeps a pointer to one and sends
// commands only while is_ready() and is_ptz_enabled() both hold; completion comes back
// through send_request_finished and operator messages through status_message.
class NativePTZInterface : public QObject
{
    Q_OBJECT
public:
    explicit NativePTZInterface(QObject* parent = nullptr);
    ~NativePTZInterface() override;

    bool is_ready() const { return ready; }
    bool is_ptz_enabled() const { return ptz_enabled; }
    void set_ptz_enabled(bool enabled) { ptz_enabled = enabled; }

    // Performs the named command; the base has no camera and does nothing.
    virtual void command(QString name, bool zoom_only, float x, float y, float z, int frame_width,
                         int frame_height, int value, int w, int h);
    // The driver's control mode text ("opticszoom" when it zooms optically only).
    virtual QString control_mode();

    QString driver_name;

signals:
    void send_request_finished(int status);
    void status_message(int status, QString command, QString fault, QString driver);
    void send_request_finished_ex(int status, QString command, QString response);

protected:
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
};
