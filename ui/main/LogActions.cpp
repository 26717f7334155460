#include "ui/main/LogActions.h"

#include "model/store/AppModel.h"
#include "rz4/StatusCode.h"
#include "ui/analysis/AnalysisWindow.h"
#include "ui/common/NoteLabel.h"
#include "ui/common/UserPrompts.h"
#include "ui/graph/EncoderGraph.h"
#include "ui/graph/GraphMarker.h"
#include "ui/graph/LogSeries.h"
#include "ui/main/CsvExportAction.h"
#include "ui/main/DataExport.h"
#include "ui/main/LogOpener.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The markers of the changes sent while logging, on the live curve.
void showLiveMarkers(EncoderGraph& graph, const AppModel& model) {
    std::vector<GraphMarker> marks;
    const uint32_t count = std::min(model.markerCount, AppModel::kMaxMarkers);
    marks.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        marks.push_back({model.markers[i].sample, std::string(model.markers[i].labelText())});
    graph.setMarkers(std::move(marks));
}

// An opened log starts in Whole run with its markers, its scale fitted to it (its error may be a few
// arc-seconds, a flat line at the default scale); the live samples come back in the time axis and scale of
// the display settings.
void showInGraph(EncoderGraph& graph, const AppModel& model, const LoadedLog* log) {
    if (log == nullptr) {
        if (graph.showingLog()) {
            graph.setAutoScale(model.displaySettings.autoScale);
            graph.showLive(model.displaySettings.timeAxis);
            showLiveMarkers(graph, model);
        }
        return;
    }
    graph.setAutoScale(true);
    graph.showLog(LogSeries{log->values.data(), log->size(), log->times.empty() ? nullptr : log->times.data(),
                            log->sampleSeconds},
                  TimeAxis::WholeRun);
    std::vector<GraphMarker> marks;
    marks.reserve(log->markers.size());
    for (const LogMarker& m : log->markers)
        marks.push_back({m.sample, m.label});
    graph.setMarkers(std::move(marks));
}

} // namespace

LogActions::LogActions(QWidget* dialog, AppModel* model, EncoderGraph* graph, UserPrompts* prompts,
                       const Controls& controls)
    : dialog_(dialog), model_(model), graph_(graph), prompts_(prompts), exportNote_(controls.exportNote),
      opener_(new LogOpener(dialog, model, &logging_, prompts)),
      csvExport_(std::make_unique<CsvExportAction>(dialog, model, &logging_, prompts, controls.exportNote)) {
    opener_->setIndicators(controls.counterLine, controls.openButton);
    opener_->setDiscardCheck([this] { return mayLose(ExitGuard::Loss::OpenLog); });
    opener_->setGraphView([graph, model](const LoadedLog* log) { showInGraph(*graph, *model, log); });
}

LogActions::~LogActions() = default;

bool LogActions::exportDataDat() {
    const DataExport::Outcome outcome = DataExport::exportDataDat(*model_);
    exportNote_->showNote(outcome.note, outcome.detail, outcome.path);
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

void LogActions::status(uint32_t code) {
    logging_.status(code);
    switch (code) {
    case StatusConnected:
        controllerSession_ = true;
        break;
    case StatusConnectionClosed:
    case StatusClosedChangesNotSent:
    case StatusTestMode:
    case StatusCannotOpenPort:
    case StatusTimeout:
    case StatusUnknownDevice:
    case StatusNotSupportedDevice:
    case StatusCommunicationError:
        controllerSession_ = false;
        break;
    default:
        break;
    }
}

bool LogActions::mayConnect() {
    return controllerSession_ || mayLose(ExitGuard::Loss::Connect);
}

void LogActions::liveMarkersChanged() {
    if (!opener_->isOpen())
        showLiveMarkers(*graph_, *model_);
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
