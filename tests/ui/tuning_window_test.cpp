// The tuning window against a scripted controller: the steps as they come in, the values it sends and
// in what order, Stop and Close putting the values of Start back (said only once the controller took
// them), the EEPROM question naming all ten values, a search the store cannot hold, and its pictures by
// day and at night.
#include "engine/EngineEvent.h"
#include "model/analysis/PeAnalysis.h"
#include "model/store/AppModel.h"
#include "ui/common/NightMode.h"
#include "ui/dialogs/TuningWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "EngineCommandRecorder.h"
#include "NightPicture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

constexpr uint32_t kBits = 25;

class ScriptedTuningWindow : public TuningWindow {
public:
    using TuningWindow::TuningWindow;
    bool answer = false;
    int asked = 0;
    QString question;
    qint64 now = 0;

protected:
    bool confirmStore(const QString& text) override {
        ++asked;
        question = text;
        return answer;
    }
    qint64 nowMs() const override { return now; }
};

class TuningWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        model_ = std::make_unique<AppModel>();
        model_->deviceInfo.encoderBits = kBits;
        const uint32_t pid[10] = {80, 40, 120, 80, 40, 120, 20, 30, 0, 0};
        std::copy(pid, pid + 10, model_->deviceInfo.pidParameters);
        model_->controllerPid.read(pid, 0);
        model_->closedLoopSettings.pGain = 999; // typed and Ok'd, never sent: not what the controller holds
        model_->closedLoopSettings.iGain = 40;
        model_->closedLoopSettings.dGain = 120;
        model_->closedLoopSettings.iSamples = 20;
        model_->closedLoopSettings.dSamples = 30;
        model_->logSettings.logRate = 1; // 1 Hz: 10 samples a step of 10 s
        TuningWindow::Host host;
        host.logging = [this] { return logging_; };
        host.startLogging = [this] {
            logging_ = true;
            ++starts_;
        };
        window_ = std::make_unique<ScriptedTuningWindow>(nullptr, model_.get(), &engine_, host);
        setEdit(TuningWindow::IdSeconds, "10");
    }

    void setEdit(int id, const char* text) {
        auto* edit = qobject_cast<QLineEdit*>(window_->control(id));
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromLatin1(text));
    }

    // The tracking error a controller with these gains logs: a sine whose size has its least at P 150.
    void feed(uint32_t p, uint32_t count) {
        const double amplitude = 1.0 + std::pow(std::log(p / 150.0), 2);
        const double perCount = peArcsecPerCount(kBits);
        for (uint32_t i = 0; i < count && model_->sampleCount < AppModel::kMaxSamples; ++i, ++t_)
            model_->samples[model_->sampleCount++] =
                static_cast<int32_t>(std::lround(amplitude * std::sin(0.9 * t_) / perCount));
    }

    // The last SendPid the window sent, or an empty vector.
    std::vector<uint32_t> lastPid() const {
        for (auto it = engine_.calls.rbegin(); it != engine_.calls.rend(); ++it)
            if (it->rfind("SendPid(", 0) == 0) {
                std::vector<uint32_t> v;
                std::string inner = it->substr(8, it->size() - 9);
                for (std::size_t at = 0; at < inner.size();) {
                    const std::size_t end = std::min(inner.find(',', at), inner.size());
                    v.push_back(static_cast<uint32_t>(std::stoul(inner.substr(at, end - at))));
                    at = end + 1;
                }
                return v;
            }
        return {};
    }

    // The controller takes the last values sent: their marker, then a step's samples.
    void take(bool withSamples = true) {
        const std::vector<uint32_t> v = lastPid();
        ASSERT_EQ(v.size(), 10u);
        uint8_t command[21] = {CmdSendPid};
        for (int i = 0; i < 10; ++i) {
            command[1 + 2 * i] = static_cast<uint8_t>(v[static_cast<std::size_t>(i)]);
            command[2 + 2 * i] = static_cast<uint8_t>(v[static_cast<std::size_t>(i)] >> 8);
        }
        model_->appendMarker(command, sizeof command);
        if (withSamples)
            feed(v[0], 10);
        window_->poll();
    }

    int count(const char* call) const {
        return static_cast<int>(std::count_if(engine_.calls.begin(), engine_.calls.end(),
                                              [&](const std::string& c) { return c.rfind(call, 0) == 0; }));
    }

    void save(const char* file) {
        window_->show();
        QApplication::processEvents();
        const QImage picture = window_->grab().toImage();
        picture.save(screenshotDirectory() + QLatin1Char('/') + QLatin1String(file));
        picture_ = picture;
    }

    std::unique_ptr<AppModel> model_;
    EngineCommandRecorder engine_;
    std::unique_ptr<ScriptedTuningWindow> window_;
    bool logging_ = false;
    int starts_ = 0;
    double t_ = 0.0;
    QImage picture_;
};

