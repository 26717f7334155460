#include "ui/main/LogOpener.h"

#include "model/logs/LogFileReader.h"
#include "model/store/AppModel.h"
#include "ui/common/BackgroundWork.h"
#include "ui/common/UserPrompts.h"
#include "ui/dialogs/DatLogDialog.h"
#include "ui/dialogs/GuideSectionDialog.h"
#include "ui/main/LoggingState.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cstring>

namespace {

// Skipped lines listed in the message itself; the rest are in its details.
constexpr std::size_t kListedIssues = 8;

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

QString issueLine(const LogIssue& issue) {
    const QString text = QString::fromStdString(issue.text);
    return issue.line != 0 ? QStringLiteral("line %1: %2").arg(issue.line).arg(text) : text;
}

} // namespace

LogOpener::LogOpener(QWidget* window, AppModel* model, const LoggingState* logging,
                     const UserPrompts* prompts)
    : LogSource(window), window_(window), model_(model), logging_(logging), prompts_(prompts) {}

void LogOpener::setIndicators(QLineEdit* counterLine, QPushButton* button) {
    counterLine_ = counterLine;
    button_ = button;
    showIndicators();
}

void LogOpener::command() {
    if (isOpen()) {
        close();
        return;
    }
    if (refusedWhileLogging())
        return; // said before the file dialog, so that nobody picks a file in vain
    const QString path = askFile(window_, QStringLiteral("Open log"));
    if (!path.isEmpty())
        open(path);
}

void LogOpener::chooseLog(QWidget* parent, const QString& title, Chosen done) {
    const QString path = askFile(parent, title);
    LogReadReport report;
    std::shared_ptr<LoadedLog> log = path.isEmpty() ? nullptr : load(parent, path, report);
    if (log == nullptr) {
        done(nullptr, QString());
        return;
    }
    reportIssues(parent, path, *log, report);
    done(std::move(log), path);
}

QString LogOpener::askFile(QWidget* parent, const QString& title) {
    const QString start = lastDirectory_.isEmpty() ? QDir::currentPath() : lastDirectory_;
    return prompts_->openFile(parent, title, start,
                              QStringLiteral("Logs (*.csv *.dat *.txt *.log);;All files (*)"));
}

bool LogOpener::refusedWhileLogging() const {
    if (!logging_->active())
        return false;
    prompts_->message(window_, QStringLiteral("Open log"),
                      QStringLiteral("A log cannot be opened while logging. Press Stop first."), true);
    return true;
}

bool LogOpener::open(const QString& path) {
    if (refusedWhileLogging())
        return false;
    LogReadReport report;
    std::shared_ptr<LoadedLog> log = load(window_, path, report);
    if (log == nullptr)
        return false;
    if (mayDiscard_ && !mayDiscard_())
        return false;

    if (graphView_)
        graphView_(nullptr); // the graph lets go of the old log before it goes
    model_->clear();
    log_ = std::move(log);
    path_ = path;
    ++generation_;
    showIndicators();
    if (graphView_)
        graphView_(log_.get());
    emit changed();
    reportIssues(window_, path, *log_, report);
    return true;
}

std::shared_ptr<LoadedLog> LogOpener::load(QWidget* parent, const QString& path, LogReadReport& report) {
    lastDirectory_ = QFileInfo(path).absolutePath();
    LogReadOptions options;
    const QByteArray name = path.toUtf8();
    if (recogniseLogFile(name.constData()) == LogKind::Dat && !askDatOptions(parent, path, options))
        return nullptr;
    auto log = std::make_shared<LoadedLog>();
    if (!read(parent, path, options, *log, report))
        return nullptr;
    if (log->format == LogFormat::Phd2 && log->sectionCount > 1 &&
        !chooseSection(parent, path, options, *log, report))
        return nullptr;
    return log;
}

void LogOpener::close() {
    if (!isOpen())
        return;
    if (graphView_)
        graphView_(nullptr);
    log_.reset();
    path_.clear();
    ++generation_;
    showIndicators();
    emit changed();
}

bool LogOpener::read(QWidget* parent, const QString& path, const LogReadOptions& options, LoadedLog& log,
                     LogReadReport& report) {
    const QByteArray name = path.toUtf8();
    bool ok = false;
    report = LogReadReport{};
    runInBackground(parent, [&] { ok = readLogFile(name.constData(), options, log, report); });
    if (ok)
        return true;
    const QString system =
        report.errorNumber() != 0 ? QString::fromLocal8Bit(std::strerror(report.errorNumber())) : QString();
    // "cannot be opened" is said already: the system's reason is enough then.
    QString reason = report.error() == LogReadError::CannotOpen && !system.isEmpty()
                         ? system
                         : QString::fromStdString(report.errorText());
    if (!system.isEmpty() && report.error() != LogReadError::CannotOpen)
        reason += QStringLiteral(": ") + system;
    if (report.errorLine() != 0)
        reason = QStringLiteral("line %1: %2").arg(report.errorLine()).arg(reason);
    prompts_->message(parent, QStringLiteral("Cannot open log"),
                      QStringLiteral("%1 cannot be opened:\n%2.\n\nNothing was changed.")
                          .arg(QDir::toNativeSeparators(path), reason),
                      true);
    return false;
}

