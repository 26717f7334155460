#include "ui/graph/EncoderGraph.h"

#include "base/TextFormat.h"
#include "model/store/AppModel.h"

#include <QPainter>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "GraphPictures.h"
#include "UiTestMain.h"

namespace {

class EncoderGraphTest : public ::testing::Test {
protected:
    void SetUp() override { model = std::make_unique<AppModel>(); }

    // A graph of the given client size, already painted once.
    std::unique_ptr<EncoderGraph> makeGraph(int width, int height) {
        auto graph = std::make_unique<EncoderGraph>(model.get());
        graph->resize(width, height);
        graph->show();
        graph->invalidate();
        return graph;
    }

    void setSamples(const std::vector<int32_t>& values) {
        model->sampleCount = 0;
        for (int32_t v : values)
            model->samples[model->sampleCount++] = v;
    }

    // Encoder counts that land exactly `pixels` away from the zero line (positive: below).
    static int32_t countsFor(int pixels, double pixelsPerCount) {
        const double counts = std::ceil(std::abs(pixels) / pixelsPerCount);
        return static_cast<int32_t>(pixels < 0 ? -counts : counts);
    }

    // Text is smoothed: count the pixels that are reddish ink on the background.
    static int countRedInk(const QImage& image, QRect area, const QColor& background) {
        area &= image.rect();
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c != background && c.red() > c.green() + 40 && c.red() > c.blue() + 40)
                    ++n;
            }
        return n;
    }

    std::unique_ptr<AppModel> model;
};

TEST_F(EncoderGraphTest, GeometryFollowsClientSize) {
    auto graph = makeGraph(300, 130);
    EXPECT_EQ(graph->leftMargin(), 45);
    EXPECT_EQ(graph->clientWidth(), 300);
    EXPECT_EQ(graph->plotWidth(), 255);
    EXPECT_EQ(graph->plotHeight(), 99);
    EXPECT_EQ(graph->zeroY(), 49);

    graph->resize(301, 131); // odd plot height rounds the zero line down
    EXPECT_EQ(graph->plotHeight(), 100);
    EXPECT_EQ(graph->zeroY(), 50);

    graph->resize(45, 33);
    EXPECT_EQ(graph->plotWidth(), 0);
    EXPECT_EQ(graph->plotHeight(), 0);
    EXPECT_EQ(graph->zeroY(), 0);

    graph->resize(46, 34);
    EXPECT_EQ(graph->plotWidth(), 1);
    EXPECT_EQ(graph->plotHeight(), 3);
    EXPECT_EQ(graph->zeroY(), 1);
}

TEST_F(EncoderGraphTest, ScaleTableAndEncoderWidth) {
    EncoderGraph graph(model.get());
    // Starts from the model's display settings: scale 6 for a 32-bit encoder.
    EXPECT_EQ(graph.scaleIndex(), 6);
    EXPECT_EQ(graph.encoderBits(), 32);
    EXPECT_EQ(graph.labelStep(), 20);
    EXPECT_EQ(graph.labelArcsec(), 100);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 20.0 / (100 * 3314.018));

    graph.setScale(2);
    EXPECT_EQ(graph.labelStep(), 25);
    EXPECT_EQ(graph.labelArcsec(), 5);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 25.0 / (5 * 3314.018));

    // A new width changes nothing until the next setScale.
    graph.setEncoderBits(25);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 25.0 / (5 * 3314.018));
    graph.setScale(0);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 20.0 / 25.89);
    graph.setEncoderBits(29);
    graph.setScale(9);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 20.0 / (7200 * 414.2522));

    // Unknown widths keep the previous factor; the label spacing still follows the index.
    graph.setEncoderBits(12);
    graph.setScale(10);
    EXPECT_EQ(graph.labelStep(), 10);
    EXPECT_EQ(graph.labelArcsec(), 3600);
    EXPECT_DOUBLE_EQ(graph.pixelsPerCount(), 20.0 / (7200 * 414.2522));
    graph.setScale(-1); // out of the table on the other side: the same wide scale, no stray read
    EXPECT_EQ(graph.labelStep(), 10);
    EXPECT_EQ(graph.labelArcsec(), 3600);
}

