#pragma once

#include "ptz/NativePTZInterface.h"

// Native driver for Hanwha cameras (SUNAPI "ptzcontrol.cgi" requests through the job worker).
class Hanwhaptz : public NativePTZInterface
{
    Q_OBJECT
public:
    Hanwhaptz(QString scheme, QString host, QString port, QString username, QString password, QString channel,
              bool verbose = false, QObject* parent = nullptr);

    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int channel, int w, int h) override;
    QString get_capabilities() override;
    bool handles_responses() override { return true; }
    int parse_response(QString command, QString response, QString& fault) override;

public slots:
    void security_stop();
    void stop_false_clic();
};
