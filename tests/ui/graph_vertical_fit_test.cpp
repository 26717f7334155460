// The graph's vertical fit (Auto scale, Centre) and its hover read-out.
#include "GraphPictures.h"

#include "base/TextFormat.h"
#include "ui/graph/HoverText.h"
#include "ui/graph/VerticalFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "UiTestMain.h"

namespace {

bool inOneTwoFiveSeries(int step) {
    while (step % 10 == 0)
        step /= 10;
    return step == 1 || step == 2 || step == 5;
}

TEST(VerticalFitTest, AutoPicksRoundStepsWithTheMargin) {
    struct Case {
        const char* name;
        double lo, hi, mean;
        bool centred;
        int half;
        int labelStep, labelArcsec;
        double base;
    } cases[] = {
        {"a few arc-seconds", -3, 7, 2, false, 84, 21, 2, 0},
        {"the same, centred", -3, 7, 2.5, true, 84, 27, 2, 2.5},
        {"far from zero", 1000, 1300, 1150, false, 200, 27, 200, 0},
        {"far from zero, centred", 1000, 1300, 1150, true, 200, 24, 20, 1150},
        {"thinner than a label step", 0.2, 0.4, 0.3, true, 84, 69, 1, 0.3},
        {"flat", 0, 0, 0, false, 84, 69, 1, 0},
        {"a wide swing", -1e8, 1e8, 0, false, 100, 45, 50000000, 0},
        {"no room", -3, 7, 2, false, 0, 20, 1000000000, 0},
    };
    for (const Case& c : cases) {
        const VerticalFit::AutoScale fit = VerticalFit::fitAuto(c.lo, c.hi, c.mean, c.centred, c.half);
        EXPECT_EQ(fit.labelStep, c.labelStep) << c.name;
        EXPECT_EQ(fit.labelArcsec, c.labelArcsec) << c.name;
        EXPECT_DOUBLE_EQ(fit.baseArcsec, c.base) << c.name;
        EXPECT_TRUE(inOneTwoFiveSeries(fit.labelArcsec)) << c.name;
        if (c.half > 0) {
            // A tenth of the curve's extent from the zero line stays free on each side.
            const double pixelsPerArcsec = double(fit.labelStep) / fit.labelArcsec;
            EXPECT_LE((c.hi - fit.baseArcsec) * pixelsPerArcsec * 1.1, c.half + 1e-9) << c.name;
            EXPECT_LE((fit.baseArcsec - c.lo) * pixelsPerArcsec * 1.1, c.half + 1e-9) << c.name;
        }
    }
}

TEST(VerticalFitTest, RefitOnlyWhenTheCurveLeavesShrinksOrItsMeanMoves) {
    VerticalFit::Choice autoScale;
    autoScale.autoScale = true;
    autoScale.arcsecPerUnit = 1.0;
    autoScale.zeroY = 84;
    autoScale.plotHeight = 169;
    VerticalFit::Choice centred = autoScale;
    centred.autoScale = false;
    centred.centre = true;
    centred.fixedPixelsPerUnit = 2.0;
    VerticalFit::Choice fixed = centred;
    fixed.centre = false;
    const VisibleCurve start{-3, 7, 2, 100};
    struct Case {
        const char* name;
        const VerticalFit::Choice* choice;
        VisibleCurve now;
        bool refit;
    } cases[] = {
        {"auto, unchanged", &autoScale, start, false},
        {"auto, grown into the margin", &autoScale, {-3.4, 7.6, 2, 100}, false},
        {"auto, leaving at the bottom", &autoScale, {-3, 8.5, 2, 100}, true},
        {"auto, leaving at the top", &autoScale, {-8.5, 7, 2, 100}, true},
        {"auto, shrunk to a fifth", &autoScale, {1, 3, 2, 100}, true},
        {"auto, no samples", &autoScale, {0, 0, 0, 0}, false},
        {"centre, mean 1.5 pixels off", &centred, {-3, 7, 2.75, 100}, false},
        {"centre, mean 4 pixels off", &centred, {-3, 7, 4, 100}, true},
        {"fixed, far away", &fixed, {1e6, 2e6, 1.5e6, 100}, false},
    };
    for (const Case& c : cases) {
        const VerticalMapping current = VerticalFit::map(*c.choice, start);
        EXPECT_EQ(VerticalFit::needsRefit(current, *c.choice, c.now), c.refit) << c.name;
    }
}

class GraphFitTest : public ::testing::Test {
protected:
    void SetUp() override { model = std::make_unique<AppModel>(); }
    // Curve rows of every plot column.
    static std::vector<int> curveRowsOfPlot(const EncoderGraph& graph) {
        std::vector<int> rows;
        for (int x = graph.leftMargin(); x < graph.clientWidth(); ++x)
            for (int y : rowsOf(graph.image(), x))
                rows.push_back(y);
        return rows;
    }
    std::unique_ptr<AppModel> model;
};

TEST_F(GraphFitTest, AutoFitsTheVisibleCurve) {
    model->displaySettings.autoScale = true;
    // A 25-bit encoder: from -3" to +7" and back.
    const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
    std::vector<int32_t> values;
    for (int i = 0; i < 200; ++i)
        values.push_back(static_cast<int32_t>(
            std::lround((2.0 + 5.0 * std::sin(2 * std::numbers::pi * i / 100.0)) * countsPerArcsec)));
    appendSamples(*model, values);
    auto graph = std::make_unique<EncoderGraph>(model.get());
    graph->setEncoderBits(25);
    graph->resize(300, 200); // plot height 169, zero line at 84
    graph->show();
    graph->repaint();
    EXPECT_EQ(graph->mapping().labelArcsec, 2);
    EXPECT_EQ(graph->mapping().labelStep, 21);
    const std::vector<int> rows = curveRowsOfPlot(*graph);
    ASSERT_FALSE(rows.empty());
    const auto [top, bottom] = std::minmax_element(rows.begin(), rows.end());
    // 10.5 pixels per arc-second, the zero line at 0: the curve from 31 pixels above it to 73 below.
    EXPECT_NEAR(*top, 84 - 31, 1);
    EXPECT_NEAR(*bottom, 84 + 73, 1);
    // Label ticks every 21 pixels from the zero line.
    for (int y : {84 - 63, 84 - 21, 84, 84 + 21, 84 + 63})
        EXPECT_EQ(graph->image().pixelColor(41, y), EncoderGraph::axisColour()) << y;
    EXPECT_NE(graph->image().pixelColor(41, 84 + 20), EncoderGraph::axisColour());
}

TEST_F(GraphFitTest, CentrePutsTheMeanOnTheZeroLine) {
    // Live samples at +50" with a swing of 10" (25-bit counts): at "5 arcsecs = 10 pixel" they would lie
    // 100 pixels below the zero line, out of the plot.
    const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
    std::vector<int32_t> values;
    for (int i = 0; i < 250; ++i)
        values.push_back(static_cast<int32_t>(
            std::lround((50.0 + 10.0 * std::sin(2 * std::numbers::pi * i / 50.0)) * countsPerArcsec)));
    appendSamples(*model, values);
    model->displaySettings.scaleIndex = 3;
    model->displaySettings.centre = true;
    model->displaySettings.verticalOffset = 30; // ignored while centred
    auto graph = std::make_unique<EncoderGraph>(model.get());
    graph->setEncoderBits(25);
    graph->setScale(3);
    graph->resize(300, 200);
    graph->show();
    graph->repaint();
    const std::vector<int> rows = curveRowsOfPlot(*graph);
    ASSERT_FALSE(rows.empty());
    double sum = 0;
    for (int y : rows)
        sum += y;
    EXPECT_NEAR(sum / rows.size(), 84.0, 1.0);
    const auto [top, bottom] = std::minmax_element(rows.begin(), rows.end());
    EXPECT_NEAR(*top, 84 - 20, 1);
    EXPECT_NEAR(*bottom, 84 + 20, 1);
    // What the zero line stands for is written over the picture.
    EXPECT_EQ(graph->zeroLineNote().left(21).toStdString(), "Zero line: mean +50.0");
    EXPECT_NE(graph->grab().toImage().copy(45, 140, 120, 30), graph->image().copy(45, 140, 120, 30));
}

// A night of absolute positions far from zero, opened with the display settings at their defaults
// (fixed "50 arcsecs = 10 pixel", not centred): drawn fitted to its spread and centred on its mean, the
// note saying where zero is, and every scale label whole, also on a scale whose labels are wide.
TEST_F(GraphFitTest, AnOpenedLogFitsItsSpreadAndItsLabelsStayWhole) {
    std::vector<double> log;
    for (int i = 0; i < 4000; ++i)
        log.push_back(38625.0 + 8.0 * std::sin(2 * std::numbers::pi * i / 479.0));
    auto graph = makeShownGraph(model.get(), 400, 300);
    graph->showLog(LogSeries{log.data(), log.size(), nullptr, 0.25});
    const std::vector<int> rows = curveRowsOfPlot(*graph);
    ASSERT_FALSE(rows.empty());
    const auto [top, bottom] = std::minmax_element(rows.begin(), rows.end());
    const int zero = graph->zeroY();
    EXPECT_NEAR((*top + *bottom) / 2.0, zero, 5.0);
    EXPECT_GT(*bottom - *top, zero); // at least half the plot's height
    EXPECT_EQ(graph->zeroLineNote().toStdString(), "Zero line: mean +10d43'45\"");

    // Live samples swinging by 13d20' on Auto: labels such as -11d6'40" (a 32-bit encoder).
    std::vector<int32_t> counts;
    for (int i = 0; i < 300; ++i)
        counts.push_back(
            static_cast<int32_t>(48000.0 * std::sin(2 * std::numbers::pi * i / 150.0) * 3314.018));
    appendSamples(*model, counts);
    graph->showLive();
    graph->setAutoScale(true);
    graph->resize(500, 420);
    graph->repaint();
    const QFontMetrics metrics(graph->labelFont());
    int widest = 0;
    const VerticalMapping& m = graph->mapping();
    for (int k = -graph->zeroY() / m.labelStep; k <= (graph->plotHeight() - graph->zeroY()) / m.labelStep;
         ++k) {
        char text[64];
        appendAngle(text, sizeof text, 0, k * m.labelArcsec);
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(text)));
    }
    EXPECT_GT(widest, EncoderGraph::kLeftMargin - 8);
    EXPECT_LE(widest, graph->leftMargin() - 8);
    EXPECT_EQ(graph->plotWidth(), 500 - graph->leftMargin());
}

