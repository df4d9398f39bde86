#include "ptz/Onvif.h"

#include "app/Log.h"
#include "ptz/DomParser.h"
#include "ptz/Onvif_ptz.h"

#include <cmath>

namespace {

const QString kSoapType = QStringLiteral("application/soap+xml; charset=utf-8");

// A speed in percent mapped into the camera's range.
QString speed(double percent, const Onvif_ptz::Range& range)
{
    if (!std::isfinite(percent))
        percent = 0;
    const double unit = std::clamp(percent / 100.0, -1.0, 1.0);
    const double v = unit >= 0 ? unit * range.second : -unit * range.first;
    return QString::number(v, 'g', 6);
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

} // namespace

Onvif::Onvif(QString scheme_, QString host_, QString port_, QString username_, QString password_, QString channel_,
             bool verbose_, QObject* parent)
    : NativePTZInterface(std::move(scheme_), std::move(host_), std::move(port_), std::move(username_),
                         std::move(password_), std::move(channel_), QStringLiteral("onvif"), verbose_, parent)
    , parser(new DomParser())
{
    ptz_enabled = true;
    connect(this, &NativePTZInterface::send_request_finished_ex, this, &Onvif::on_answer);
    current_command = QStringLiteral("Probe:GetProfiles");
    send_post(base_url() + QStringLiteral("/onvif/media_service"),
              envelope(QStringLiteral("<GetProfiles xmlns=\"http://www.onvif.org/ver10/media/wsdl\"/>")), kSoapType,
              PtzHeaders());
}

Onvif::~Onvif()
{
    delete parser;
}

QByteArray Onvif::envelope(const QString& body)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>")
            + body + QStringLiteral("</s:Body></s:Envelope>"))
        .toUtf8();
}

QString Onvif::ptz_service() const
{
    return base_url() + QStringLiteral("/onvif/ptz_service");
}

QString Onvif::get_capabilities()
{
    return QStringLiteral("ONVIF profile=") + profile_token;
}

void Onvif::stop_false_clic()
{
    send_command(QStringLiteral("STOP_PanTilt_ContinuousMove"), false, 0.0f, 0.0f, 0.0f, -1, -1, channel_number(), -1, -1);
}

void Onvif::send_command(QString command, bool, float pan, float tilt, float zoom, int, int, int, int, int)
{
    if (profile_token.isEmpty()) {
        emit status_message(-1, command, QStringLiteral("ONVIF no profile"), driver_name);
        return;
    }
    const QString token = escaped(profile_token);
    const bool still = pan == 0.0f && tilt == 0.0f && zoom == 0.0f;
    QString body;
    if (command == QLatin1String("STOP") || command == QLatin1String("STOP_PanTilt_ContinuousMove")
        || (still && (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove")))) {
        body = QStringLiteral("<Stop xmlns=\"http://www.onvif.org/ver20/ptz/wsdl\"><ProfileToken>%1</ProfileToken>"
                              "<PanTilt>true</PanTilt><Zoom>true</Zoom></Stop>")
                   .arg(token);
    } else if (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove")) {
        QString velocity = QStringLiteral("<PanTilt xmlns=\"http://www.onvif.org/ver10/schema\" x=\"%1\" y=\"%2\"/>")
                               .arg(speed(pan, parser->ptz->pan_velocity), speed(tilt, parser->ptz->tilt_velocity));
        if (zoom != 0.0f && command == QLatin1String("ContinuousMove"))
            velocity += QStringLiteral("<Zoom xmlns=\"http://www.onvif.org/ver10/schema\" x=\"%1\"/>")
                            .arg(speed(zoom, parser->ptz->zoom_velocity));
        body = QStringLiteral("<ContinuousMove xmlns=\"http://www.onvif.org/ver20/ptz/wsdl\"><ProfileToken>%1</ProfileToken>"
                              "<Velocity>%2</Velocity></ContinuousMove>")
                   .arg(token, velocity);
    } else {
        emit status_message(-1, command, QStringLiteral("ONVIF unsupported command"), driver_name);
        return;
    }
    current_command = command;
    send_post(ptz_service(), envelope(body), kSoapType, PtzHeaders());
}

int Onvif::parse_response(QString, QString response, QString& fault)
{
    if (response.trimmed().isEmpty())
        return 1;
    DomParser answer;
    if (!answer.parse(response.toUtf8())) {
        fault = QStringLiteral("Invalid XML: ") + answer.error.left(100);
        return -1;
    }
    if (answer.values.contains(QStringLiteral("Fault"))) {
        fault = answer.fault.isEmpty() ? answer.values.value(QStringLiteral("Value"), QStringLiteral("SOAP fault")) : answer.fault;
        return -1;
    }
    return 1;
}

void Onvif::on_answer(int status, QString command, QString response)
{
    if (command != QLatin1String("Probe:GetProfiles"))
        return;
    if (status == 1 && parser->parse(response.toUtf8()) && !parser->profile_tokens.isEmpty()) {
        profile_token = parser->profile_tokens.first();
        ready = true;
        emit status_message(1, QStringLiteral("GetProfiles"), get_capabilities(), driver_name);
    } else {
        write_log(QStringLiteral("[WARN] ONVIF :: no media profile"));
        emit status_message(-1, QStringLiteral("GetProfiles"), QStringLiteral("ONVIF no profile"), driver_name);
    }
}
