#pragma once

#include "tests/support/TestHome.h"

#include <QApplication>
#include <QCoreApplication>
#include <QQuickWindow>
#include <QTest>

// Test entry points: HOME is a temporary folder before any Qt object exists.
#define ZR_TEST_MAIN_CORE(TestClass)                                   \
    int main(int argc, char** argv)                                    \
    {                                                                  \
        zrtest::TestHome zrHome;                                       \
        QCoreApplication app(argc, argv);                              \
        TestClass tc;                                                  \
        return QTest::qExec(&tc, argc, argv);                          \
    }

#define ZR_TEST_MAIN_GUI(TestClass)                                    \
    int main(int argc, char** argv)                                    \
    {                                                                  \
        zrtest::TestHome zrHome;                                       \
        QApplication app(argc, argv);                                  \
        TestClass tc;                                                  \
        return QTest::qExec(&tc, argc, argv);                          \
    }

// QML runs on the "rhi" scene graph under Xvfb, as the program does.
#define ZR_TEST_MAIN_QML(TestClass)                                    \
    int main(int argc, char** argv)                                    \
    {                                                                  \
        zrtest::TestHome zrHome;                                       \
        QQuickWindow::setSceneGraphBackend(QStringLiteral("rhi"));     \
        QApplication app(argc, argv);                                  \
        TestClass tc;                                                  \
        return QTest::qExec(&tc, argc, argv);                          \
    }
