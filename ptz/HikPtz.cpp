#include "ptz/HikPtz.h"

#include "app/Log.h"
#include "ptz/CurlRequestWorker.h"

#include <QThread>
#include <QXmlStreamReader>

#include <cmath>

namespace {

QString int_text(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(qint64(std::clamp(v, -1e9, 1e9)));
}

// A frame coordinate on ISAPI's 0..255 scale.
QString scaled(double v, int size)
{
    if (size <= 0 || !std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(qint64(std::clamp(v * 255.0 / size, 0.0, 255.0)));
}

constexpr int kMaxElements = 20000;

} // namespace

HikPtz::HikPtz(QString scheme_, QString host_, QString port_, QString username_, QString password_,
               QString channel_, bool verbose_, QObject* parent)
    : NativePTZInterface(std::move(scheme_), std::move(host_), std::move(port_), std::move(username_),
                         std::move(password_), std::move(channel_), QStringLiteral("hik"), verbose_, parent)
{
    ready = true;
    ptz_enabled = true;
    request_thread = new QThread(this);
    request_thread->setObjectName(QStringLiteral("hik-ptz"));
    request_thread->start();
}

HikPtz::~HikPtz()
{
    waiting.reset();
    if (running) {
        disconnect(running.data(), nullptr, this, nullptr);
        running->requestCancel();
    }
    request_thread->quit();
    request_thread->wait();
}

void HikPtz::security_stop()
{
    write_log(QStringLiteral("[INFO] HIK PTZ :: security stop"));
    send_command(QStringLiteral("ContinuousMove"), false, 0.0f, 0.0f, 0.0f, -1, -1, 0, -1, -1);
}

QString HikPtz::get_capabilities()
{
    return QStringLiteral("HIK ISAPI PTZCtrl");
}

QString HikPtz::isapi(int camera, const QString& tail) const
{
    if (camera <= 0)
        camera = std::max(1, channel_number());
    return base_url() + QStringLiteral("/ISAPI/PTZCtrl/channels/") + QString::number(camera) + tail;
}

void HikPtz::send_command(QString command, bool, float pan, float tilt, float zoom, int width, int height,
                          int camera, int w, int h)
{
    const bool stop = command == QLatin1String("STOP") || command == QLatin1String("STOP_PanTilt_ContinuousMove");
    if (stop || command == QLatin1String("ContinuousMove") || command == QLatin1String("PanTilt_ContinuousMove")) {
        const QString body = stop ? QStringLiteral("<PTZData><pan>0</pan><tilt>0</tilt><zoom>0</zoom></PTZData>")
                                  : QStringLiteral("<PTZData><pan>%1</pan><tilt>%2</tilt><zoom>%3</zoom></PTZData>")
                                        .arg(int_text(pan), int_text(tilt), int_text(zoom));
        submit({command, QStringLiteral("PUT"), isapi(camera, QStringLiteral("/continuous")), body.toUtf8()});
        return;
    }
    if (command == QLatin1String("clic") || command == QLatin1String("area")) {
        // The display gives the centre of an area and its size.
        const double half_w = command == QLatin1String("area") ? w / 2.0 : 0.0;
        const double half_h = command == QLatin1String("area") ? h / 2.0 : 0.0;
        const QString body = QStringLiteral("<position3D><StartPoint><positionX>%1</positionX><positionY>%2</positionY></StartPoint>"
                                            "<EndPoint><positionX>%3</positionX><positionY>%4</positionY></EndPoint></position3D>")
                                 .arg(scaled(pan - half_w, width), scaled(tilt - half_h, height), scaled(pan + half_w, width),
                                      scaled(tilt + half_h, height));
        submit({command, QStringLiteral("PUT"), isapi(camera, QStringLiteral("/position3D")), body.toUtf8()});
        return;
    }
    emit NativePTZInterface::status_message(-1, command, QStringLiteral("HIK unsupported command"), driver_name);
}

void HikPtz::send_preset(QString action, QString token, QString)
{
    bool numeric = false;
    const int id = token.trimmed().toInt(&numeric);
    if (action == QLatin1String("GotoPreset") && numeric && id > 0) {
        submit({action, QStringLiteral("PUT"), isapi(0, QStringLiteral("/presets/%1/goto").arg(id)),
                QStringLiteral("<PTZPreset><id>%1</id></PTZPreset>").arg(id).toUtf8()});
    } else if (action == QLatin1String("ListPresets")) {
        submit({action, QStringLiteral("GET"), isapi(0, QStringLiteral("/presets")), QByteArray()});
    } else {
        emit NativePTZInterface::status_message(-1, action, QStringLiteral("HIK unsupported preset action"), driver_name);
    }
}

void HikPtz::submit(const Request& request)
{
    if (running) {
        waiting = request;
        return;
    }
    start(request);
}

void HikPtz::start(const Request& request)
{
    auto* worker = new CurlRequestWorker(request.url, username, password, request.body, true);
    worker->moveToThread(request_thread);
    connect(request_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &CurlRequestWorker::result, this, &HikPtz::on_result, Qt::QueuedConnection);
    connect(worker, &CurlRequestWorker::error, this, &HikPtz::on_error, Qt::QueuedConnection);
    running = worker;
    running_command = request.command;
    running_error.clear();
    answered = false;
    if (verbose)
        write_log(QStringLiteral("[INFO] HIK PTZ :: ") + request.method + QStringLiteral(" :: ") + request.url);
    QMetaObject::invokeMethod(worker, request.method == QLatin1String("PUT") ? "run_put_request" : "run_get_request",
                              Qt::QueuedConnection);
}

void HikPtz::on_error(QString message)
{
    if (sender() != running)
        return;
    running_error = message;
}

void HikPtz::on_result(QString response, int httpStatus, int curlCode)
{
    if (sender() != running)
        return;
    running->deleteLater();
    running = nullptr;
    int status = 1;
    QString fault;
    if (curlCode != 0 || httpStatus >= 400) {
        status = -2;
        fault = running_error;
    } else {
        status = parse_response(running_command, response, fault);
    }
    complete(status, response, fault);
    if (waiting) {
        const Request next = *waiting;
        waiting.reset();
        start(next);
    }
}

void HikPtz::complete(int status, const QString& response, const QString& fault)
{
    answered = true;
    const QString command = running_command;
    emit send_request_finished(status);
    emit send_request_finished_ex(status, command, response);
    if (status < 0) {
        emit NativePTZInterface::status_message(status, command, fault, driver_name);
    } else if (command == QLatin1String("ListPresets")) {
        bool ok = false;
        const QList<PresetInfo> presets = parse_presets(response, &ok);
        emit presetsListed(presets);
    }
}

int HikPtz::parse_response(QString command, QString response, QString& fault)
{
    if (response.trimmed().isEmpty())
        return 1;
    if (command == QLatin1String("ListPresets")) {
        bool ok = false;
        parse_presets(response, &ok);
        if (!ok) {
            fault = QStringLiteral("Invalid XML");
            return -1;
        }
        return 1;
    }
    // An ISAPI "ResponseStatus": statusCode 1 is success.
    QXmlStreamReader xml(response);
    QString code, sub, text;
    int elements = 0;
    while (!xml.atEnd() && ++elements < kMaxElements) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("statusCode"))
            code = xml.readElementText().trimmed();
        else if (name == QLatin1String("subStatusCode"))
            sub = xml.readElementText().trimmed();
        else if (name == QLatin1String("statusString"))
            text = xml.readElementText().trimmed();
    }
    if (xml.hasError() || elements >= kMaxElements) {
        fault = QStringLiteral("Invalid XML");
        return -1;
    }
    if (!code.isEmpty() && code != QLatin1String("1")) {
        fault = (!sub.isEmpty() ? sub : !text.isEmpty() ? text : QStringLiteral("statusCode ") + code).left(200);
        return -1;
    }
    return 1;
}

QList<NativePTZInterface::PresetInfo> HikPtz::parse_presets(const QString& text, bool* ok)
{
    QList<PresetInfo> presets;
    QXmlStreamReader xml(text);
    PresetInfo current;
    bool inside = false;
    int elements = 0;
    while (!xml.atEnd() && ++elements < kMaxElements) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const auto name = xml.name();
            if (name == QLatin1String("PTZPreset")) {
                inside = true;
                current = PresetInfo();
            } else if (inside && name == QLatin1String("id")) {
                current.token = xml.readElementText().trimmed().left(64);
            } else if (inside && name == QLatin1String("presetName")) {
                current.name = xml.readElementText().trimmed().left(256);
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("PTZPreset")) {
            inside = false;
            if (!current.token.isEmpty())
                presets.append(current);
        }
    }
    *ok = !xml.hasError() && elements < kMaxElements;
    if (!*ok)
        presets.clear();
    return presets;
}
