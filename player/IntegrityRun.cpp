#include "player/IntegrityRun.h"

#include "player/IntegrityDialog.h"
#include "store/IntegrityCheck.h"

IntegrityRun::IntegrityRun(QObject* parent)
    : QObject(parent)
{
}

IntegrityRun::~IntegrityRun()
{
    // The owner is going: its slot must not hear of a dialog closed from here.
    if (current_dialog)
        disconnect(current_dialog, nullptr, this, nullptr);
    if (current_check) {
        released_checks.append(current_check);
        current_check = nullptr;
    }
    for (const QPointer<IntegrityCheck>& check : std::as_const(released_checks)) {
        if (!check)
            continue;
        if (check->isRunning())
            check->user_stop();
        check->wait();
        delete check.data();
    }
    released_checks.clear();
    // The open dialog would show a check that no longer exists.
    if (current_dialog) {
        current_dialog->close();
        current_dialog->deleteLater();
    }
}

IntegrityDialog* IntegrityRun::dialog() const
{
    return current_dialog.data();
}

void IntegrityRun::start(const QString& folder, const QString& root, const QString& date, QWidget* dialog_parent)
{
    release_check();
    current_check = new IntegrityCheck(folder);
    current_dialog = new IntegrityDialog(root, date, dialog_parent);
    current_dialog->follow(current_check);
    connect(current_dialog, &QDialog::finished, this, &IntegrityRun::dialog_finished);
    current_dialog->show();
    current_check->start(QThread::InheritPriority);
}

void IntegrityRun::end()
{
    if (current_dialog)
        current_dialog->deleteLater();
    current_dialog = nullptr;
    release_check();
}

void IntegrityRun::release_check()
{
    IntegrityCheck* check = current_check;
    current_check = nullptr;
    if (!check)
        return;
    // Connected before looking: a thread ending in between still deletes its object, and a
    // second deleteLater is harmless.
    connect(check, &QThread::finished, check, &QObject::deleteLater);
    if (check->isRunning()) {
        check->user_stop();
        released_checks.removeIf([](const QPointer<IntegrityCheck>& c) { return c.isNull(); });
        released_checks.append(check);
    } else {
        check->deleteLater();
    }
}