TEST_F(EncoderGraphTest, CountsMapToPixelsWithTruncation) {
    model->displaySettings.scaleIndex = 0;
    struct Case {
        int32_t counts;
        int offset; // expected rows below the zero line
    } cases[] = {{3314, 19}, {3315, 20}, {-1000, -6}, {0, 0}};
    for (const Case& c : cases) {
        setSamples(std::vector<int32_t>(20, c.counts));
        auto graph = makeGraph(200, 130);
        const QImage image = graph->grab().toImage();
        std::vector<int> rows = rowsOf(image, graph->leftMargin() + 3);
        ASSERT_EQ(rows.size(), 1u) << c.counts;
        EXPECT_EQ(rows[0], graph->zeroY() + c.offset) << c.counts;
    }
}

TEST_F(EncoderGraphTest, VerticalOffsetLiftsTheCurve) {
    model->displaySettings.scaleIndex = 0;
    setSamples(std::vector<int32_t>(20, 3314));
    model->displaySettings.verticalOffset = 10;
    auto graph = makeGraph(200, 130);
    EXPECT_EQ(rowsOf(graph->image(), 50), std::vector<int>{49 + 19 - 10});

    // Applied by the settings path: the offset is stored, then a full repaint shows it.
    graph->setVerticalOffset(-5);
    graph->repaint();
    EXPECT_EQ(rowsOf(graph->image(), 50), std::vector<int>{49 + 19 + 5});
}

TEST_F(EncoderGraphTest, PictureElementsInBothSchemes) {
    for (int scheme : {0, 1}) {
        model->displaySettings.colorScheme = scheme;
        auto graph = makeGraph(200, 130);
        const QImage image = graph->grab().toImage();
        const QColor background = scheme == 0 ? QColor(Qt::black) : QColor(Qt::white);
        EXPECT_EQ(image.pixelColor(120, 20), background) << scheme;
        // Axis: x = 44 from the top to the bottom axis; bottom axis at y = 99 out to the last column.
        EXPECT_EQ(image.pixelColor(44, 0), EncoderGraph::axisColour());
        EXPECT_EQ(image.pixelColor(44, 98), EncoderGraph::axisColour());
        EXPECT_EQ(image.pixelColor(199, 99), EncoderGraph::axisColour());
        EXPECT_EQ(image.pixelColor(44, 100), background);
        // Zero line from the plot's left edge to the right edge, over the grid row.
        EXPECT_EQ(image.pixelColor(45, 49), EncoderGraph::centreLineColour());
        EXPECT_EQ(image.pixelColor(199, 49), EncoderGraph::centreLineColour());
        // Ticks of the label at the zero line: x 40..43.
        EXPECT_EQ(image.pixelColor(40, 49), EncoderGraph::axisColour());
        EXPECT_EQ(image.pixelColor(43, 49), EncoderGraph::axisColour());
        EXPECT_NE(image.pixelColor(39, 49), EncoderGraph::axisColour());
        // Grid dots every 10 pixels from the zero line and the left edge; nothing in between.
        EXPECT_EQ(image.pixelColor(55, 59), EncoderGraph::gridColour());
        EXPECT_EQ(image.pixelColor(195, 89), EncoderGraph::gridColour());
        EXPECT_EQ(image.pixelColor(45, 9), EncoderGraph::gridColour());
        EXPECT_EQ(image.pixelColor(56, 59), background);
        EXPECT_EQ(image.pixelColor(55, 64), background);
        // No grid row on the bottom axis or at the top edge.
        EXPECT_EQ(countColour(image, EncoderGraph::gridColour(), QRect(0, 99, 200, 1)), 0);
        EXPECT_EQ(countColour(image, EncoderGraph::gridColour(), QRect(0, 100, 200, 30)), 0);
        // "Fast" and "Slow" in the label colour near the top and bottom of the left margin.
        EXPECT_GT(countRedInk(image, QRect(0, 0, 40, 16), background), 10);
        EXPECT_GT(countRedInk(image, QRect(0, 87, 40, 18), background), 10);
    }
}

