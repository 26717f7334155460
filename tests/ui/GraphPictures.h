#pragma once

// Helpers shared by the graph's test programs: a shown graph over a model, and pixel counting.

#include "model/store/AppModel.h"
#include "ui/graph/EncoderGraph.h"

#include <QImage>

#include <memory>
#include <vector>

// A graph of the given client size, already painted once.
inline std::unique_ptr<EncoderGraph> makeShownGraph(AppModel* model, int width, int height) {
    auto graph = std::make_unique<EncoderGraph>(model);
    graph->resize(width, height);
    graph->show();
    graph->invalidate();
    return graph;
}

// Rows of column x that carry the colour.
inline std::vector<int> rowsOf(const QImage& image, int x,
                               const QColor& colour = EncoderGraph::curveColour()) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == colour)
            rows.push_back(y);
    return rows;
}

inline int countColour(const QImage& image, const QColor& colour, QRect area) {
    area &= image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                ++n;
    return n;
}

// Appends values to the live store (as far as it holds them) and returns the first new sample.
inline uint32_t appendSamples(AppModel& model, const std::vector<int32_t>& values) {
    const uint32_t first = model.sampleCount;
    for (int32_t v : values)
        if (model.sampleCount < AppModel::kMaxSamples)
            model.samples[model.sampleCount++] = v;
    return first;
}
