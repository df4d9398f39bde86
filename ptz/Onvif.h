#pragma once

#include "ptz/NativePTZInterface.h"

class DomParser;

// Native driver for ONVIF cameras: SOAP requests through the job worker. It reads the media
// profiles first and is ready once it knows a profile token.
class Onvif : public NativePTZInterface
{
    Q_OBJECT
public:
    // Asks the camera for its profiles at once.
    Onvif(QString scheme, QString host, QString port, QString username, QString password, QString channel,
          bool verbose = false, QObject* parent = nullptr);
    ~Onvif() override;

    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int channel, int w, int h) override;
    QString get_capabilities() override;
    bool handles_responses() override { return true; }
    int parse_response(QString command, QString response, QString& fault) override;

    QString get_profile_token() const { return profile_token; }

    static QByteArray envelope(const QString& body);

public slots:
    void stop_false_clic();

private slots:
    void on_answer(int status, QString command, QString response);

private:
    QString ptz_service() const;

    DomParser* parser = nullptr;
    QString profile_token;
};