bool LogOpener::askDatOptions(QWidget* parent, const QString& path, LogReadOptions& options) {
    // The width is offered only when a controller told it: the record before any connection holds
    // defaults (its record length is 0 until a controller's record arrives).
    const uint32_t bits = model_->deviceInfo.recordLength != 0 ? model_->deviceInfo.encoderBits : 0;
    DatLogDialog dialog(parent, fileName(path), bits, model_->logSettings.logRate);
    if (dialog.exec() == 0)
        return false;
    options.encoderBits = dialog.encoderBits();
    options.sampleSeconds = dialog.sampleSeconds();
    return true;
}

bool LogOpener::chooseSection(QWidget* parent, const QString& path, LogReadOptions& options, LoadedLog& log,
                              LogReadReport& report) {
    GuideSectionDialog dialog(parent, fileName(path), log.sections, log.section);
    if (dialog.exec() == 0)
        return false;
    if (dialog.section() == log.section)
        return true;
    // The list of every section comes with reading the longest only: it is kept for the next choice.
    std::vector<LogSection> sections = std::move(log.sections);
    options.section = dialog.section();
    if (!read(parent, path, options, log, report))
        return false;
    log.sections = std::move(sections);
    return true;
}

void LogOpener::reportIssues(QWidget* parent, const QString& path, const LoadedLog& log,
                             const LogReadReport& report) {
    if (report.malformedCount() == 0 && log.notes.empty())
        return;
    QString text = QStringLiteral("%1 is open.").arg(fileName(path));
    for (const std::string& note : log.notes)
        text += QStringLiteral("\nNote: ") + QString::fromStdString(note) + QStringLiteral(".");
    QString detail;
    if (report.malformedCount() > 0) {
        text += QStringLiteral("\n%1 lines could not be read and were skipped:").arg(report.malformedCount());
        const std::vector<LogIssue>& issues = report.issues();
        for (std::size_t i = 0; i < issues.size(); ++i) {
            if (i < kListedIssues)
                text += QStringLiteral("\n") + issueLine(issues[i]);
            detail += issueLine(issues[i]) + QStringLiteral("\n");
        }
        if (report.malformedCount() > std::min<uint64_t>(issues.size(), kListedIssues))
            text += QStringLiteral("\n... and %1 more")
                        .arg(report.malformedCount() - std::min<uint64_t>(issues.size(), kListedIssues));
        if (report.malformedCount() > issues.size())
            detail += QStringLiteral("(%1 more not listed)\n").arg(report.malformedCount() - issues.size());
    }
    // The whole list goes into the details when the message cannot hold it.
    prompts_->message(parent, QStringLiteral("Log opened"), text, false,
                      report.malformedCount() > kListedIssues ? detail.trimmed() : QString());
}

QString LogOpener::summary() const {
    if (!log_)
        return QString();
    QString where = fileName(path_);
    if (log_->format == LogFormat::Phd2 && log_->sectionCount > 1)
        where += QStringLiteral(" (section %1 of %2)").arg(log_->section).arg(log_->sectionCount);
    return QStringLiteral("Log %1: %2 samples").arg(where).arg(log_->size());
}

void LogOpener::showIndicators() {
    if (button_ != nullptr) {
        button_->setText(isOpen() ? closeButtonText() : openButtonText());
        button_->setToolTip(isOpen() ? QStringLiteral("Back to the live samples")
                                     : QStringLiteral("Show and analyse a saved log: a data.dat export, an "
                                                      "Astrelvo CSV or a PHD2 guide log"));
    }
    if (counterLine_ == nullptr)
        return;
    if (!isOpen()) {
        counterLine_->clear();
        counterLine_->setToolTip(QString());
        return;
    }
    counterLine_->setText(summary());
    counterLine_->setCursorPosition(0);
    QString detail = QDir::toNativeSeparators(path_) + QStringLiteral("\nformat: ") +
                     QString::fromLatin1(logFormatName(log_->format));
    if (log_->sampleSeconds > 0.0)
        detail += QStringLiteral(", sample period %1 s").arg(log_->sampleSeconds);
    if (!log_->started.empty())
        detail += QStringLiteral("\nstarted: ") + QString::fromStdString(log_->started);
    for (const std::string& note : log_->notes)
        detail += QStringLiteral("\nnote: ") + QString::fromStdString(note);
    detail += QStringLiteral("\nStart, Connect or Close log show the live samples again.");
    counterLine_->setToolTip(detail);
}
