#include "ui/main/DataExport.h"

#include "model/store/AppModel.h"
#include "ui/main/ExportAreaNote.h"

#include <QDir>

#include <cerrno>
#include <cstring>

DataExport::Outcome DataExport::exportDataDat(AppModel& model) {
    const QString directory = QDir::currentPath();
    const QString file =
        directory.isEmpty()
            ? QString()
            : QDir::toNativeSeparators(QDir(directory).absoluteFilePath(QStringLiteral("data.dat")));
    const QString where = file.isEmpty() ? QStringLiteral("data.dat in the current directory") : file;
    errno = 0;
    Outcome outcome;
    outcome.written = model.exportData("data.dat");
    const int error = errno;
    if (!outcome.written) {
        outcome.detail = QStringLiteral("The records could not be written to %1").arg(where);
        if (error != 0)
            outcome.detail += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        outcome.detail += QStringLiteral(".\nNothing was exported; the records are still in memory.");
        outcome.note = QStringLiteral("Export failed");
        return outcome;
    }
    model.markExported();
    outcome.note = QStringLiteral("Exported %1 records to %2").arg(model.rawCount).arg(where);
    outcome.path = file;
    outcome.detail = outcome.note;
    outcome.detail += exportAreaNote(model);
    return outcome;
}
