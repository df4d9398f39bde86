#include "ptz/NativePTZInterface.h"

#include "app/Log.h"
#include "ptz/PtzJobWorker.h"

#include <QThread>

namespace {

void register_types()
{
    qRegisterMetaType<PtzHeaders>("PtzHeaders");
    qRegisterMetaType<NativePTZInterface::PresetInfo>("NativePTZInterface::PresetInfo");
    qRegisterMetaType<QList<NativePTZInterface::PresetInfo>>("QList<NativePTZInterface::PresetInfo>");
}

} // namespace

NativePTZInterface::NativePTZInterface(QObject* parent)
    : QObject(parent)
{
    register_types();
}

NativePTZInterface::NativePTZInterface(QString scheme_, QString host_, QString port_, QString username_,
                                       QString password_, QString channel_, QString driver_name_,
                                       bool verbose_, QObject* parent)
    : QObject(parent)
    , driver_name(std::move(driver_name_))
    , scheme(std::move(scheme_))
    , host(std::move(host_))
    , port(std::move(port_))
    , username(std::move(username_))
    , password(std::move(password_))
    , channel(std::move(channel_))
    , verbose(verbose_)
{
    register_types();
}

NativePTZInterface::~NativePTZInterface()
{
    if (!worker_thread)
        return;
    // A camera that stalls must not keep the thread alive: abort the transfer first, then
    // let the event loop end and wait for it. The worker is deleted as the thread finishes.
    disconnect(worker_thread, nullptr, this, nullptr);
    if (worker)
        worker->shutdown();
    worker_thread->quit();
    worker_thread->wait();
    if (worker)
        delete worker.data();
    delete worker_thread;
    worker_thread = nullptr;
}

void NativePTZInterface::send_command(QString, bool, float, float, float, int, int, int, int, int)
{
}

void NativePTZInterface::send_preset(QString, QString, QString)
{
}

QString NativePTZInterface::get_capabilities()
{
    return QString();
}

bool NativePTZInterface::handles_responses()
{
    return false;
}

int NativePTZInterface::parse_response(QString, QString, QString&)
{
    return 1;
}

bool NativePTZInterface::is_probe_command(const QString& command)
{
    return command.startsWith(QLatin1String("Probe"), Qt::CaseInsensitive);
}

int NativePTZInterface::channel_number() const
{
    bool ok = false;
    const int value = channel.trimmed().toInt(&ok);
    return ok ? value : 0;
}

QString NativePTZInterface::base_url() const
{
    return scheme + QStringLiteral("://") + host + QLatin1Char(':') + port;
}

void NativePTZInterface::prepare_worker()
{
    if (worker_thread && worker)
        return;
    worker_thread = new QThread(this);
    worker_thread->setObjectName(QStringLiteral("ptz-job-worker"));
    auto* w = new PtzJobWorker();
    w->set_verbose(verbose);
    w->moveToThread(worker_thread);
    worker = w;
    connect(w, &PtzJobWorker::jobFinished, this, &NativePTZInterface::on_job_finished, Qt::QueuedConnection);
    connect(w, &PtzJobWorker::jobError, this, &NativePTZInterface::on_job_error, Qt::QueuedConnection);
    connect(worker_thread, &QThread::finished, w, &QObject::deleteLater);
    connect(worker_thread, &QThread::finished, this, &NativePTZInterface::on_thread_finished);
    worker_thread->start(QThread::InheritPriority);
}

void NativePTZInterface::on_thread_finished()
{
    auto* finished_thread = qobject_cast<QThread*>(sender());
    if (!finished_thread)
        return;
    finished_thread->deleteLater();
    if (finished_thread == worker_thread) {
        worker = nullptr;
        worker_thread = nullptr;
    }
}

void NativePTZInterface::send_job(int type, const QString& url, const QByteArray& body, const QString& contentType,
                                  const PtzHeaders& headers)
{
    prepare_worker();
    answered = false;
    QMetaObject::invokeMethod(worker.data(), "enqueueJob", Qt::QueuedConnection, Q_ARG(int, type),
                              Q_ARG(QString, url), Q_ARG(QByteArray, body), Q_ARG(QString, username),
                              Q_ARG(QString, password), Q_ARG(QString, QString(current_command)),
                              Q_ARG(QString, contentType), Q_ARG(PtzHeaders, headers));
}

void NativePTZInterface::send_get(QString url)
{
    send_job(0, url, QByteArray(), QString(), PtzHeaders());
}

void NativePTZInterface::send_post(QString url, QByteArray body, QString contentType, PtzHeaders headers)
{
    send_job(2, url, body, contentType, headers);
}

void NativePTZInterface::on_job_finished(QString command, QString response)
{
    if (verbose)
        write_log(QStringLiteral("[INFO] Native PTZ interface :: response :: ") + response);
    answered = true;
    int status = 1;
    QString fault;
    const bool parses = handles_responses();
    if (parses)
        status = parse_response(command, response, fault);
    emit send_request_finished(status);
    emit send_request_finished_ex(status, command, response);
    if (parses && status < 0 && !is_probe_command(command))
        emit status_message(status, command, fault, driver_name);
}

void NativePTZInterface::on_job_error(QString command, QString message)
{
    const bool probe = is_probe_command(command);
    if (probe)
        write_log(QStringLiteral("[INFO] Native PTZ interface :: probe failed :: ") + message);
    else
        write_log(QStringLiteral("[ERROR] Native PTZ interface :: error :: ") + message);
    answered = true;
    emit send_request_finished(-1);
    emit send_request_finished_ex(-1, command, message);
    if (!probe)
        emit status_message(-2, command, message, driver_name);
}
