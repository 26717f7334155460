// Renders the encoder graph in its time axes and vertical fits, with markers, the hover read-out and the
// notice of a full graph, to PNG files under <build>/screenshots for visual review (the Display settings
// dialog is among the dialogs' screenshots).
#include "GraphPictures.h"
#include "NightPicture.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPixmap>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <utility>

#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

QString screenshotPath(const char* file) {
    return screenshotDirectory() + QLatin1Char('/') + QLatin1String(file);
}

void save(QWidget& widget, const char* file) {
    QApplication::processEvents();
    const QPixmap picture = widget.grab();
    ASSERT_FALSE(picture.isNull()) << file;
    EXPECT_TRUE(picture.save(screenshotPath(file))) << file;
}

// A night's tracking error in arc-seconds: periodic error of 7" over 480 samples, a harmonic, a slow
// drift and noise, plus the odd single-sample jolt.
double trackingError(int i, std::mt19937& rng) {
    std::normal_distribution<double> noise(0.0, 0.3);
    const double phase = 2.0 * std::numbers::pi * i / 480.0;
    double e = 7.0 * std::sin(phase) + 2.0 * std::sin(2.0 * phase + 1.0) + 0.00002 * i + noise(rng);
    if (i % 15013 == 7000)
        e += 14.0;
    return e;
}

class GraphScreenshots : public ::testing::Test {
protected:
    void SetUp() override {
        model = std::make_unique<AppModel>();
        model->deviceInfo.encoderBits = 25;
        model->displaySettings.scaleIndex = 2; // "2 arcsecs = 10 pixel"
    }
    // n live samples of a 25-bit encoder around offsetArcsec.
    void fill(int n, double offsetArcsec = 0.0) {
        std::mt19937 rng(11);
        const double countsPerArcsec = std::ldexp(1.0, 25) / 1296000.0;
        model->clear();
        std::vector<int32_t> values;
        for (int i = 0; i < n; ++i)
            values.push_back(
                static_cast<int32_t>(std::lround((trackingError(i, rng) + offsetArcsec) * countsPerArcsec)));
        appendSamples(*model, values);
    }
    std::unique_ptr<EncoderGraph> graph(TimeAxis axis) {
        model->displaySettings.timeAxis = axis;
        auto g = std::make_unique<EncoderGraph>(model.get());
        g->setEncoderBits(25);
        g->setScale(model->displaySettings.scaleIndex);
        g->setLiveLogRate(2);
        g->resize(800, 300);
        g->show();
        g->repaint();
        return g;
    }
    std::unique_ptr<AppModel> model;
};

TEST_F(GraphScreenshots, TimeAxes) {
    fill(1200);
    auto perPixel = graph(TimeAxis::SamplePerPixel);
    EXPECT_TRUE(perPixel->fullNoticeShown());
    save(*perPixel, "graph_sample_per_pixel_full.png");

    fill(3000);
    auto follow = graph(TimeAxis::FollowNewest);
    follow->setMarkers({{2400, "PID 100/40/120"}, {2650, "Closed loop on"}, {2700, "Current 900 mA"}});
    save(*follow, "graph_follow_newest_markers.png");

    fill(static_cast<int>(AppModel::kMaxSamples));
    auto whole = graph(TimeAxis::WholeRun);
    whole->setMarkers({{50000, "PID 100/40/120"}, {150000, "Closed loop off"}, {199000, "Current 900 mA"}});
    save(*whole, "graph_whole_run.png");

    // An opened log of four million samples (eight hours at 128 Hz), in the dark scheme.
    std::mt19937 rng(5);
    std::vector<double> log(4000000);
    for (size_t i = 0; i < log.size(); ++i)
        log[i] = trackingError(static_cast<int>(i % 1000000), rng);
    model->displaySettings.colorScheme = 0;
    auto dark = graph(TimeAxis::SamplePerPixel);
    dark->showLog(LogSeries{log.data(), log.size(), nullptr, 1.0 / 128});
    EXPECT_EQ(dark->layout().capacity(), log.size());
    save(*dark, "graph_whole_run_log_dark.png");
}

// The rows of the plot that the curve reaches, topmost and lowest; -1, -1 when it is nowhere.
std::pair<int, int> curveRows(const EncoderGraph& g) {
    int top = -1;
    int bottom = -1;
    for (int x = g.leftMargin(); x < g.image().width(); ++x) {
        for (int y : rowsOf(g.image(), x)) {
            top = top < 0 ? y : std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return {top, bottom};
}

TEST_F(GraphScreenshots, AutoAndCentre) {
    // Auto fits the curve into the plot's height: nothing cut off, most of the height used.
    fill(700);
    model->displaySettings.autoScale = true;
    auto automatic = graph(TimeAxis::SamplePerPixel);
    save(*automatic, "graph_auto.png");
    const auto [top, bottom] = curveRows(*automatic);
    EXPECT_GT(top, 0);
    EXPECT_LT(bottom, automatic->plotHeight() - 1);
    EXPECT_GT(bottom - top, automatic->plotHeight() / 2);

    // Raw positions 5000" from zero, far off any fixed scale: Auto and Centre together find the curve.
    model->displaySettings.centre = true;
    fill(700, 5000.0);
    auto raw = graph(TimeAxis::SamplePerPixel);
    save(*raw, "graph_auto_centre_raw.png");
    const auto [rawTop, rawBottom] = curveRows(*raw);
    EXPECT_GT(rawTop, 0);
    EXPECT_LT(rawBottom, raw->plotHeight() - 1);
    EXPECT_GT(rawBottom - rawTop, raw->plotHeight() / 2);

    fill(30000, 40.0);
    auto night = graph(TimeAxis::FollowNewest);
    night->setNight(true);
    night->repaint();
    save(*night, "graph_auto_centre_night.png");
    EXPECT_LE(maxGreenOrBlue(night->grab().toImage()), kNightTolerance);
}

TEST_F(GraphScreenshots, Hover) {
    fill(700);
    auto g = graph(TimeAxis::SamplePerPixel);
    const QPoint at(45 + 300, 120);
    QMouseEvent move(QEvent::MouseMove, at, g->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(g.get(), &move);
    EXPECT_FALSE(g->hoverText().isEmpty());
    save(*g, "graph_hover.png");
}

} // namespace
