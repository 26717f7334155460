#include "model/logs/StoreLog.h"

#include "model/logs/CountUnwrap.h"
#include "model/logs/LogUnits.h"
#include "model/store/AppModel.h"

#include <string>

void copyStoreToLog(const AppModel& model, LoadedLog& log) {
    std::vector<double> values = std::move(log.values);
    log.clear();
    log.values = std::move(values);
    log.format = LogFormat::Live;
    log.encoderBits = model.deviceInfo.encoderBits;
    const double rateHz = peLogRateHz(model.logSettings.logRate);
    log.sampleSeconds = rateHz > 0.0 ? 1.0 / rateHz : 0.0;
    log.values.assign(model.samples, model.samples + model.sampleCount);
    if (!countsToArcsec(log.values.data(), log.values.size(), log.encoderBits))
        log.values.clear(); // without an encoder width the counts mean nothing in arc-seconds
    const uint32_t markers =
        model.markerCount < AppModel::kMaxMarkers ? model.markerCount : AppModel::kMaxMarkers;
    log.markers.reserve(markers);
    for (uint32_t i = 0; i < markers; ++i) {
        const Marker& m = model.markers[i];
        log.markers.push_back({m.sample, std::string(m.labelText())});
    }
}
