#include "ptz/Fujiptz.h"

#include "app/Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

int bounded(double v)
{
    if (!std::isfinite(v))
        return 0;
    return int(std::clamp(v, -100.0, 100.0));
}

} // namespace

Fujiptz::Fujiptz(QString scheme_, QString host_, QString port_, QString username_, QString password_,
                 QString channel_, bool verbose_, QObject* parent)
    : NativePTZInterface(std::move(scheme_), std::move(host_), std::move(port_), std::move(username_),
                         std::move(password_), std::move(channel_), QStringLiteral("fuji"), verbose_, parent)
{
    ready = true;
    ptz_enabled = true;
}

void Fujiptz::security_stop()
{
    write_log(QStringLiteral("[INFO] FUJI PTZ :: security stop"));
    send_command(QStringLiteral("ContinuousMove"), false, 0.0f, 0.0f, 0.0f, -1, -1, 1, -1, -1);
}

QString Fujiptz::get_capabilities()
{
    return QStringLiteral("FUJI continuous");
}

void Fujiptz::send_command(QString command, bool, float pan, float tilt, float zoom, int, int, int camera, int, int)
{
    const bool stop = command == QLatin1String("STOP") || command == QLatin1String("STOP_PanTilt_ContinuousMove");
    if (!stop && command != QLatin1String("ContinuousMove") && command != QLatin1String("PanTilt_ContinuousMove")) {
        emit NativePTZInterface::status_message(-1, command, QStringLiteral("FUJI unsupported command"), driver_name);
        return;
    }
    const QJsonObject body{{QStringLiteral("channel"), camera > 0 ? camera : std::max(1, channel_number())},
                           {QStringLiteral("pan"), stop ? 0 : bounded(pan)},
                           {QStringLiteral("tilt"), stop ? 0 : bounded(tilt)},
                           {QStringLiteral("zoom"), stop ? 0 : bounded(zoom)}};
    current_command = command;
    send_post(base_url() + QStringLiteral("/api/ptz/continuous"), QJsonDocument(body).toJson(QJsonDocument::Compact),
              QStringLiteral("application/json"), PtzHeaders());
}

int Fujiptz::parse_response(QString, QString response, QString& fault)
{
    if (response.trimmed().isEmpty())
        return 1;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(response.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        fault = QStringLiteral("Invalid JSON");
        return -1;
    }
    const QJsonValue e = doc.object().value(QLatin1String("error"));
    if (!e.isUndefined() && !e.isNull()) {
        const QString text = e.isString() ? e.toString() : e.toObject().value(QLatin1String("message")).toString();
        fault = text.isEmpty() ? QStringLiteral("FUJI error") : text.left(200);
        return -1;
    }
    return 1;
}