TEST(HoverTextTest, SampleTimeAndValue) {
    struct Case {
        uint64_t sample;
        double seconds, value;
        bool arcsec;
        const char* text;
    } cases[] = {
        {0, -1, 1.234, true, "Sample 0\nValue +1.23\""},
        {1234, 308.25, -0.5, true, "Sample 1234\nTime 0:05:08.25\nValue -0.50\""},
        {7, 3599.999, 12, false, "Sample 7\nTime 1:00:00.00\nValue 12 counts"},
        {3, 1.0, NAN, true, "Sample 3\nTime 0:00:01.00\nValue -"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hoverText(c.sample, c.seconds, c.value, c.arcsec), c.text) << c.text;
    EXPECT_EQ(zeroLineText(-12.345), "Zero line: mean -12.35\"");
    EXPECT_EQ(zeroLineText(5000.4), "Zero line: mean +1d23'20\"");
    EXPECT_EQ(zeroLineText(1e300), "Zero line: mean +596523d14'7\"");
}

void moveMouse(QWidget& widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

TEST_F(GraphFitTest, HoverShowsTheSampleUnderTheCursor) {
    model->displaySettings.scaleIndex = 0;
    appendSamples(*model, std::vector<int32_t>(50, 3314 * 2)); // +2" on a 32-bit encoder
    auto graph = makeShownGraph(model.get(), 300, 200);
    graph->setLiveLogRate(2); // 4 Hz
    moveMouse(*graph, QPoint(45 + 10, 60));
    EXPECT_EQ(graph->hoverText().toStdString(), "Sample 10\nTime 0:00:02.50\nValue +2.00\"");
    moveMouse(*graph, QPoint(45 + 60, 60)); // after the last sample
    EXPECT_TRUE(graph->hoverText().isEmpty());
    moveMouse(*graph, QPoint(20, 60)); // over the scale
    EXPECT_TRUE(graph->hoverText().isEmpty());
    graph->setLiveLogRate(-1); // unknown rate (test mode): no time
    moveMouse(*graph, QPoint(45, 60));
    EXPECT_EQ(graph->hoverText().toStdString(), "Sample 0\nValue +2.00\"");
    // The read-out is drawn over the picture, not into it.
    const QImage shown = graph->grab().toImage();
    EXPECT_NE(shown, graph->image());

    // Whole run of a log with its own times: in a column of many samples, the one nearest the cursor.
    std::vector<double> log(100000, 0.0);
    std::vector<double> times(log.size());
    for (size_t i = 0; i < times.size(); ++i)
        times[i] = 10.0 + 0.5 * i;
    log[50001] = -3.0; // drawn at the top of the log's fitted scale
    graph->showLog(LogSeries{log.data(), log.size(), times.data(), 0.5});
    const int column = static_cast<int>(50001LL * 255 / 100000);
    const VerticalMapping& m = graph->mapping();
    const int y = graph->zeroY() - m.offset + static_cast<int>(std::trunc((-3.0 - m.base) * m.pixelsPerUnit));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(graph.get(), &leave);
    const QImage unread = graph->grab().toImage(); // with the zero line's note: the log is centred
    moveMouse(*graph, QPoint(45 + column, y + 2));
    EXPECT_EQ(graph->hoverText().toStdString(), "Sample 50001\nTime 6:56:50.50\nValue -3.00\"");

    QApplication::sendEvent(graph.get(), &leave);
    EXPECT_TRUE(graph->hoverText().isEmpty());
    EXPECT_EQ(graph->grab().toImage(), unread);
}

} // namespace