TEST_F(TuningWindowTest, SearchesStepByStepThenKeepsAndStoresOnlyOnceTheControllerTookTheGains) {
    window_->command(TuningWindow::IdStart);
    EXPECT_EQ(starts_, 1); // logging started through the main dialog
    ASSERT_EQ(window_->state(), TuningWindow::State::Measuring);
    feed(80, 10);
    window_->poll(); // step 0: the gains the controller holds, not the ones typed
    EXPECT_EQ(window_->search()->steps()[0].gains, (PidSearch::Gains{80, 40, 120}));
    int steps = 1;
    while (window_->state() == TuningWindow::State::Taking && steps < 20) {
        const std::vector<uint32_t> v = lastPid();
        EXPECT_TRUE(v[0] >= 20 && v[0] <= 320) << v[0];
        // Only P changes: the other nine values as the controller holds them.
        EXPECT_EQ(std::vector<uint32_t>(v.begin() + 1, v.end()),
                  (std::vector<uint32_t>{40, 120, 80, 40, 120, 20, 30, 0, 0}));
        window_->poll(); // no marker yet: still waiting
        EXPECT_EQ(window_->state(), TuningWindow::State::Taking);
        take();
        ++steps;
    }
    ASSERT_EQ(window_->state(), TuningWindow::State::Choosing) << window_->statusText().toStdString();
    auto* table = window_->findChild<QTableWidget*>(QString::number(TuningWindow::IdTable));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), steps);
    EXPECT_LE(steps, 16);
    const PidSearch::Gains best = window_->search()->bestGains();
    EXPECT_NEAR(best[0], 150, 0.15 * 150);
    EXPECT_TRUE(window_->notesText().contains(QStringLiteral("Best: step")))
        << window_->notesText().toStdString();
    save("tuning_window.png");

    const int sent = count("SendPid");
    window_->answer = false;
    window_->command(TuningWindow::IdKeepAndStore);
    EXPECT_EQ(window_->asked, 1);
    const std::vector<uint32_t> kept = {best[0], 40, 120, 80, 40, 120, 20, 30, 0, 0};
    EXPECT_TRUE(window_->question.contains(QStringLiteral("%1,40,120,80,40,120,20,30,0,0").arg(best[0])))
        << window_->question.toStdString();
    EXPECT_EQ(count("SendPid"), sent); // not asked twice, nothing sent on No
    window_->answer = true;
    window_->command(TuningWindow::IdKeepAndStore);
    EXPECT_EQ(lastPid(), kept);
    window_->poll();
    EXPECT_EQ(count("StoreParameters"), 0); // the gains first, confirmed
    take(false);
    EXPECT_EQ(engine_.calls.back(), "StoreParameters()");
    EXPECT_EQ(window_->state(), TuningWindow::State::Ended);
    EXPECT_EQ(model_->closedLoopSettings.pGain, best[0]);
    // Decided: closing sends nothing more.
    const std::size_t calls = engine_.calls.size();
    window_->done(0);
    EXPECT_EQ(engine_.calls.size(), calls);
}

