#include "display/DisplayInterface.h"

#include "app/Log.h"
#include "display/new_display_thread.h"
#include "ptz/NativePTZInterface.h"

#include <QBuffer>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <chrono>

DisplayInterface::DisplayInterface() = default;

DisplayInterface::~DisplayInterface() = default;

qint64 DisplayInterface::now_ticks()
{
    using namespace std::chrono;
    return duration_cast<duration<qint64, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch()).count();
}

void DisplayInterface::set_text_size(const QString& size)
{
    if (size == QLatin1String("tiny"))
        text_size = 8;
    else if (size == QLatin1String("small"))
        text_size = 12;
    else if (size == QLatin1String("normal"))
        text_size = 16;
    else if (size == QLatin1String("large"))
        text_size = 20;
}

QString DisplayInterface::bandwidth_text(double bytes_per_second)
{
    double value = bytes_per_second * 8.0;
    QString unit = QStringLiteral("b");
    if (value >= 1048576.0) {
        value /= 1048576.0;
        unit = QStringLiteral("Mb");
    } else if (value >= 1024.0) {
        value /= 1024.0;
        unit = QStringLiteral("kb");
    }
    // Four digits just above 1000 so that 1010 kb is not written in exponent form.
    const int precision = (value > 1000.0 && value < 1024.0) ? 4 : 3;
    return QStringLiteral("%1 %2").arg(QString::number(value, 'g', precision), unit);
}

void DisplayInterface::uploadImage_multipart(QImage image, QHash<QString, QString> fields, QString upload_url,
                                             QString session_id)
{
    write_log(QStringLiteral("[INFO] Plugin :: uploadImage_multipart :: upload_url ") + upload_url);
    write_log(QStringLiteral("[INFO] Plugin :: uploadImage_multipart :: session id ") + session_id);

    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPG")) {
            write_log("[ERROR] Plugin :: Failed to convert to JPEG");
            return;
        }
    }

    if (!upload_manager)
        upload_manager = std::make_unique<QNetworkAccessManager>();

    QNetworkRequest request(QUrl(upload_url, QUrl::TolerantMode));
    // The session travels as a request cookie.
    request.setRawHeader("Cookie", QByteArray("PHPSESSID=") + session_id.toUtf8());

    auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart imagePart;
    imagePart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("image/jpg"));
    imagePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                        QStringLiteral("form-data; name=\"image\"; filename=\"test.jpg\";"));
    imagePart.setBody(jpeg);
    multi->append(imagePart);

    fields.insert(QStringLiteral("PHPSESSID"), session_id);
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        write_log(QStringLiteral("[INFO] Plugin :: headers value ") + it.key() + QStringLiteral(" - ") + it.value());
        QHttpPart textPart;
        textPart.setHeader(QNetworkRequest::ContentDispositionHeader,
                           QStringLiteral("form-data; name=\"") + it.key() + QLatin1Char('"'));
        textPart.setBody(it.value().toLatin1());
        multi->append(textPart);
    }

    QNetworkReply* reply = upload_manager->post(request, multi);
    reply->ignoreSslErrors();
    multi->setParent(reply);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply]() {
        if (reply->error() != QNetworkReply::NoError)
            write_log(QStringLiteral("[ERROR] Plugin :: uploadImage_multipart :: ") + reply->errorString());
        reply->deleteLater();
    });
}
