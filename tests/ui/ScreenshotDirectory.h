#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QString>

// <build>/screenshots, next to the directory of the test programs, where the UI tests leave their
// pictures for visual review. Made when missing.
inline QString screenshotDirectory() {
    QDir dir(QCoreApplication::applicationDirPath());
    dir.cdUp();
    dir.mkpath(QStringLiteral("screenshots"));
    return dir.filePath(QStringLiteral("screenshots"));
}
