#pragma once

#include <QFileDialog>
#include <QString>

class QListView;

// The export-folder chooser: Qt's own directory dialog that accepts only folders named
// like an export ("zrnova_" and four groups of four hexadecimal digits), with the
// computer's storage roots and the home folder in its side bar.
class ZRFolderDialog : public QFileDialog
{
    Q_OBJECT
public:
    explicit ZRFolderDialog(QWidget* parent = nullptr);

    // Whether the last component of path is named like an export folder.
    bool isExportFolderName(const QString& path) const;

    Q_INVOKABLE static QString selectFolderFromDialog(QWidget* parent);
    Q_INVOKABLE static QString selectFolderFromDialog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void validateAndAccept();

private:
    void replaceSidebar();
    QListView* findSidebarView() const;
};
