#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QThread;

// Rebuilds the day indexes of an export folder, or of one day folder: one worker thread with
// one ZRIndexManager per day, at most QThread::idealThreadCount() at a time, the rest queued.
// Lives in, and is started from, a thread with an event loop (the managers report queued).
class ZRIndexController : public QObject
{
    Q_OBJECT
public:
    explicit ZRIndexController(QObject* parent = nullptr);
    ~ZRIndexController() override;

    void start(const QString& path);

    bool isRunning() const { return m_running; }

signals:
    void allFinished();
    void errorOccurred(QString message);

private slots:
    void onManagerFinished();

protected:
    // The worker thread of one day; a plain QThread, child of the controller.
    virtual QThread* createWorkerThread(const QString& dayName);

private:
    void launch(const QString& dayPath);
    void launchQueued();

    int m_total = 0;
    int m_finished = 0;
    bool m_running = false;
    int m_active = 0;
    QStringList m_queue;
};
