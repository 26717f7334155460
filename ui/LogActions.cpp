#include "ui/LogActions.h"

#include "ui/AnalysisWindow.h"
#include "ui/CsvExportAction.h"
#include "ui/DataExport.h"
#include "ui/EncoderGraph.h"
#include "ui/LogOpener.h"
#include "ui/NoteLabel.h"
#include "ui/UserPrompts.h"

LogActions::LogActions(QWidget* dialog, AppModel* model, EncoderGraph* graph, UserPrompts* prompts,
                       const Controls& controls)
    : dialog_(dialog), model_(model), prompts_(prompts), exportNote_(controls.exportNote),
      opener_(new LogOpener(dialog, model, &logging_, prompts)),
      csvExport_(std::make_unique<CsvExportAction>(dialog, model, &logging_, prompts, controls.exportNote)) {
    opener_->setIndicators(controls.counterLine, controls.openButton);
    opener_->setDiscardCheck([this] { return mayLose(ExitGuard::Loss::OpenLog); });
    // The store was emptied for the log: the graph shows it empty until it can show a log.
    opener_->setGraphView([graph](const LoadedLog*) { graph->invalidate(); });
}

LogActions::~LogActions() = default;

bool LogActions::exportDataDat() {
    const DataExport::Outcome outcome = DataExport::exportDataDat(*model_);
    exportNote_->showNote(outcome.note, outcome.detail);
    if (!outcome.written) {
        prompts_->message(dialog_, QStringLiteral("Export failed"), outcome.detail, true);
        return false;
    }
    return true;
}

void LogActions::exportCsv() {
    csvExport_->run();
}

void LogActions::openOrCloseLog() {
    opener_->command();
}

bool LogActions::openLog(const QString& path) {
    return opener_->open(path);
}

void LogActions::showAnalysis() {
    if (analysis_ == nullptr) {
        analysis_ = new AnalysisWindow(model_, opener_, prompts_, dialog_);
        analysis_->setNight(night_);
    }
    analysis_->show();
    analysis_->raise();
    analysis_->activateWindow();
}

bool LogActions::mayLose(ExitGuard::Loss loss) {
    // Records stored raw but never written out would be lost with the program or the log opened.
    if (ExitGuard::nothingToLose(*model_))
        return true;
    switch (exitGuard_.ask(dialog_, *model_, night_, loss)) {
    case ExitGuard::Answer::Discard:
        return true;
    case ExitGuard::Answer::ExportAndQuit:
        return exportDataDat(); // a failed export has told the user; nothing is lost
    case ExitGuard::Answer::Stay:
        break;
    }
    return false;
}

void LogActions::loggingStarted() {
    opener_->close();
    logging_.started();
}

void LogActions::connecting(const QString& port) {
    opener_->close();
    csvExport_->setPort(port);
}

void LogActions::setNight(bool on) {
    night_ = on;
    prompts_->setPlain(on);
    if (analysis_ != nullptr)
        analysis_->setNight(on);
}
