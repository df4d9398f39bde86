#include "ptz/PtzCtrlWeb.h"

#include "app/Http_singleton.h"
#include "app/Log.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {
// Coordinates are truncated toward zero before they are written.
QString coord(double v)
{
    return QString::number(static_cast<int>(v));
}
} // namespace

PtzCtrlWeb::PtzCtrlWeb()
    : QObject(nullptr)
{
    manager = new QNetworkAccessManager();
    connect(manager, &QNetworkAccessManager::finished, this, &PtzCtrlWeb::request_finished);
    security_timer = new QTimer();
    security_timer->setSingleShot(true);
    connect(security_timer, &QTimer::timeout, this, &PtzCtrlWeb::security_stop);
}

PtzCtrlWeb::~PtzCtrlWeb()
{
    if (security_timer) {
        security_timer->stop();
        security_timer->deleteLater();
    }
    if (manager) {
        // Our slot must not run once we are gone; the manager finishes on its own.
        disconnect(manager, nullptr, this, nullptr);
        manager->deleteLater();
    }
}

QString PtzCtrlWeb::build_url(const QString& base, const QString& query, int width, int height,
                              const QString& session)
{
    return base + query + QStringLiteral("&resolution=") + QString::number(width) + QStringLiteral("x")
        + QString::number(height) + QStringLiteral("&PHPSESSID=") + session;
}

void PtzCtrlWeb::send(const QString& urlText)
{
    QNetworkRequest request(QUrl(urlText, QUrl::TolerantMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Connection", "keep-alive");
    request.setRawHeader("User-Agent",
                         Http_singleton::instance()->build_access_header(QString(), false).toLatin1());
    QNetworkReply* reply = manager->get(request);
    current_reply = reply;
    reply->ignoreSslErrors();
    idle = false;
}

void PtzCtrlWeb::area(QString url, QRect rect, int width, int height, QString session)
{
    if (!idle) {
        write_log("[WARN] PTZ Ctrl Web :: previous request not finished");
        return;
    }
    const QString query = QStringLiteral("&area=") + QString::number(rect.x()) + QLatin1Char(',')
        + QString::number(rect.y()) + QLatin1Char(',') + QString::number(rect.width()) + QLatin1Char(',')
        + QString::number(rect.height());
    send(build_url(url, query, width, height, session));
}

void PtzCtrlWeb::clic(QString url, double x, double y, int width, int height, QString session)
{
    if (!idle) {
        write_log("[WARN] PTZ Ctrl Web :: clic :: previous request not finished");
        return;
    }
    send(build_url(url, QStringLiteral("&clic=") + coord(x) + QLatin1Char(',') + coord(y), width, height, session));
}

int PtzCtrlWeb::postContinuous(QString url, bool hold, double x, double y, int width, int height, QString session)
{
    if (!idle) {
        // A stop refused behind a pending hold is retried once the hold has had time to finish.
        if (x == 0.0 && y == 0.0 && current_reply
            && current_reply->url().toString().contains(QStringLiteral("holdclic"))
            && !security_timer->isActive())
            security_timer->start(500);
        return -1;
    }
    const QString query = (hold ? QStringLiteral("&holdclic=") : QStringLiteral("&releaseclic=")) + coord(x)
        + QLatin1Char(',') + coord(y);
    const QString full = build_url(url, query, width, height, session);
    write_log(QStringLiteral("[INFO] PTZ Ctrl Web :: post continuous :: ") + full);
    send(full);
    return 1;
}

void PtzCtrlWeb::zoom(QString url, QString first, QString second, int width, int height, QString session)
{
    if (!idle) {
        write_log("[WARN] PTZ Ctrl Web :: previous request not finished");
        return;
    }
    send(build_url(url, QStringLiteral("&zoom=") + first + QLatin1Char(',') + second, width, height, session));
}

void PtzCtrlWeb::postRightClic(QString url, int width, int height, QString session)
{
    if (!idle) {
        write_log("[WARN] PTZ Ctrl Web :: previous request not finished");
        return;
    }
    send(build_url(url, QStringLiteral("&rightclic=1"), width, height, session));
}

void PtzCtrlWeb::request_finished(QNetworkReply* reply)
{
    // The status and body are not used; a failure frees the controller like a success.
    if (reply)
        reply->deleteLater();
    if (reply == current_reply)
        current_reply = nullptr;
    idle = true;
    emit send_request_finished(1);
}
