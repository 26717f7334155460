#include "model/logs/LoadedLog.h"

#include <algorithm>

const char* logFormatName(LogFormat format) {
    switch (format) {
    case LogFormat::Dat:
        return "dat";
    case LogFormat::Csv:
        return "csv";
    case LogFormat::Phd2:
        return "phd2";
    case LogFormat::Live:
        break;
    }
    return "live";
}

std::vector<std::pair<std::size_t, std::size_t>> LoadedLog::segments() const {
    std::vector<std::size_t> cuts;
    cuts.reserve(markers.size() + 2);
    cuts.push_back(0);
    for (const LogMarker& m : markers)
        cuts.push_back(std::min(m.sample, values.size()));
    cuts.push_back(values.size());
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t i = 1; i < cuts.size(); ++i) {
        if (cuts[i] > cuts[i - 1])
            ranges.emplace_back(cuts[i - 1], cuts[i]);
    }
    return ranges;
}

void LoadedLog::clear() {
    *this = LoadedLog{};
}
