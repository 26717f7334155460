#pragma once

#include <QDir>
#include <QString>

// Makes path the current directory for one scope (data.dat is written there) and goes back afterwards.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const QString& path) : previous_(QDir::currentPath()) {
        ok_ = QDir::setCurrent(path);
    }
    ~CurrentDirectory() { QDir::setCurrent(previous_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;
    bool ok() const { return ok_; }

private:
    QString previous_;
    bool ok_ = false;
};
