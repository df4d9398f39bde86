#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class IntegrityCheck;
class IntegrityDialog;
class QWidget;

// One integrity check at a time with the dialog that follows it. A check let go of while its
// thread runs is asked to stop and deleted only once that thread has ended; the destructor
// stops and waits for every check still running, so no thread outlives its owner.
class IntegrityRun : public QObject
{
    Q_OBJECT

public:
    explicit IntegrityRun(QObject* parent = nullptr);
    ~IntegrityRun() override;

    // The dialog on show and the check it follows, null when none.
    IntegrityDialog* dialog() const;
    IntegrityCheck* check() const { return current_check; }

    // Checks folder in a new thread, followed by a new dialog showing root and date.
    void start(const QString& folder, const QString& root, const QString& date, QWidget* dialog_parent);
    // The dialog has finished: it goes, and so does its check.
    void end();
    // Lets go of the current check: at once when its thread has ended, else asked to stop and
    // deleted once it has finished. A dialog destroyed without finishing leaves one behind.
    void release_check();

signals:
    // The dialog on show has finished (closed, stopped or answered).
    void dialog_finished();

private:
    QPointer<IntegrityDialog> current_dialog;
    IntegrityCheck* current_check = nullptr;
    // Checks let go of while still running.
    QList<QPointer<IntegrityCheck>> released_checks;
};
