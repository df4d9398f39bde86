#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Pan-tilt-zoom through a camera's web control page: one HTTP GET at a time, gestures
// that come while a request is pending are dropped (the stop of a continuous move is
// retried through security_stop()).
class PtzCtrlWeb : public QObject
{
    Q_OBJECT
public:
    PtzCtrlWeb();
    ~PtzCtrlWeb() override;

    void area(QString url, QRect rect, int width, int height, QString session);
    void clic(QString url, double x, double y, int width, int height, QString session);
    // 1 when sent, -1 when a request is pending.
    int postContinuous(QString url, bool hold, double x, double y, int width, int height, QString session);
    void zoom(QString url, QString first, QString second, int width, int height, QString session);
    void postRightClic(QString url, int width, int height, QString session);

    bool is_idle() const { return idle; }

    // The full request text: base, query, then resolution and session.
    static QString build_url(const QString& base, const QString& query, int width, int height,
                             const QString& session);

signals:
    void security_stop();
    void send_request_finished(int code);

private slots:
    void request_finished(QNetworkReply* reply);

private:
    void send(const QString& urlText);

    QNetworkAccessManager* manager = nullptr;
    // Only the pending reply is ever read; finished ones are released.
    QPointer<QNetworkReply> current_reply;
    bool idle = true;
    QTimer* security_timer = nullptr;
};