TEST_F(TuningWindowTest, StopAndCloseRestoreAndSaySoOnlyOnceTheControllerTookTheValues) {
    const std::vector<uint32_t> original = {80, 40, 120, 80, 40, 120, 20, 30, 0, 0};
    for (int way : {TuningWindow::IdStop, TuningWindow::IdClose}) {
        SCOPED_TRACE(way);
        engine_.calls.clear();
        window_->show();
        window_->command(TuningWindow::IdStart);
        feed(80, 10);
        window_->poll();
        ASSERT_EQ(window_->state(), TuningWindow::State::Taking);
        window_->command(way);
        EXPECT_EQ(lastPid(), original);
        EXPECT_EQ(window_->state(), TuningWindow::State::Restoring);
        EXPECT_FALSE(window_->statusText().startsWith(QStringLiteral("Restored")));
        EXPECT_TRUE(window_->isVisible()); // Close waits for the answer
        take(false);
        EXPECT_TRUE(window_->statusText().startsWith(QStringLiteral("Restored P 80, I 40, D 120")))
            << window_->statusText().toStdString();
        EXPECT_EQ(window_->isVisible(), way == TuningWindow::IdStop);
        EXPECT_EQ(count("StoreParameters"), 0);
    }
    // A controller that takes nothing: no "Restored", but what it may hold, after the wait.
    window_->show();
    window_->command(TuningWindow::IdStart);
    feed(80, 10);
    window_->poll();
    window_->command(TuningWindow::IdStop);
    window_->now += TuningRun::kAnswerTimeoutMs + 1;
    window_->poll(); // logging is stopped, the values are sent again at once
    EXPECT_EQ(engine_.calls.back(), "SendPid(80,40,120,80,40,120,20,30,0,0)");
    window_->now += TuningRun::kSentAtOnceTimeoutMs + 1;
    window_->poll();
    EXPECT_EQ(window_->state(), TuningWindow::State::Ended);
    EXPECT_TRUE(
        window_->statusText().startsWith(QStringLiteral("The controller did not confirm the values held "
                                                        "at the start (80,40,120,80,40,120,20,30,0,0)")))
        << window_->statusText().toStdString();
    EXPECT_TRUE(window_->statusText().contains(QStringLiteral("step 1's P ")))
        << window_->statusText().toStdString();
    save("tuning_window_not_confirmed.png");
}

TEST_F(TuningWindowTest, ASearchTheStoreCannotHoldIsRefusedWithTheLongestStepThatFits) {
    save("tuning_window_plan.png"); // what Start would do, and how long it takes
    // 16 steps of 100 samples and 5 more for each wait: 1680 samples, in a store with 1000 free.
    model_->sampleCount = AppModel::kMaxSamples - 1000;
    setEdit(TuningWindow::IdSeconds, "100");
    window_->command(TuningWindow::IdStart);
    EXPECT_EQ(window_->state(), TuningWindow::State::Idle);
    EXPECT_TRUE(window_->statusText().contains(QStringLiteral("steps of at most 57 s fit")))
        << window_->statusText().toStdString();
    EXPECT_EQ(count("SendPid"), 0);
    EXPECT_EQ(starts_, 0);
    save("tuning_window_refused.png");
}

TEST_F(TuningWindowTest, IsRedOnBlackAtNight) {
    NightMode night;
    night.setOn(true);
    window_ = std::make_unique<ScriptedTuningWindow>(nullptr, model_.get(), &engine_, TuningWindow::Host{});
    setEdit(TuningWindow::IdSeconds, "10");
    window_->command(TuningWindow::IdStart);
    feed(80, 10);
    window_->poll();
    while (window_->state() == TuningWindow::State::Taking)
        take();
    ASSERT_EQ(window_->state(), TuningWindow::State::Choosing);
    save("tuning_window_night.png");
    QPoint where;
    EXPECT_LE(maxGreenOrBlue(picture_, &where), kNightTolerance) << where.x() << "," << where.y();
}

} // namespace
