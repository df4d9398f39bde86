#include "support/UpdateInteraction.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>

UpdateInteraction::~UpdateInteraction() = default;

int UpdateInteraction::ask_question(QMessageBox& box)
{
    return box.exec();
}

QString UpdateInteraction::ask_save_path(QWidget* parent, const QString& caption, const QString& proposedPath,
                                         const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, proposedPath, filter);
}

void UpdateInteraction::show_progress(QProgressDialog& dialog)
{
    dialog.show();
}
