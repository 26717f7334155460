#pragma once

// The entry point shared by the UI test programs: a QApplication on Qt's offscreen platform (unless
// the caller chose another), then every test. A program that holds several suites defines
// ASTRELVO_UI_TESTS_COMBINED for them and takes the entry point from ui_tests_main.cpp alone.

#include <QApplication>
#include <gtest/gtest.h>

#ifndef ASTRELVO_UI_TESTS_COMBINED
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
#endif
