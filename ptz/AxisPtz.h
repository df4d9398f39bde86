#pragma once

#include "ptz/NativePTZInterface.h"

#include <QJsonObject>

// Native driver for Axis cameras: finds out whether the camera offers optical zoom
// ("/axis-cgi/opticscontrol.cgi") or pan-tilt-zoom ("/axis-cgi/com/ptz.cgi"), reads the
// optics' magnification, manages presets and holds back one request until the probe is done
// and the previous request has been answered.
class AxisPtz : public NativePTZInterface
{
    Q_OBJECT
public:
    // Starts the probe at once.
    AxisPtz(QString scheme, QString host, QString port, QString username, QString password, QString channel,
            bool verbose = false, QObject* parent = nullptr);

    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int channel, int w, int h) override;
    // action: "ListPresets", "GotoPreset", "SetPreset" or "RemovePreset"; token: the preset
    // number; name: the preset's name.
    void send_preset(QString action, QString token, QString name) override;
    QString get_capabilities() override;
    bool handles_responses() override { return false; }
    int parse_response(QString, QString, QString&) override { return 1; }

    bool is_probe_done() const { return probe_done; }
    bool has_optics_control() const { return has_optics; }
    bool has_ptz_control() const { return has_ptz; }
    bool is_zoom_capable() const { return zoom_capable; }
    double max_magnification() const { return maximum_magnification; }
    double current_magnification() const { return magnification; }
    bool has_held_back_request() const { return held_stored; }

    // Response tests, exposed for the tests.
    static bool is_html_page(const QString& response);
    static bool is_unauthorized_page(const QString& response);
    // The first error line ("Error...", "NG", "NG:...") or an empty text; found tells.
    static QString text_error(const QString& response, bool* found);
    // The optics reply's "data" object; on failure fault is set.
    static QJsonObject optics_data(const QString& response, QString& fault);
    static QList<NativePTZInterface::PresetInfo> parse_presets(const QString& response);

public slots:
    void security_stop();
    void on_request_finished_ex(int status, QString command, QString response);

private:
    QString named(const QString& command) const;
    QString optics_url() const;
    QString ptz_url() const;
    void send_optics(const QString& command, const QString& method, const QJsonObject& params = QJsonObject());
    void send_ptz(const QString& command, const QString& query, int channel = 0);
    void send_position_query();
    void report_capabilities();
    void flush();
    void handle_probe_answer(int status, const QString& name, const QString& response);
    void handle_optics_answer(const QString& name, const QString& response);
    void handle_preset_answer(const QString& name, const QString& response);

    bool capabilities_reported = false;
    bool probing = false;
    bool probe_over = false;
    bool probe_done = false;
    bool has_optics = false;
    bool has_ptz = false;
    bool zoom_capable = false;
    bool magnification_known = false;
    double maximum_magnification = 0.0;
    double magnification = 1.0;

    struct HeldBack
    {
        QString command;
        bool flag = false;
        float pan = 0, tilt = 0, zoom = 0;
        int width = -1, height = -1, channel = -1, w = -1, h = -1;
    };
    HeldBack held;
    bool held_stored = false;
    QString held_preset[3];
};
