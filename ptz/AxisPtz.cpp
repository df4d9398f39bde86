#include "ptz/AxisPtz.h"

#include "app/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace {

const QString kProbePrefix = QStringLiteral("Probe:");

QString num(double v)
{
    return QString::number(v, 'g', 6);
}

// Lines split at runs of CR and LF, empty ones dropped.
QStringList lines_of(const QString& response)
{
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n]+"));
    return response.split(breaks, Qt::SkipEmptyParts);
}

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

// A finite integer text for a query value.
QString int_text(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(qint64(std::clamp(v, -1e9, 1e9)));
}

} // namespace

AxisPtz::AxisPtz(QString scheme_, QString host_, QString port_, QString username_, QString password_,
                 QString channel_, bool verbose_, QObject* parent)
    : NativePTZInterface(std::move(scheme_), std::move(host_), std::move(port_), std::move(username_),
                         std::move(password_), std::move(channel_), QStringLiteral("axis"), verbose_, parent)
{
    ready = true;
    ptz_enabled = true;
    connect(this, &NativePTZInterface::send_request_finished_ex, this, &AxisPtz::on_request_finished_ex);
    probing = true;
    send_optics(QStringLiteral("OpticsGetCapabilities"), QStringLiteral("getCapabilities"));
}

QString AxisPtz::named(const QString& command) const
{
    return probing && !probe_over ? kProbePrefix + command : command;
}

QString AxisPtz::optics_url() const
{
    return base_url() + QStringLiteral("/axis-cgi/opticscontrol.cgi");
}

QString AxisPtz::ptz_url() const
{
    return base_url() + QStringLiteral("/axis-cgi/com/ptz.cgi");
}

