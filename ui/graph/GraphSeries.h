#pragma once

#include "ui/graph/LogSeries.h"

#include <cstdint>

class AppModel;

// The samples the graph draws: either the live sample store (signed 32-bit encoder counts, read straight
// from the model) or an offline log (arc-seconds). Values are in the series' own unit; arcsecPerUnit
// converts them. Reads the store without a lock: UI thread only, like the store.
class GraphSeries {
public:
    explicit GraphSeries(const AppModel* model) : model_(model) {}

    void showLive() {
        log_ = LogSeries{};
        live_ = true;
    }
    // A log with no values (or a null array) shows as an empty series.
    void showLog(const LogSeries& log);
    bool isLive() const { return live_; }

    uint64_t count() const;
    // Value of sample i in the series' unit; i must be below count().
    double value(uint64_t i) const;
    // The raw arrays: counts() for the live store, values() for a log; the other one is null.
    const int32_t* counts() const;
    const double* values() const { return live_ ? nullptr : log_.values; }

    // Arc-seconds per unit: from the encoder width for the live store, 1 for a log; 0 when unknown.
    double arcsecPerUnit() const;
    void setEncoderBits(int bits) { encoderBits_ = bits; }
    // Sample period of the live store in seconds, 0 when unknown.
    void setLiveSampleSeconds(double seconds) { liveSeconds_ = seconds > 0.0 ? seconds : 0.0; }
    // Seconds of sample i from the start, or a negative number when the time base is unknown.
    double secondsOf(uint64_t i) const;

private:
    const AppModel* model_;
    bool live_ = true;
    LogSeries log_;
    int encoderBits_ = 32;
    double liveSeconds_ = 0.0;
};
