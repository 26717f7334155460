// The graph's three time axes: what each shows, that incremental drawing equals a full paint, that no
// peak is lost when the whole run is fitted into the width, the notice of a full graph, and markers.
#include "GraphPictures.h"
#include "ScreenshotDirectory.h"

#include <gtest/gtest.h>

#include <cmath>

#include "UiTestMain.h"

namespace {

// 150 x 130 pixels: 105 sample columns from x = 45, zero line at y = 49, plot height 99.
constexpr int kWidth = 150;
constexpr int kHeight = 130;
constexpr int kColumns = kWidth - EncoderGraph::kLeftMargin;

// Encoder counts of a 32-bit encoder that land exactly `pixels` below the zero line at scale 0.
int32_t countsFor(int pixels) {
    const double counts = std::ceil(std::abs(pixels) * 3314.018 / 20.0);
    return static_cast<int32_t>(pixels < 0 ? -counts : counts);
}

// A zig-zag with steep jumps both ways and a spike every 37 samples.
std::vector<int32_t> zigZag(int n) {
    std::vector<int32_t> values;
    for (int i = 0; i < n; ++i)
        values.push_back(countsFor((i % 7) * 6 - 18 + (i % 3 == 0 ? 25 : 0) + (i % 37 == 0 ? -40 : 0)));
    return values;
}

class GraphTimeAxisTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<AppModel>();
        model->displaySettings.scaleIndex = 0;
    }
    std::unique_ptr<EncoderGraph> graphIn(TimeAxis axis) {
        model->displaySettings.timeAxis = axis;
        return makeShownGraph(model.get(), kWidth, kHeight);
    }
    // Delivers values in the batches given, drawing each as the main dialog does.
    void deliver(EncoderGraph& graph, const std::vector<int32_t>& values,
                 const std::vector<uint32_t>& batches) {
        size_t next = 0;
        for (uint32_t batch : batches) {
            std::vector<int32_t> part(values.begin() + next, values.begin() + next + batch);
            next += batch;
            const uint32_t first = appendSamples(*model, part);
            graph.drawNew(first, batch);
        }
    }
    std::unique_ptr<AppModel> model;
};

TEST_F(GraphTimeAxisTest, IncrementalDrawingEqualsAFullPaintInEveryMode) {
    struct Case {
        const char* name;
        TimeAxis axis;
        bool autoScale;
        bool centre;
        bool markers;
    } cases[] = {
        {"one sample per pixel", TimeAxis::SamplePerPixel, false, false, true},
        {"per pixel, centred", TimeAxis::SamplePerPixel, false, true, false},
        {"follow newest", TimeAxis::FollowNewest, false, false, false},
        {"follow newest, marked", TimeAxis::FollowNewest, false, false, true},
        {"follow newest, auto and centred", TimeAxis::FollowNewest, true, true, true},
        {"whole run", TimeAxis::WholeRun, false, false, false},
        {"whole run, marked", TimeAxis::WholeRun, false, false, true},
        {"whole run, auto", TimeAxis::WholeRun, true, false, false},
    };
    // 450 samples: the plot fills, scrolls, and the whole run's width doubles twice.
    const std::vector<uint32_t> batches = {1, 5, 17, 10, 40, 47, 3, 60, 90, 127, 50};
    const std::vector<int32_t> values = zigZag(450);
    for (const Case& c : cases) {
        model->clear();
        model->displaySettings.autoScale = c.autoScale;
        model->displaySettings.centre = c.centre;
        auto graph = graphIn(c.axis);
        if (c.markers)
            graph->setMarkers({{104, "Closed loop on"},
                               {3, "PID 100/40/120"},
                               {200, "Current 900 mA"},
                               {333, "x"},
                               {449, "last"},
                               {5000, "never"}});
        deliver(*graph, values, batches);
        const QImage incremental = graph->image();
        graph->invalidate();
        EXPECT_EQ(incremental, graph->image()) << c.name;
        EXPECT_GT(countColour(incremental, EncoderGraph::curveColour(), QRect(45, 0, kColumns, kHeight)), 100)
            << c.name;
        if (!c.autoScale && !c.centre) {
            // A graph made afresh over the same samples paints the same picture.
            auto fresh = graphIn(c.axis);
            if (c.markers)
                fresh->setMarkers({{3, "PID 100/40/120"},
                                   {104, "Closed loop on"},
                                   {200, "Current 900 mA"},
                                   {333, "x"},
                                   {449, "last"},
                                   {5000, "never"}});
            EXPECT_EQ(incremental, fresh->image()) << c.name;
        }
    }
}

