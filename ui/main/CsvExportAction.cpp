#include "ui/main/CsvExportAction.h"

#include "model/logs/CsvExport.h"
#include "model/store/AppModel.h"
#include "ui/common/NoteLabel.h"
#include "ui/common/UserPrompts.h"
#include "ui/main/ExportAreaNote.h"
#include "ui/main/LoggingState.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstring>

CsvExportAction::CsvExportAction(QWidget* window, AppModel* model, const LoggingState* logging,
                                 const UserPrompts* prompts, NoteLabel* note)
    : window_(window), model_(model), logging_(logging), prompts_(prompts), note_(note) {}

QString CsvExportAction::suggestedName() const {
    const auto started = logging_->startedAt();
    const QDateTime when =
        started.time_since_epoch().count() != 0
            ? QDateTime::fromSecsSinceEpoch(
                  std::chrono::duration_cast<std::chrono::seconds>(started.time_since_epoch()).count())
            : QDateTime::currentDateTime();
    return QStringLiteral("astrelvo-%1.csv").arg(when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

bool CsvExportAction::run() {
    if (model_->rawCount == 0) {
        prompts_->message(window_, QStringLiteral("Export CSV"),
                          QStringLiteral("There are no stored records to export."), false);
        return false;
    }
    const QString directory = lastDirectory_.isEmpty() ? QDir::currentPath() : lastDirectory_;
    const QString path = prompts_->saveFile(window_, QStringLiteral("Export CSV log"),
                                            QDir(directory).filePath(suggestedName()),
                                            QStringLiteral("CSV logs (*.csv);;All files (*)"));
    if (path.isEmpty())
        return false;
    lastDirectory_ = QFileInfo(path).absolutePath();
    return write(path);
}

bool CsvExportAction::write(const QString& path) {
    CsvLogHeader header = csvHeaderFor(*model_);
    const auto started = logging_->startedAt();
    if (started.time_since_epoch().count() != 0)
        header.started = isoUtcTimestamp(started);
    header.port = port_.toStdString();
    const QString where = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const CsvExportResult result = exportCsvLog(*model_, path.toUtf8().constData(), header);
    if (!result.ok) {
        QString detail = QStringLiteral("The records could not be written to %1").arg(where);
        if (result.errorNumber != 0)
            detail += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(result.errorNumber));
        detail += QStringLiteral(".\nThe records are still in memory.");
        note_->showNote(QStringLiteral("CSV export failed"), detail);
        prompts_->message(window_, QStringLiteral("Export failed"), detail, true);
        return false;
    }
    model_->markExported();
    const QString note = QStringLiteral("Exported %1 records to %2").arg(model_->rawCount).arg(where);
    QString detail = note;
    detail += exportAreaNote(*model_);
    note_->showNote(note, detail, where);
    return true;
}
