#pragma once

// Built only into the test copy of the program (ZR_STARTUP_PROBE). The start-up test writes
// "startup-probe.json" into the program's working folder:
//   {"appsUrl": "...", "answer": "yes"|"no", "savePath": "...", "handOverFile": "...",
//    "settleMs": 1500}
// The probe points the updater at that server, answers its question and save dialog, records
// the desktop hand-over in handOverFile instead of opening the package, and once the window is
// up writes "startup-window.json" and "startup-window.png" there and closes the window.

#include "support/DownloadBinary.h"
#include "support/UpdateInteraction.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>

namespace zrprobe {

inline QJsonObject settings()
{
    QFile file(QDir::current().filePath(QStringLiteral("startup-probe.json")));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

class Answers : public UpdateInteraction
{
public:
    bool yes = false;
    QString savePath;
    int ask_question(QMessageBox&) override { return yes ? QMessageBox::Yes : QMessageBox::No; }
    QString ask_save_path(QWidget*, const QString&, const QString&, const QString&) override { return savePath; }
};

class HandOver : public QObject
{
    Q_OBJECT
public:
    QString record;
public slots:
    void open(const QUrl& url)
    {
        QFile file(record);
        if (file.open(QIODevice::Append))
            file.write(url.toLocalFile().toUtf8() + '\n');
    }
};

inline void configure_updater(DownloadBinary& updater)
{
    const QJsonObject s = settings();
    static Answers answers;
    answers.yes = s.value(QStringLiteral("answer")).toString() == QLatin1String("yes");
    answers.savePath = s.value(QStringLiteral("savePath")).toString();
    updater.set_interaction(&answers);
    updater.set_timeouts(5000, 5000);
    // Without a server the check must fail at once, never reach the real one.
    updater.set_apps_url(s.value(QStringLiteral("appsUrl")).toString(QStringLiteral("http://127.0.0.1:1/zrapps/")));
    static HandOver handOver;
    handOver.record = s.value(QStringLiteral("handOverFile")).toString();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &handOver, "open");
}

inline void watch_window(QWidget* window)
{
    const int settleMs = settings().value(QStringLiteral("settleMs")).toInt(1500);
    auto* poll = new QTimer(window);
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll, settleMs] {
        if (!window->isVisible() || !window->windowHandle() || !window->windowHandle()->isExposed())
            return;
        poll->stop();
        poll->deleteLater();
        QTimer::singleShot(settleMs, window, [window] {
            QJsonObject facts;
            facts.insert(QStringLiteral("title"), window->windowTitle());
            facts.insert(QStringLiteral("minimumWidth"), window->minimumWidth());
            facts.insert(QStringLiteral("minimumHeight"), window->minimumHeight());
            facts.insert(QStringLiteral("width"), window->width());
            facts.insert(QStringLiteral("height"), window->height());
            facts.insert(QStringLiteral("maximized"), window->windowState().testFlag(Qt::WindowMaximized));
            facts.insert(QStringLiteral("className"), QString::fromLatin1(window->metaObject()->className()));
            window->grab().save(QDir::current().filePath(QStringLiteral("startup-window.png")));
            // Shrinking below the minimum must not work.
            window->resize(800, 600);
            facts.insert(QStringLiteral("widthAfterShrink"), window->width());
            facts.insert(QStringLiteral("heightAfterShrink"), window->height());
            QFile out(QDir::current().filePath(QStringLiteral("startup-window.json")));
            if (out.open(QIODevice::WriteOnly))
                out.write(QJsonDocument(facts).toJson());
            out.close();
            // The last window closing ends the event loop.
            window->close();
        });
    });
    poll->start();
}

} // namespace zrprobe