TEST_F(GraphTimeAxisTest, FollowAndWholeRunDrawOnlyWhatIsNew) {
    for (TimeAxis axis : {TimeAxis::FollowNewest, TimeAxis::WholeRun}) {
        model->clear();
        auto graph = graphIn(axis);
        deliver(*graph, std::vector<int32_t>(300, countsFor(10)), {300});
        // Changed behind the graph's back: a redraw of the old samples would show them 20 pixels higher.
        for (uint32_t i = 0; i < 300; ++i)
            model->samples[i] = countsFor(-10);
        deliver(*graph, std::vector<int32_t>(20, countsFor(-10)), {20});
        const QImage image = graph->image();
        const int oldColumn = 45 + (axis == TimeAxis::FollowNewest ? 30 : 10);
        EXPECT_EQ(rowsOf(image, oldColumn), std::vector<int>{49 + 10}) << static_cast<int>(axis);
        EXPECT_EQ(rowsOf(image, kWidth - 1 - (axis == TimeAxis::WholeRun ? 25 : 0)).back(), 49 - 10)
            << static_cast<int>(axis);
    }
}

TEST_F(GraphTimeAxisTest, WholeRunKeepsASingleSampleSpike) {
    // An offline log of a million samples, flat but for one sample 2" high and one 1.5" low.
    std::vector<double> log(1000000, 0.0);
    log[654321] = 2.0;
    log[999999] = -1.5;
    auto graph = graphIn(TimeAxis::SamplePerPixel);
    graph->showLog(LogSeries{log.data(), log.size(), nullptr, 0.25});
    EXPECT_EQ(graph->timeAxis(), TimeAxis::WholeRun);
    QImage image = graph->image();
    // A log is drawn fitted to its spread and centred on its mean: rows from the graph's mapping.
    const VerticalMapping& m = graph->mapping();
    auto row = [&](double v) {
        return graph->zeroY() - m.offset + static_cast<int>(std::trunc((v - m.base) * m.pixelsPerUnit));
    };
    const int spike = 45 + static_cast<int>(654321LL * kColumns / 1000000);
    EXPECT_EQ(rowsOf(image, spike).front(), row(0.0));
    EXPECT_EQ(rowsOf(image, spike).back(), row(2.0));
    EXPECT_GT(row(2.0) - row(0.0), 20);
    EXPECT_EQ(rowsOf(image, spike - 1), std::vector<int>{row(0.0)});
    EXPECT_EQ(rowsOf(image, kWidth - 1).front(), row(-1.5));

    // The live store, full, with one spike: the capacity has grown to the store's size exactly.
    graph->showLive(TimeAxis::WholeRun);
    std::vector<int32_t> live(AppModel::kMaxSamples, 0);
    live[123457] = countsFor(25);
    appendSamples(*model, live);
    graph->drawNew(0, AppModel::kMaxSamples);
    image = graph->image();
    EXPECT_EQ(graph->layout().capacity(), AppModel::kMaxSamples);
    const int liveSpike = 45 + static_cast<int>(123457LL * kColumns / AppModel::kMaxSamples);
    EXPECT_EQ(rowsOf(image, liveSpike).back(), 49 + 25);
    EXPECT_EQ(rowsOf(image, liveSpike + 1), std::vector<int>{49});
}

TEST_F(GraphTimeAxisTest, FollowNewestShowsTheNewestAtTheRightEdge) {
    auto graph = graphIn(TimeAxis::FollowNewest);
    std::vector<int32_t> values(500, countsFor(0));
    values[499] = countsFor(30);
    values[395] = countsFor(-20); // the oldest sample still shown
    deliver(*graph, values, {60, 60, 200, 180});
    const QImage image = graph->image();
    EXPECT_EQ(graph->layout().first(), 395u);
    EXPECT_EQ(rowsOf(image, kWidth - 1).back(), 49 + 30);
    EXPECT_EQ(rowsOf(image, 45).front(), 49 - 20);
    EXPECT_FALSE(graph->fullNoticeShown());
}

