#pragma once

#include "store/SnapshotResult.h"

#include <QObject>

#include <atomic>

// Cancel flag and progress signals for running a snapshot in the background. Holds no
// snapshot of its own; its destruction cancels whatever reads its flag.
class SnapshotAsyncCancelable : public QObject
{
    Q_OBJECT
public:
    explicit SnapshotAsyncCancelable(QObject* parent = nullptr);
    ~SnapshotAsyncCancelable() override;

    const std::atomic<bool>* cancelFlag() const { return &m_cancel; }
    void cancel() { m_cancel.store(true); }

signals:
    void progress(QString path, int done, int total);
    void finished(SnapshotResult r);

private:
    std::atomic<bool> m_cancel{false};
};
