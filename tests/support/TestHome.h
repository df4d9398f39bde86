#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace zrtest {

// Points HOME at a fresh temporary folder for its lifetime, so that nothing a test
// runs ever touches the real per-user folder.
class TestHome
{
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const;
    // The player's per-user folder inside this home ("<home>/.ZRPlayer").
    QString userFolder() const;

private:
    QTemporaryDir dir;
    QByteArray previous;
    bool hadPrevious = false;
};

} // namespace zrtest
