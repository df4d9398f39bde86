#include "player/ZRFolderDialogController.h"

#include "player/ZRFolderDialog.h"

ZRFolderDialogController::ZRFolderDialogController(QObject* parent) : QObject(parent) {}

QString ZRFolderDialogController::openFolderDialog()
{
    return ZRFolderDialog::selectFolderFromDialog(nullptr);
}
