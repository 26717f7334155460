#include "ui/graph/GraphSeries.h"

#include "model/analysis/PeAnalysis.h"
#include "model/store/AppModel.h"

#include <algorithm>
#include <cmath>

void GraphSeries::showLog(const LogSeries& log) {
    live_ = false;
    log_ = log;
    if (log_.values == nullptr)
        log_.count = 0;
}

uint64_t GraphSeries::count() const {
    if (live_)
        return std::min(model_->sampleCount, AppModel::kMaxSamples);
    return log_.count;
}

double GraphSeries::value(uint64_t i) const {
    return live_ ? static_cast<double>(model_->samples[i]) : log_.values[i];
}

const int32_t* GraphSeries::counts() const {
    return live_ ? model_->samples : nullptr;
}

double GraphSeries::arcsecPerUnit() const {
    if (!live_)
        return 1.0;
    return encoderBits_ > 0 ? peArcsecPerCount(static_cast<uint32_t>(encoderBits_)) : 0.0;
}

double GraphSeries::secondsOf(uint64_t i) const {
    if (live_)
        return liveSeconds_ > 0.0 ? static_cast<double>(i) * liveSeconds_ : -1.0;
    if (log_.times != nullptr && i < log_.count)
        return std::isfinite(log_.times[i]) ? log_.times[i] : -1.0;
    return log_.sampleSeconds > 0.0 ? static_cast<double>(i) * log_.sampleSeconds : -1.0;
}
