#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>

namespace zrtest {

// Answers the modal windows a blocking call opens, one handler per window in order of
// appearance. A handler must not block: it schedules its clicks (QTimer::singleShot 0).
// After the time limit every remaining modal window is rejected, so no test hangs.
class ModalScript : public QObject
{
public:
    using Handler = std::function<void(QWidget*)>;

    explicit ModalScript(int timeoutMs = 20000) : timeoutMs(timeoutMs)
    {
        connect(&timer, &QTimer::timeout, this, &ModalScript::poll);
        timer.start(20);
        clock.start();
    }

    ModalScript& then(Handler handler)
    {
        handlers.push_back({std::move(handler), nullptr});
        return *this;
    }

    // Like then(), for a step that only answers a window of the given class. Any other modal
    // window seen first is left alone: a file dialog that asked to replace a file is the
    // active modal window again for a moment after that box closes, while it finishes
    // accepting, and must not take the handler meant for the next box.
    ModalScript& thenOnly(const char* className, Handler handler)
    {
        handlers.push_back({std::move(handler), className});
        return *this;
    }

    int pending() const { return int(handlers.size()); }
    bool timedOut() const { return gaveUp; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (clock.elapsed() > timeoutMs) {
            gaveUp = true;
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else if (modal)
                modal->close();
            return;
        }
        if (!modal || !modal->isVisible() || handlers.empty())
            return;
        if (!last.isNull() && last.data() == modal)
            return;
        if (handlers.front().className && !modal->inherits(handlers.front().className))
            return;
        last = modal;
        Handler handler = std::move(handlers.front().handler);
        handlers.pop_front();
        handler(modal);
    }

    QTimer timer;
    QElapsedTimer clock;
    int timeoutMs;
    bool gaveUp = false;
    QPointer<QWidget> last;
    struct Step
    {
        Handler handler;
        const char* className;
    };
    std::deque<Step> handlers;
};

} // namespace zrtest
