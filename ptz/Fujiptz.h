#pragma once

#include "ptz/NativePTZInterface.h"

// Native driver for Fujinon cameras: JSON moves posted through the job worker. Its messages
// go out through the base class's status_message.
class Fujiptz : public NativePTZInterface
{
    Q_OBJECT
public:
    Fujiptz(QString scheme, QString host, QString port, QString username, QString password, QString channel,
            bool verbose = false, QObject* parent = nullptr);

    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int channel, int w, int h) override;
    QString get_capabilities() override;
    bool handles_responses() override { return true; }
    int parse_response(QString command, QString response, QString& fault) override;

public slots:
    void security_stop();
};