// Draws the expected label text the way a label is placed: right-aligned at leftMargin - 8, its top
// at y - 6, and compares that area with the graph's picture.
static bool labelMatches(const EncoderGraph& graph, const QImage& image, int y, const char* text) {
    QImage expected(image.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter painter(&expected);
        painter.setFont(graph.labelFont());
        painter.setPen(EncoderGraph::labelTextColour());
        const int right = graph.leftMargin() - 8;
        painter.drawText(QRect(right - 400, y - 6, 400, 64), Qt::AlignRight | Qt::AlignTop,
                         QString::fromLatin1(text));
    }
    const int rows = QFontMetrics(graph.labelFont()).height();
    for (int row = y - 6; row < y - 6 + rows; ++row)
        for (int x = 0; x < graph.leftMargin() - 7; ++x)
            if (expected.pixel(x, row) != image.pixel(x, row))
                return false;
    return true;
}

TEST_F(EncoderGraphTest, LabelFontIsThinAndFitsTheMargin) {
    auto graph = makeGraph(300, 200);
    EXPECT_EQ(graph->labelFont().weight(), QFont::Thin);
    const QFontMetrics metrics(graph->labelFont());
    EXPECT_LE(metrics.height(), 14);
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("+3'20\"")), EncoderGraph::kLeftMargin - 9);
}

TEST_F(EncoderGraphTest, LabelsAtTheDefaultScale) {
    auto graph = makeGraph(300, 200); // plot height 169, zero line at 84
    const QImage image = graph->grab().toImage();
    char text[64];
    struct Label {
        int y;
        int arcseconds;
    } labels[] = {{84, 0}, {64, -100}, {44, -200}, {24, -300}, {104, 100}, {124, 200}, {144, 300}};
    for (const Label& label : labels) {
        appendAngle(text, sizeof text, 0, label.arcseconds);
        EXPECT_TRUE(labelMatches(*graph, image, label.y, text)) << text;
        EXPECT_EQ(image.pixelColor(41, label.y), EncoderGraph::axisColour()) << text;
    }
    // The comparison tells texts apart, and the sign shows which side of the zero line a label is on:
    // larger values lie lower, so the labels below the zero line are the positive ones.
    EXPECT_FALSE(labelMatches(*graph, image, 64, "+1'40\""));
    EXPECT_FALSE(labelMatches(*graph, image, 64, "-1'41\""));
    // No label at y = 4 (too close to the top) or at y = 164 (too close to the bottom axis).
    EXPECT_NE(image.pixelColor(41, 4), EncoderGraph::axisColour());
    EXPECT_NE(image.pixelColor(41, 164), EncoderGraph::axisColour());
}

TEST_F(EncoderGraphTest, TinyPicturesDrawNoCurveOrNoLabels) {
    model->displaySettings.scaleIndex = 0;
    setSamples(std::vector<int32_t>(50, 3314));

    // 45 pixels wide: nothing left for samples; the picture equals the one of an empty store.
    auto narrow = makeGraph(45, 130);
    const QImage withSamples = narrow->image();
    model->sampleCount = 0;
    narrow->invalidate();
    EXPECT_EQ(withSamples, narrow->image());
    narrow->drawNew(0, 0);
    setSamples(std::vector<int32_t>(50, 3314));
    narrow->drawNew(0, 50);
    EXPECT_EQ(withSamples, narrow->image());

    // 33 pixels high: no label ticks and no grid rows.
    auto flat = makeGraph(200, 33);
    const QImage image = flat->image();
    EXPECT_EQ(countColour(image, EncoderGraph::axisColour(), QRect(40, 1, 4, 32)), 0);
    EXPECT_EQ(countColour(image, EncoderGraph::gridColour(), image.rect()), 0);
}

TEST_F(EncoderGraphTest, IncrementalDrawingMatchesAFullPaint) {
    model->displaySettings.scaleIndex = 0;
    auto graph = makeGraph(150, 130); // 105 columns for 120 samples: the last 15 are not drawn
    const double ppc = graph->pixelsPerCount();
    // A zig-zag with steep jumps in both directions, delivered in uneven batches.
    std::vector<int32_t> values;
    for (int i = 0; i < 120; ++i)
        values.push_back(countsFor((i % 7) * 6 - 18 + (i % 3 == 0 ? 25 : 0), ppc));
    uint32_t first = 0;
    for (uint32_t batch : {1u, 5u, 17u, 10u, 40u, 47u}) {
        for (uint32_t i = 0; i < batch; ++i)
            model->samples[model->sampleCount++] = values[first + i];
        graph->drawNew(first, batch);
        first += batch;
    }
    const QImage incremental = graph->image();
    graph->invalidate();
    EXPECT_EQ(incremental, graph->image());
    EXPECT_FALSE(rowsOf(incremental, 149).empty());
}

