#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

namespace zrtest {

// What the answerer saw of one modal window before answering it.
struct ModalSeen
{
    QString className;   // e.g. "QMessageBox"
    QString title;
    QString text;        // a message box's text; empty for other dialogs
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // a message box's button texts
};

// Answers modal windows (QApplication::activeModalWidget()) from a timer while it lives,
// so that code calling exec() on a message box or dialog can run in a test.
// By default a message box gets its default button (else its escape button, else its
// first button) and any other dialog is rejected.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    // Returns true when it has answered the widget itself.
    using Answer = std::function<bool(QWidget* modal)>;

    explicit ModalAnswerer(int intervalMs = 20, QObject* parent = nullptr);
    ~ModalAnswerer() override;

    // Message boxes are answered with this standard button (when the box has it).
    void answerWith(QMessageBox::StandardButton button);
    // Message boxes are answered with the button showing this text.
    void answerWithText(const QString& buttonText);
    // Custom answer; falls back to the default one when it returns false.
    void setAnswer(Answer answer);

    QList<ModalSeen> seen() const { return seenList; }
    int count() const { return seenList.size(); }
    ModalSeen last() const { return seenList.isEmpty() ? ModalSeen() : seenList.last(); }
    // Runs the event loop until n modal windows have been answered.
    bool waitForCount(int n, int timeoutMs = 30000) const;
    void clear() { seenList.clear(); }

private:
    void poll();
    static void answerByDefault(QWidget* modal);

    QTimer timer;
    QList<ModalSeen> seenList;
    QPointer<QWidget> lastAnswered;
    QMessageBox::StandardButton standardButton = QMessageBox::NoButton;
    QString buttonText;
    Answer custom;
};

} // namespace zrtest