void AxisPtz::send_optics(const QString& command, const QString& method, const QJsonObject& params)
{
    // Keys in the order the camera documents them; QJsonObject would sort them.
    QByteArray body = "{\"apiVersion\":\"1.2\",\"context\":\"zrnova\",\"method\":"
        + QJsonDocument(QJsonArray{method}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    if (!params.isEmpty())
        body += ",\"params\":" + QJsonDocument(params).toJson(QJsonDocument::Compact);
    body += '}';
    current_command = named(command);
    send_post(optics_url(), body, QStringLiteral("application/json"),
              PtzHeaders{{QStringLiteral("Accept"), QStringLiteral("application/json")},
                         {QStringLiteral("User-Agent"), QStringLiteral("ZRNova")}});
}

void AxisPtz::send_ptz(const QString& command, const QString& query, int camera)
{
    if (camera <= 0)
        camera = channel_number();
    QString url = ptz_url() + QLatin1Char('?') + query;
    if (camera > 0)
        url += QStringLiteral("&camera=") + QString::number(camera);
    current_command = named(command);
    send_get(url);
}

void AxisPtz::send_position_query()
{
    current_command = named(QStringLiteral("PtzQueryPosition"));
    send_get(ptz_url() + QStringLiteral("?query=position"));
}

QString AxisPtz::get_capabilities()
{
    QStringList parts;
    if (has_ptz)
        parts << QStringLiteral("PTZ (ptz.cgi)");
    if (has_optics) {
        QString optics = QStringLiteral("opticszoom");
        if (maximum_magnification > 1.0)
            optics += QStringLiteral(" maxMagnification=") + num(maximum_magnification);
        parts << optics;
    }
    if (parts.isEmpty())
        parts << QStringLiteral("none");
    return QStringLiteral("AXIS capabilities: ") + parts.join(QStringLiteral(", "));
}

void AxisPtz::report_capabilities()
{
    if (capabilities_reported)
        return;
    capabilities_reported = true;
    if (has_optics) {
        QString text = QStringLiteral("AXIS capabilities: OPTICS (zoom)");
        if (maximum_magnification > 1.0)
            text += QStringLiteral(" maxMagnification=") + num(maximum_magnification);
        emit status_message(1, QStringLiteral("Capabilities"), text, driver_name);
    } else if (has_ptz) {
        emit status_message(1, QStringLiteral("Capabilities"), get_capabilities(), driver_name);
    } else {
        emit status_message(-1, QStringLiteral("Capabilities"), QStringLiteral("no PTZ/optics"), driver_name);
    }
}

void AxisPtz::security_stop()
{
    send_command(QStringLiteral("ContinuousMove"), false, 0.0f, 0.0f, 0.0f, -1, -1, 1, -1, -1);
}

void AxisPtz::send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                           int camera, int w, int h)
{
    if (!probe_done || !answered) {
        held = HeldBack{command, flag, pan, tilt, zoom, width, height, camera, w, h};
        held_stored = true;
        return;
    }
    const bool still = pan == 0.0f && tilt == 0.0f && zoom == 0.0f;
    const bool stop = command == QLatin1String("STOP") || command == QLatin1String("STOP_PanTilt_ContinuousMove")
        || (still && (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove")));
    const QString size = QStringLiteral("&imagewidth=%1&imageheight=%2").arg(width).arg(height);

    if (has_ptz) {
        QString query;
        if (stop)
            query = QStringLiteral("continuouspantiltmove=0,0&continuouszoommove=0");
        else if (command == QLatin1String("ContinuousMove") && (flag || (pan == 0.0f && tilt == 0.0f)))
            query = QStringLiteral("continuouszoommove=") + int_text(zoom);
        else if (command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove"))
            query = QStringLiteral("continuouspantiltmove=") + int_text(pan) + QLatin1Char(',') + int_text(tilt)
                + (zoom != 0.0f && command == QLatin1String("ContinuousMove")
                       ? QStringLiteral("&continuouszoommove=") + int_text(zoom)
                       : QString());
        else if (command == QLatin1String("clic"))
            query = QStringLiteral("center=") + int_text(pan) + QLatin1Char(',') + int_text(tilt) + size;
        else if (command == QLatin1String("area"))
            query = QStringLiteral("areazoom=") + int_text(pan) + QLatin1Char(',') + int_text(tilt) + QLatin1Char(',')
                + int_text(zoom) + size;
        else if (command == QLatin1String("right_clic"))
            query = QStringLiteral("move=home");
        if (query.isEmpty()) {
            emit status_message(-1, command, QStringLiteral("AXIS unsupported command"), driver_name);
            return;
        }
        send_ptz(command, query, camera);
        return;
    }

    if (has_optics) {
        if (stop)
            return; // a magnification step has nothing to stop
        double target = magnification;
        if (command == QLatin1String("ContinuousMove") && zoom != 0.0f && pan == 0.0f && tilt == 0.0f)
            target = magnification * (zoom > 0 ? 1.25 : 0.8);
        else if (command == QLatin1String("area") && zoom > 0.0f && std::isfinite(zoom))
            target = magnification * zoom / 100.0;
        else {
            emit status_message(-1, command, QStringLiteral("AXIS optics: zoom only"), driver_name);
            return;
        }
        target = std::max(1.0, target);
        if (maximum_magnification > 1.0)
            target = std::min(target, maximum_magnification);
        QJsonObject optic{{QStringLiteral("opticsId"), QStringLiteral("0")}, {QStringLiteral("magnification"), target}};
        send_optics(QStringLiteral("OpticsSetMagnification"), QStringLiteral("setMagnification"),
                    QJsonObject{{QStringLiteral("optics"), QJsonArray{optic}}});
        return;
    }

    emit status_message(-1, command, QStringLiteral("no PTZ/optics"), driver_name);
}

void AxisPtz::send_preset(QString action, QString token, QString name)
{
    if (!probe_done || !answered) {
        held = HeldBack{QStringLiteral("PRESET:") + action, false, 0, 0, 0, -1, -1, -1, -1, -1};
        held_stored = true;
        held_preset[0] = action;
        held_preset[1] = token;
        held_preset[2] = name;
        return;
    }
    if (!has_ptz) {
        emit status_message(-1, action, QStringLiteral("no PTZ/optics"), driver_name);
        return;
    }
    const QString by_token = token.trimmed();
    QString query;
    if (action.compare(QLatin1String("ListPresets"), Qt::CaseInsensitive) == 0)
        query = QStringLiteral("query=presetposall");
    else if (action.compare(QLatin1String("GotoPreset"), Qt::CaseInsensitive) == 0)
        query = by_token.isEmpty() ? QStringLiteral("gotoserverpresetname=") + encoded(name)
                                   : QStringLiteral("gotoserverpresetno=") + encoded(by_token);
    else if (action.compare(QLatin1String("SetPreset"), Qt::CaseInsensitive) == 0)
        query = QStringLiteral("setserverpresetname=") + encoded(name)
            + (by_token.isEmpty() ? QString() : QStringLiteral("&setserverpresetno=") + encoded(by_token));
    else if (action.compare(QLatin1String("RemovePreset"), Qt::CaseInsensitive) == 0)
        query = by_token.isEmpty() ? QStringLiteral("removeserverpresetname=") + encoded(name)
                                   : QStringLiteral("removeserverpresetno=") + encoded(by_token);
    if (query.isEmpty()) {
        emit status_message(-1, action, QStringLiteral("AXIS unsupported preset action"), driver_name);
        return;
    }
    send_ptz(action, query);
}

void AxisPtz::flush()
{
    if (!held_stored || !probe_done || !answered)
        return;
    const HeldBack request = held;
    held_stored = false;
    if (verbose)
        write_log(QStringLiteral("[INFO] AXIS :: flushing pending PTZ request: ") + request.command);
    probe_over = true;
    if (request.command.startsWith(QLatin1String("PRESET:"), Qt::CaseInsensitive)) {
        const QString action = held_preset[0], token = held_preset[1], name = held_preset[2];
        held_preset[0].clear();
        held_preset[1].clear();
        held_preset[2].clear();
        send_preset(action, token, name);
    } else {
        send_command(request.command, request.flag, request.pan, request.tilt, request.zoom, request.width,
                     request.height, request.channel, request.w, request.h);
    }
}

bool AxisPtz::is_html_page(const QString& response)
{
    const QString trimmed = response.trimmed();
    return !trimmed.isEmpty()
        && (trimmed.startsWith(QLatin1String("<!DOCTYPE HTML"), Qt::CaseInsensitive)
            || trimmed.startsWith(QLatin1String("<html"), Qt::CaseInsensitive));
}

bool AxisPtz::is_unauthorized_page(const QString& response)
{
    static const char* const marks[] = {"401 Unauthorized", "<h1>Unauthorized</h1>", "wrong credentials",
                                        "credentials required", "not authorized"};
    for (const char* mark : marks)
        if (response.contains(QLatin1String(mark), Qt::CaseInsensitive))
            return true;
    return false;
}

QString AxisPtz::text_error(const QString& response, bool* found)
{
    *found = false;
    for (const QString& line : lines_of(response)) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1String("Error"), Qt::CaseInsensitive) || t.compare(QLatin1String("NG"), Qt::CaseInsensitive) == 0
            || t.startsWith(QLatin1String("NG:"), Qt::CaseInsensitive)) {
            *found = true;
            return t;
        }
    }
    return QString();
}

