#include "tests/support/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>

namespace zrtest {

ModalAnswerer::ModalAnswerer(int intervalMs, QObject* parent)
    : QObject(parent)
{
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::answerWith(QMessageBox::StandardButton button)
{
    standardButton = button;
    buttonText.clear();
}

void ModalAnswerer::answerWithText(const QString& text)
{
    buttonText = text;
    standardButton = QMessageBox::NoButton;
}

void ModalAnswerer::setAnswer(Answer answer)
{
    custom = std::move(answer);
}

bool ModalAnswerer::waitForCount(int n, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return seenList.size() >= n; }, timeoutMs);
}

void ModalAnswerer::poll()
{
    // A dialog that is hidden and shown again (exec() twice) is a new question.
    if (lastAnswered && !lastAnswered->isVisible())
        lastAnswered = nullptr;
    QWidget* modal = QApplication::activeModalWidget();
    // A window that is closing may still be reported for one turn; answer each one once.
    if (!modal || modal == lastAnswered || !modal->isVisible())
        return;
    lastAnswered = modal;

    ModalSeen record;
    record.className = QString::fromLatin1(modal->metaObject()->className());
    record.title = modal->windowTitle();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box) {
        record.text = box->text();
        record.icon = box->icon();
        const auto buttons = box->buttons();
        for (QAbstractButton* b : buttons)
            record.buttons << b->text();
    }
    seenList << record;

    if (custom && custom(modal))
        return;
    if (box && standardButton != QMessageBox::NoButton) {
        if (QAbstractButton* b = box->button(standardButton)) {
            b->click();
            return;
        }
    }
    if (box && !buttonText.isEmpty()) {
        const auto buttons = box->buttons();
        for (QAbstractButton* b : buttons) {
            if (b->text() == buttonText) {
                b->click();
                return;
            }
        }
    }
    answerByDefault(modal);
}

void ModalAnswerer::answerByDefault(QWidget* modal)
{
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        QAbstractButton* b = box->defaultButton();
        if (!b)
            b = box->escapeButton();
        if (!b && !box->buttons().isEmpty())
            b = box->buttons().first();
        if (b) {
            b->click();
            return;
        }
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
        return;
    }
    modal->close();
}

} // namespace zrtest
