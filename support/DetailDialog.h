#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;
class QDialogButtonBox;

// Shows the operator what a crash report will send.
class DetailDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DetailDialog(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

private:
    QTextBrowser* browser = nullptr;
    QDialogButtonBox* buttons = nullptr;
};
