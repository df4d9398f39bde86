#include "ptz/Hanwhaptz.h"

#include "app/Log.h"

#include <QRegularExpression>

#include <cmath>

namespace {

QString int_text(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(qint64(std::clamp(v, -1e9, 1e9)));
}

} // namespace

Hanwhaptz::Hanwhaptz(QString scheme_, QString host_, QString port_, QString username_, QString password_,
                     QString channel_, bool verbose_, QObject* parent)
    : NativePTZInterface(std::move(scheme_), std::move(host_), std::move(port_), std::move(username_),
                         std::move(password_), std::move(channel_), QStringLiteral("hanwha"), verbose_, parent)
{
    ready = true;
    ptz_enabled = true;
}

void Hanwhaptz::security_stop()
{
    send_command(QStringLiteral("STOP"), false, 0.0f, 0.0f, 0.0f, -1, -1, channel_number(), -1, -1);
}

void Hanwhaptz::stop_false_clic()
{
    write_log(QStringLiteral("[INFO] HANWHA PTZ :: stop false clic"));
    send_command(QStringLiteral("STOP"), false, 0.0f, 0.0f, 0.0f, -1, -1, channel_number(), -1, -1);
}

QString Hanwhaptz::get_capabilities()
{
    return QStringLiteral("HANWHA SUNAPI ptzcontrol");
}

void Hanwhaptz::send_command(QString command, bool, float pan, float tilt, float zoom, int width, int height,
                             int camera, int w, int h)
{
    const QString ch = QString::number(camera >= 0 ? camera : channel_number());
    const bool still = pan == 0.0f && tilt == 0.0f && zoom == 0.0f;
    QString query;
    if (command == QLatin1String("STOP") || command == QLatin1String("STOP_PanTilt_ContinuousMove")
        || (still && (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove"))))
        query = QStringLiteral("msubmenu=stop&action=control&Channel=%1&OperationType=All").arg(ch);
    else if (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove"))
        query = QStringLiteral("msubmenu=continuous&action=control&Channel=%1&Pan=%2&Tilt=%3&Zoom=%4")
                    .arg(ch, int_text(pan), int_text(tilt), int_text(zoom));
    else if (command == QLatin1String("clic"))
        query = QStringLiteral("msubmenu=areazoom&action=control&Channel=%1&Type=1x&X1=%2&Y1=%3&TileWidth=%4&TileHeight=%5")
                    .arg(ch, int_text(pan), int_text(tilt), QString::number(width), QString::number(height));
    else if (command == QLatin1String("area"))
        // The display aims area commands of this driver at the rectangle's top-left corner.
        query = QStringLiteral("msubmenu=areazoom&action=control&Channel=%1&X1=%2&Y1=%3&X2=%4&Y2=%5&TileWidth=%6&TileHeight=%7")
                    .arg(ch, int_text(pan), int_text(tilt), int_text(double(pan) + w), int_text(double(tilt) + h),
                         QString::number(width), QString::number(height));
    else if (command == QLatin1String("right_clic"))
        query = QStringLiteral("msubmenu=home&action=control&Channel=%1").arg(ch);
    if (query.isEmpty()) {
        emit status_message(-1, command, QStringLiteral("HANWHA unsupported command"), driver_name);
        return;
    }
    current_command = command;
    send_get(base_url() + QStringLiteral("/stw-cgi/ptzcontrol.cgi?") + query);
}

int Hanwhaptz::parse_response(QString, QString response, QString& fault)
{
    const QString trimmed = response.trimmed();
    if (trimmed.startsWith(QLatin1String("<html"), Qt::CaseInsensitive)
        || trimmed.startsWith(QLatin1String("<!DOCTYPE"), Qt::CaseInsensitive)) {
        fault = response.contains(QLatin1String("401")) ? QStringLiteral("401 Unauthorized")
                                                         : QStringLiteral("HTTP/HTML error response");
        return -2;
    }
    // SUNAPI failures: "NG", then "Error Code: n" and "Error Details: text".
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n]+"));
    const QStringList lines = trimmed.split(breaks, Qt::SkipEmptyParts);
    if (!lines.isEmpty() && lines.first().trimmed().compare(QLatin1String("NG"), Qt::CaseInsensitive) == 0) {
        QString details;
        for (const QString& line : lines)
            if (line.trimmed().startsWith(QLatin1String("Error Details"), Qt::CaseInsensitive))
                details = line.section(QLatin1Char(':'), 1).trimmed();
        fault = details.isEmpty() ? QStringLiteral("NG") : details.left(200);
        return -1;
    }
    return 1;
}
