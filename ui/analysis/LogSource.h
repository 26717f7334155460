#pragma once

#include "model/logs/LoadedLog.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

// Where the analysis window's logs come from, so that it needs to know nothing of the window that opens
// them: the log shown in place of the live samples (changed() says when it is opened, closed or replaced),
// and a way to ask the user for another log file to read, e.g. one to compare with. The main window's
// log opener implements it. UI thread.
class LogSource : public QObject {
    Q_OBJECT
public:
    // The result of chooseLog: the log read, shared and unchanging, with its path; null with an empty path
    // when the user cancelled or the file could not be read (the user has been told why).
    using Chosen = std::function<void(std::shared_ptr<const LoadedLog> log, const QString& path)>;

    using QObject::QObject;

    // The open log, shared and unchanging; null while the live samples are shown.
    virtual std::shared_ptr<const LoadedLog> log() const = 0;
    // Its file; empty while no log is open.
    virtual QString path() const = 0;
    // One line on the open log for the user: file, samples, section; empty while none is open.
    virtual QString summary() const = 0;
    // Asks the user over parent for a log file (the dialog titled title) and reads it off the UI thread,
    // asking what the file does not say, then calls done once on the UI thread (possibly before this
    // returns; a caller that may be gone by then guards itself, e.g. with a QPointer). The open log stays
    // as it is, and nothing is refused while logging: the log read is the caller's alone.
    virtual void chooseLog(QWidget* parent, const QString& title, Chosen done) = 0;

signals:
    // A log was opened, closed or replaced.
    void changed();
};
