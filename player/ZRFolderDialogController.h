#pragma once

#include <QObject>
#include <QString>

// What the QML home page calls to let the operator choose an export folder.
class ZRFolderDialogController : public QObject
{
    Q_OBJECT
public:
    explicit ZRFolderDialogController(QObject* parent = nullptr);

    // The chosen export folder, or an empty text when the operator cancelled.
    Q_INVOKABLE QString openFolderDialog();
};
