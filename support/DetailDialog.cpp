#include "support/DetailDialog.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

DetailDialog::DetailDialog(QWidget* parent)
    : QDialog(parent)
{
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    browser = new QTextBrowser(this);
    buttons = new QDialogButtonBox(QDialogButtonBox::Close, Qt::Horizontal, this);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void DetailDialog::setText(const QString& text)
{
    browser->setPlainText(text);
}

QString DetailDialog::text() const
{
    return browser->toPlainText();
}