QJsonObject AxisPtz::optics_data(const QString& response, QString& fault)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(response.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        fault = QStringLiteral("Invalid JSON");
        return QJsonObject();
    }
    const QJsonObject root = doc.object();
    if (root.contains(QLatin1String("error"))) {
        const QJsonValue e = root.value(QLatin1String("error"));
        if (e.isObject()) {
            const QString message = e.toObject().value(QLatin1String("message")).toString();
            fault = message.isEmpty() ? QStringLiteral("Axis JSON error") : message;
            return QJsonObject();
        }
        if (!e.isNull()) {
            fault = QStringLiteral("Axis JSON error");
            return QJsonObject();
        }
    }
    const QJsonValue data = root.value(QLatin1String("data"));
    if (!data.isObject()) {
        fault = QStringLiteral("No data field");
        return QJsonObject();
    }
    return data.toObject();
}

QList<NativePTZInterface::PresetInfo> AxisPtz::parse_presets(const QString& response)
{
    static const QRegularExpression line_rx(QStringLiteral("^presetposno(\\d+)=(.*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QList<PresetInfo> presets;
    for (const QString& line : lines_of(response)) {
        const QRegularExpressionMatch m = line_rx.match(line.trimmed());
        if (m.hasMatch())
            presets.append(PresetInfo{m.captured(1).trimmed(), m.captured(2).trimmed(), QString()});
    }
    return presets;
}

void AxisPtz::on_request_finished_ex(int status, QString command, QString response)
{
    if (verbose)
        write_log(QStringLiteral("[INFO] AXIS :: handle_response :: status=") + QString::number(status)
                  + QStringLiteral(" cmd=") + command + QStringLiteral(" resp=") + response);
    const bool prefixed = command.startsWith(kProbePrefix, Qt::CaseInsensitive);
    const QString name = prefixed ? command.mid(kProbePrefix.size()) : command;
    const bool probe_answer = prefixed && probing;

    if (status < 0 && response.isEmpty()) {
        write_log(QStringLiteral("[ERROR] AXIS :: transport error for ") + name);
        emit status_message(-2, name, QStringLiteral("Transport error"), driver_name);
        return;
    }
    const bool html = is_html_page(response);
    if (html && !is_unauthorized_page(response)) {
        if (prefixed && name.compare(QLatin1String("OpticsGetCapabilities"), Qt::CaseInsensitive) == 0) {
            write_log(QStringLiteral("[WARN] AXIS :: opticscontrol probe returned HTML/404 -> fallback to ptz.cgi probe"));
            send_position_query();
            return;
        }
        write_log(QStringLiteral("[ERROR] AXIS :: HTML error response for ") + name);
        if (probe_answer && name == QLatin1String("PtzQueryPosition")) {
            // An error page from ptz.cgi ends the probe without it, as a failed query does.
            handle_probe_answer(-1, name, response);
            return;
        }
        emit status_message(-2, name, QStringLiteral("HTTP/HTML error response"), driver_name);
        flush();
        return;
    }
    if (html) {
        write_log(QStringLiteral("[ERROR] AXIS :: unauthorized HTML response for ") + name);
        emit status_message(-2, QStringLiteral("Auth"), QStringLiteral("401 Unauthorized"), driver_name);
        flush();
        return;
    }
    // An empty probe answer goes through the probe below, so that the probe ends and the
    // held-back request leaves.
    if (response.isEmpty() && !probe_answer) {
        if (status != 1)
            return;
        if (name.compare(QLatin1String("SetPreset"), Qt::CaseInsensitive) == 0) {
            emit status_message(1, QStringLiteral("SetPreset"), QStringLiteral("AXIS preset set OK"), driver_name);
            flush();
        } else if (name.compare(QLatin1String("RemovePreset"), Qt::CaseInsensitive) == 0) {
            emit status_message(1, QStringLiteral("RemovePreset"), QStringLiteral("AXIS preset remove OK"), driver_name);
            flush();
        } else {
            // ptz.cgi answers a move with an empty 204: the stop held back behind it must
            // still leave.
            flush();
        }
        return;
    }
    if (probe_answer) {
        handle_probe_answer(status, name, response);
        return;
    }
    if (status != 1) {
        flush();
        return;
    }
    if (name.startsWith(QLatin1String("Optics"), Qt::CaseInsensitive)) {
        const bool known = name == QLatin1String("OpticsGetCapabilities2") || name == QLatin1String("OpticsGetOptics")
            || name == QLatin1String("OpticsSetMagnification");
        if (known) {
            handle_optics_answer(name, response);
            return;
        }
    }
    handle_preset_answer(name, response);
}

void AxisPtz::handle_probe_answer(int status, const QString& name, const QString& response)
{
    if (name == QLatin1String("OpticsGetCapabilities")) {
        QString fault;
        if (status == 1) {
            optics_data(response, fault);
            if (fault.isEmpty()) {
                probe_done = true;
                probing = false;
                has_optics = true;
                write_log(QStringLiteral("[INFO] AXIS :: probe :: opticscontrol supported"));
                report_capabilities();
                send_optics(QStringLiteral("OpticsGetCapabilities2"), QStringLiteral("getCapabilities"));
                send_optics(QStringLiteral("OpticsGetOptics"), QStringLiteral("getOptics"));
                flush();
                return;
            }
        }
        send_position_query();
        return;
    }
    if (name == QLatin1String("PtzQueryPosition")) {
        probe_done = true;
        probing = false;
        if (status == 1) {
            if (!response.contains(QLatin1String("Error"), Qt::CaseInsensitive) && !response.contains(QLatin1String("404"))) {
                has_ptz = true;
                write_log(QStringLiteral("[INFO] AXIS :: probe :: ptz.cgi supported"));
            } else {
                write_log(QStringLiteral("[WARN] AXIS :: probe :: ptz.cgi returned error-like text"));
            }
        } else {
            write_log(QStringLiteral("[WARN] AXIS :: probe :: no opticscontrol / no ptz.cgi"));
        }
        report_capabilities();
        flush();
        return;
    }
    flush();
}

void AxisPtz::handle_optics_answer(const QString& name, const QString& response)
{
    QString fault;
    const QJsonObject data = optics_data(response, fault);
    if (!fault.isEmpty()) {
        write_log(QStringLiteral("[ERROR] AXIS OPTICS :: ") + name + QStringLiteral(" failed :: ") + fault);
        emit status_message(-2, name, QStringLiteral("AXIS optics failed: ") + fault, driver_name);
        flush();
        return;
    }
    const QJsonArray optics = data.value(QLatin1String("optics")).toArray();
    const QJsonObject first = optics.isEmpty() ? QJsonObject() : optics.first().toObject();
    if (name == QLatin1String("OpticsGetCapabilities2")) {
        if (first.contains(QLatin1String("maxMagnification"))) {
            maximum_magnification = first.value(QLatin1String("maxMagnification")).toDouble(0.0);
            zoom_capable = maximum_magnification > 1.0;
            write_log(QStringLiteral("[INFO] AXIS OPTICS :: maxMagnification=") + num(maximum_magnification));
        }
        report_capabilities();
        flush();
    } else if (name == QLatin1String("OpticsGetOptics")) {
        if (first.contains(QLatin1String("magnification"))) {
            double value = std::max(1.0, first.value(QLatin1String("magnification")).toDouble(0.0));
            if (maximum_magnification > 1.0)
                value = std::min(value, maximum_magnification);
            magnification = value;
            magnification_known = true;
            write_log(QStringLiteral("[INFO] AXIS OPTICS :: current magnification=") + num(magnification));
        }
        flush();
    } else {
        send_optics(QStringLiteral("OpticsGetOptics"), QStringLiteral("getOptics"));
    }
}

void AxisPtz::handle_preset_answer(const QString& name, const QString& response)
{
    bool error = false;
    const QString fault = text_error(response, &error);
    const auto report = [&](const QString& canonical, const QString& unable, const QString& ok) {
        if (error)
            emit status_message(-2, canonical, fault.isEmpty() ? unable : fault, driver_name);
        else
            emit status_message(1, canonical, ok, driver_name);
    };
    if (name.compare(QLatin1String("ListPresets"), Qt::CaseInsensitive) == 0) {
        if (error) {
            emit status_message(-2, QStringLiteral("ListPresets"),
                                fault.isEmpty() ? QStringLiteral("Unable to list presets") : fault, driver_name);
        } else {
            const QList<PresetInfo> presets = parse_presets(response);
            emit presetsListed(presets, QString());
            emit status_message(1, QStringLiteral("ListPresets"),
                                QStringLiteral("AXIS presets listed (%1)").arg(presets.size()), driver_name);
        }
    } else if (name.compare(QLatin1String("GotoPreset"), Qt::CaseInsensitive) == 0) {
        report(QStringLiteral("GotoPreset"), QStringLiteral("Unable to go to preset"), QStringLiteral("AXIS preset goto OK"));
    } else if (name.compare(QLatin1String("SetPreset"), Qt::CaseInsensitive) == 0) {
        report(QStringLiteral("SetPreset"), QStringLiteral("Unable to set preset"), QStringLiteral("AXIS preset set OK"));
    } else if (name.compare(QLatin1String("RemovePreset"), Qt::CaseInsensitive) == 0) {
        report(QStringLiteral("RemovePreset"), QStringLiteral("Unable to remove preset"), QStringLiteral("AXIS preset remove OK"));
    }
    flush();
}
