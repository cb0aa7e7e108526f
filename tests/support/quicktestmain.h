#pragma once

#include "tests/support/testenvironment.h"

#include <QApplication>
#include <QtQuickTest>

// QtQuickTest's main for the tests that run the app's windows: the environment is private
// before the application object reads any path, and the application is a QApplication
// because the menu-bar item needs the widgets backend, as in the app.
#define TOVRA_QUICK_TEST_MAIN(name, source, Setup) \
    int main(int argc, char **argv) \
    { \
        TestEnvironment environment; \
        QApplication app(argc, argv); \
        Setup setup; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return quick_test_main_with_setup(argc, argv, name, source, &setup); \
    }
