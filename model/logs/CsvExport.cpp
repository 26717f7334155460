#include "model/logs/CsvExport.h"

#include "model/logs/LogUnits.h"
#include "model/store/AppModel.h"

#include <algorithm>
#include <string_view>

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
        // Each marker's line goes before the row of the sample it was placed at; the records are
        // numbered as the samples are (a record too short for a position is the exception).
        uint32_t written = 0;
        const uint32_t markers = std::min(model.markerCount, AppModel::kMaxMarkers);
        for (uint32_t i = 0; i < markers; ++i) {
            const Marker& m = model.markers[i];
            const uint32_t upTo = std::max(written, std::min(m.sample, model.rawCount));
            writer.writeRecords(model.rawRecords + static_cast<std::size_t>(written) * model.recordLength,
                                upTo - written, model.recordLength);
            written = upTo;
            writer.writeMark(m.sample, m.labelText());
        }
        writer.writeRecords(model.rawRecords + static_cast<std::size_t>(written) * model.recordLength,
                            model.rawCount - written, model.recordLength);
        writer.close();
    }
    result.ok = !writer.failed();
    result.errorNumber = writer.error();
    return result;
}
