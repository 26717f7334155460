#include "model/CsvExport.h"

#include "model/AppModel.h"
#include "model/PeAnalysis.h"

CsvLogHeader csvHeaderFor(const AppModel& model) {
    CsvLogHeader header;
    header.encoderBits = model.deviceInfo.encoderBits;
    const double rateHz = peLogRateHz(model.logSettings.logRate);
    header.sampleSeconds = rateHz > 0.0 ? 1.0 / rateHz : 0.0;
    return header;
}

CsvExportResult exportCsvLog(const AppModel& model, const char* path, const CsvLogHeader& header) {
    CsvLogWriter writer;
    CsvExportResult result;
    if (writer.open(path)) {
        writer.writeHeader(header);
        writer.writeRecords(model.rawRecords, model.rawCount, model.recordLength);
        writer.close();
    }
    result.ok = !writer.failed();
    result.errorNumber = writer.error();
    return result;
}