TEST_F(GraphTimeAxisTest, FullNoticeAppearsOnceAtTheRightEdge) {
    auto graph = graphIn(TimeAxis::SamplePerPixel);
    const QRect corner(kWidth - 100, 0, 100, 20);
    const QColor ink = EncoderGraph::labelTextColour();
    deliver(*graph, std::vector<int32_t>(kColumns - 1, 0), {kColumns - 1});
    EXPECT_FALSE(graph->fullNoticeShown());
    EXPECT_EQ(countColour(graph->image(), EncoderGraph::axisColour(), corner), 0);

    deliver(*graph, {0}, {1}); // the last column
    EXPECT_TRUE(graph->fullNoticeShown());
    const QImage full = graph->image();
    EXPECT_GT(countColour(full, EncoderGraph::axisColour(), corner), 40); // its frame
    EXPECT_GT(countColour(full, ink, corner), 0);
    EXPECT_EQ(full.pixelColor(kWidth - 5, 10), EncoderGraph::axisColour()); // at the right edge

    // Later batches draw nothing more: the notice is not written again.
    deliver(*graph, std::vector<int32_t>(50, countsFor(30)), {20, 30});
    EXPECT_EQ(full, graph->image());

    // The other time axes have room for everything.
    for (TimeAxis axis : {TimeAxis::FollowNewest, TimeAxis::WholeRun}) {
        graph->setTimeAxis(axis);
        graph->repaint();
        EXPECT_FALSE(graph->fullNoticeShown());
        EXPECT_EQ(countColour(graph->image(), EncoderGraph::axisColour(), corner), 0);
    }
}

// A live curve that stays within three pixels at the fixed scale for kFlatSamples samples gets a notice,
// once, that points at the Auto scale; a curve with room, or Auto scale, gets none.
TEST_F(GraphTimeAxisTest, FlatCurveNoticePointsAtAutoScale) {
    struct Case {
        int pixels; // the curve's zig-zag height
        bool autoScale;
        bool notice;
    };
    for (const Case c : {Case{2, false, true}, Case{8, false, false}, Case{2, true, false}}) {
        model->clear();
        model->displaySettings.timeAxis = TimeAxis::SamplePerPixel;
        auto graph = makeShownGraph(model.get(), 400, kHeight); // room for every sample
        graph->setAutoScale(c.autoScale);
        graph->repaint();
        std::vector<int32_t> values;
        for (int i = 0; i < 200; ++i)
            values.push_back(countsFor(i % 2 == 0 ? 0 : c.pixels));
        deliver(*graph, std::vector<int32_t>(values.begin(), values.begin() + 100), {60, 40});
        EXPECT_FALSE(graph->flatNoticeShown()) << c.pixels << c.autoScale;
        deliver(*graph, std::vector<int32_t>(values.begin() + 100, values.end()), {50, 50});
        EXPECT_EQ(graph->flatNoticeShown(), c.notice) << c.pixels << c.autoScale;
        const QImage incremental = graph->image();
        const QRect corner(45, 0, 150, 20);
        EXPECT_EQ(countColour(incremental, EncoderGraph::axisColour(), corner) > 40, c.notice);
        graph->invalidate(); // a full paint keeps the picture as it was drawn
        EXPECT_EQ(incremental, graph->image()) << c.pixels << c.autoScale;
        if (c.notice)
            incremental.save(screenshotDirectory() + QStringLiteral("/graph_flat_notice.png"));
    }
}

TEST_F(GraphTimeAxisTest, MarkersInEveryMode) {
    for (TimeAxis axis : {TimeAxis::SamplePerPixel, TimeAxis::FollowNewest, TimeAxis::WholeRun}) {
        model->clear();
        auto graph = graphIn(axis);
        graph->setMarkers({{20, "PID"}, {150, "later"}});
        deliver(*graph, std::vector<int32_t>(60, countsFor(30)), {60});
        const int x = static_cast<int>(45 + graph->layout().columnOf(20));
        // A dotted line: every other pixel of the plot's height (the curve lies lower), none in the next
        // column.
        EXPECT_EQ(countColour(graph->image(), EncoderGraph::markerColour(), QRect(x, 0, 1, 41)), 21);
        EXPECT_EQ(countColour(graph->image(), EncoderGraph::markerColour(), QRect(x + 1, 0, 50, 99)), 0);
        // Its label to the right, in the label colour; the marker after the data is not drawn yet.
        EXPECT_GT(countColour(graph->image(), EncoderGraph::labelTextColour(), QRect(x + 1, 0, 40, 16)), 0);
    }
}

TEST_F(GraphTimeAxisTest, AMarkLabelThatWouldRunOffTheRightEdgeIsDrawnToTheLeftOfItsLine) {
    auto graph = graphIn(TimeAxis::SamplePerPixel);
    graph->setMarkers({{100, "Closed loop on"}});
    deliver(*graph, std::vector<int32_t>(kColumns, countsFor(30)), {90, kColumns - 90});
    const int x = 45 + 100;
    EXPECT_GT(countColour(graph->image(), EncoderGraph::labelTextColour(), QRect(x - 40, 0, 39, 16)), 0);
    EXPECT_EQ(countColour(graph->image(), EncoderGraph::labelTextColour(), QRect(x + 1, 0, 10, 16)), 0);
}

} // namespace
