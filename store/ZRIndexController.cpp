#include "store/ZRIndexController.h"

#include "app/Log.h"
#include "store/StoreLayout.h"
#include "store/ZRIndexManager.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

ZRIndexController::ZRIndexController(QObject* parent)
    : QObject(parent)
{
}

ZRIndexController::~ZRIndexController()
{
    write_log("[INFO] ZRIndex Controller:: destroy");
    // Worker threads are our children: let each finish its day before they are deleted.
    m_queue.clear();
    const QList<QThread*> threads = findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (QThread* thread : threads) {
        thread->quit();
        thread->wait();
    }
}

QThread* ZRIndexController::createWorkerThread(const QString& dayName)
{
    Q_UNUSED(dayName);
    return new QThread(this);
}

void ZRIndexController::start(const QString& path)
{
    if (m_running) {
        write_log("[WARNING] ZRIndex Controller :: Une indexation est déjà en cours. Ignoré.");
        return;
    }
    const QFileInfo info(path);
    if (!info.exists()) {
        write_log(QStringLiteral("[ERROR] ZRIndex Controller :: Le chemin n'existe pas : ") + path);
        return;
    }

    // A day folder given with a trailing "/" is still that day.
    QStringList days;
    if (info.isDir()) {
        const QString folder = normalizePath(info.absoluteFilePath());
        if (isValidDayName(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1))) {
            days.append(folder);
        } else {
            for (const QFileInfo& sub : sortedEntries(folder, QDir::Dirs))
                if (isValidDayName(sub.fileName()))
                    days.append(normalizePath(sub.absoluteFilePath()));
        }
    }

    m_total = int(days.size());
    m_finished = 0;
    m_active = 0;
    m_running = true;
    m_queue = days;
    if (m_total == 0) {
        m_running = false;
        emit allFinished();
        return;
    }
    launchQueued();
}

void ZRIndexController::launchQueued()
{
    const int limit = qMax(1, QThread::idealThreadCount());
    while (m_active < limit && !m_queue.isEmpty())
        launch(m_queue.takeFirst());
}

void ZRIndexController::launch(const QString& dayPath)
{
    write_log(QStringLiteral("[INFO] ZRIndex Controller :: background generation :: day :: ") + dayPath);
    const QString dayName = dayPath.mid(dayPath.lastIndexOf(QLatin1Char('/')) + 1);

    QThread* thread = createWorkerThread(dayName);
    thread->setObjectName(QStringLiteral("ZRIndexWorker_") + dayName);
    auto* manager = new ZRIndexManager();
    manager->moveToThread(thread);
    ++m_active;

    connect(thread, &QThread::started, manager, [manager, dayPath]() { manager->background_generation(dayPath); });
    connect(manager, &ZRIndexManager::errorOccurred, this, &ZRIndexController::errorOccurred, Qt::QueuedConnection);
    connect(manager, &ZRIndexManager::finished, this, &ZRIndexController::onManagerFinished, Qt::QueuedConnection);
    connect(manager, &ZRIndexManager::finished, thread, &QThread::quit);
    connect(manager, &ZRIndexManager::finished, manager, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);

    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // The thread could not be created: the day counts as finished so the run can end.
        write_log(QStringLiteral("[ERROR] ZRIndex Controller :: cannot start worker for :: ") + dayPath);
        delete manager;
        delete thread;
        QMetaObject::invokeMethod(this, &ZRIndexController::onManagerFinished, Qt::QueuedConnection);
    }
}

void ZRIndexController::onManagerFinished()
{
    ++m_finished;
    --m_active;
    write_log(QStringLiteral("[INFO] ZRIndex Controller :: manager finished :: ") + QString::number(m_finished)
              + QStringLiteral(" / ") + QString::number(m_total));
    if (m_finished >= m_total) {
        m_running = false;
        emit allFinished();
        return;
    }
    launchQueued();
}