TEST_F(EncoderGraphTest, DrawNewDrawsOnlyTheNewStretch) {
    model->displaySettings.scaleIndex = 0;
    setSamples(std::vector<int32_t>(10, 3314));
    auto graph = makeGraph(200, 130);
    // Change the old samples behind the graph's back: drawNew must not redraw them.
    for (int i = 0; i < 10; ++i)
        model->samples[i] = -1000;
    for (int i = 0; i < 5; ++i)
        model->samples[model->sampleCount++] = -1000;
    graph->drawNew(10, 5);
    const QImage image = graph->image();
    EXPECT_EQ(rowsOf(image, 47), std::vector<int>{49 + 19}); // old curve kept
    EXPECT_EQ(rowsOf(image, 57), std::vector<int>{49 - 6});  // new stretch
    // The new stretch joins the old curve: the step from the old point at x = 54 to the new one at 55.
    EXPECT_FALSE(rowsOf(image, 54).empty());
}

TEST_F(EncoderGraphTest, FirstSegmentStartsWithAMove) {
    model->displaySettings.scaleIndex = 0;
    auto graph = makeGraph(200, 130); // empty store; the last line drawn ends at the zero line's end
    setSamples(std::vector<int32_t>(5, 3314));
    graph->drawNew(0, 5);
    const QImage image = graph->image();
    // Samples 0..4 at x 45..49; the end point of the last line is not painted.
    for (int x = 45; x <= 48; ++x)
        EXPECT_EQ(rowsOf(image, x), std::vector<int>{68}) << x;
    for (int x = 49; x < 200; ++x)
        EXPECT_TRUE(rowsOf(image, x).empty()) << x;
}

TEST_F(EncoderGraphTest, StepsAreFilledHalfInEachColumnWithoutTheEndPoint) {
    model->displaySettings.scaleIndex = 0;
    auto graph = makeGraph(200, 130);
    setSamples({0, countsFor(10, graph->pixelsPerCount())});
    graph->drawNew(0, 2);
    const QImage image = graph->image();
    EXPECT_EQ(rowsOf(image, 45), (std::vector<int>{49, 50, 51, 52, 53}));
    EXPECT_EQ(rowsOf(image, 46), (std::vector<int>{54, 55, 56, 57, 58}));
    // Extending the curve paints the former end point as the start of the next line.
    model->samples[model->sampleCount++] = model->samples[1];
    graph->drawNew(2, 1);
    EXPECT_EQ(rowsOf(graph->image(), 46), (std::vector<int>{54, 55, 56, 57, 58, 59}));
}

TEST_F(EncoderGraphTest, ExtremeValuesAndOffsetsStayInsideThePicture) {
    model->displaySettings.scaleIndex = 0;
    model->displaySettings.verticalOffset = INT_MIN;
    setSamples({INT32_MIN, INT32_MAX, INT32_MIN, 0, INT32_MAX});
    auto graph = makeGraph(200, 130);
    graph->setEncoderBits(25);
    graph->setScale(0);
    graph->setVerticalOffset(INT_MAX);
    graph->repaint();
    graph->drawNew(3, 2);
    graph->drawNew(UINT32_MAX, UINT32_MAX); // far beyond the store: nothing to draw
    graph->setVerticalOffset(0);
    graph->repaint();
    // Value 0 at zero; the lines to the extreme values leave the picture through the top and bottom.
    EXPECT_FALSE(rowsOf(graph->image(), 47).empty());
}

TEST_F(EncoderGraphTest, ClearShowsOnlyAxesLabelsAndGrid) {
    model->displaySettings.scaleIndex = 0;
    setSamples(std::vector<int32_t>(100, 3314));
    auto graph = makeGraph(200, 130);
    EXPECT_FALSE(rowsOf(graph->image(), 100).empty());
    model->clear();
    graph->invalidate();
    EXPECT_EQ(countColour(graph->image(), EncoderGraph::curveColour(), QRect(45, 0, 155, 130)), 0);
    EXPECT_EQ(graph->image().pixelColor(55, 59), EncoderGraph::gridColour());
}

} // namespace
