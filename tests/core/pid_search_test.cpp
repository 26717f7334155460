// The gain search against response functions without a controller: convergence on the emulator's own
// model, the limits, a gain that makes no difference (compared with the noise of the figures compared),
// and the abort rule.
#include "model/analysis/PidSearch.h"
#include "tools/emulator/ServoOptimum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using Gains = PidSearch::Gains;
using Response = std::function<double(const Gains&)>;

struct SearchRun {
    std::vector<Gains> sent; // every step's gains after step 0
    std::vector<std::string> notes;
    std::vector<Gains> returns; // gains put back at once
    Gains best{};
    int steps = 0;
};

// Runs a search to its end; every figure carries noise as its noise figure.
SearchRun runSearch(const Gains& start, PidSearch::Settings settings, const Response& response,
                    double noise = 0.001, const std::function<bool(const Gains&)>& fails = nullptr) {
    PidSearch search(start, settings);
    SearchRun run;
    Gains gains{};
    while (search.next(gains)) {
        if (run.steps > 0)
            run.sent.push_back(gains);
        ++run.steps;
        if (fails && fails(gains))
            search.reportFailure();
        else
            search.report(response(gains), noise);
        Gains back{};
        if (search.takeReturnToBest(back))
            run.returns.push_back(back);
        for (const std::string& n : search.takeNotes())
            run.notes.push_back(n);
    }
    for (const std::string& n : search.takeNotes())
        run.notes.push_back(n);
    run.best = search.bestGains();
    EXPECT_GE(search.bestStep(), 0);
    EXPECT_EQ(search.steps()[static_cast<std::size_t>(search.bestStep())].gains, run.best);
    return run;
}

std::string joined(const std::vector<std::string>& notes) {
    std::string all;
    for (const std::string& n : notes)
        all += n + "\n";
    return all;
}

PidSearch::Settings searchOf(std::vector<int> order, int maxSteps = 16) {
    PidSearch::Settings s;
    s.order = std::move(order);
    s.maxSteps = maxSteps;
    return s;
}

TEST(PidSearchTest, FindsTheEmulatorModelsBestPWithinItsLimits) {
    const TrackingSignal::Params signal;
    const Response model = [&](const Gains& g) { return ServoOptimum::rmsArcsec(signal, g, 800); };
    struct Case {
        Gains start;
        bool atLimit; // the model's best lies beyond the default limits
    };
    for (const Case& c : {Case{{80, 40, 120}, false}, Case{{200, 40, 120}, false}, Case{{40, 80, 60}, false},
                          Case{{20, 11, 12}, true}}) {
        SCOPED_TRACE(c.start[0]);
        const PidSearch::Range limits = PidSearch::defaultRange(c.start[0]);
        const double best = ServoOptimum::bestGain(signal, c.start, 0, limits.lo, limits.hi, 800);
        const SearchRun run = runSearch(c.start, searchOf({0}), model);
        EXPECT_LE(run.steps, 16);
        EXPECT_NEAR(run.best[0], best, 0.15 * best);
        EXPECT_EQ(run.best[1], c.start[1]);
        EXPECT_EQ(run.best[2], c.start[2]);
        for (const Gains& g : run.sent)
            EXPECT_TRUE(g[0] >= limits.lo && g[0] <= limits.hi && g[1] == c.start[1]) << g[0];
        const bool limitNote =
            joined(run.notes).find("P ended at its upper limit " + std::to_string(limits.hi) +
                                   "; its best may lie beyond (--range P=LO..HI") != std::string::npos;
        EXPECT_EQ(limitNote, c.atLimit) << joined(run.notes);
        if (c.atLimit) {
            EXPECT_EQ(run.best[0], limits.hi);
        }
    }
}

TEST(PidSearchTest, RangesBudgetAndOrderAreKept) {
    // A bowl in every gain; its bottom in P lies below the range given.
    const Response bowl = [](const Gains& g) {
        return 1.0 + std::pow(std::log(g[0] / 30.0), 2) + std::pow(std::log(g[1] / 50.0), 2) +
               std::pow(std::log(g[2] / 70.0), 2);
    };
    PidSearch::Settings s = searchOf({2, 0, 1}, 13);
    s.ranges[0] = {60, 500};
    const SearchRun run = runSearch({100, 40, 90}, s, bowl);
    EXPECT_LE(run.steps, 13);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_NE(run.sent.front()[2], 90); // D first
    for (const Gains& g : run.sent) {
        EXPECT_TRUE(g[0] >= 60 && g[0] <= 500) << g[0];
        EXPECT_TRUE(g[1] >= 10 && g[1] <= 160) << g[1];
        EXPECT_TRUE(g[2] >= 23 && g[2] <= 360) << g[2];
    }
    EXPECT_EQ(run.best[0], 60);
    EXPECT_NE(joined(run.notes).find("P ended at its lower limit 60"), std::string::npos)
        << joined(run.notes);
    EXPECT_NEAR(run.best[2], 70, 0.2 * 70);
}

TEST(PidSearchTest, AGainThatMakesNoDifferenceIsLeftAsItWas) {
    // I changes the figure by less than the noise; P matters.
    const Response response = [](const Gains& g) {
        return 2.0 + std::pow(std::log(g[0] / 150.0), 2) + 0.002 * std::sin(g[1]);
    };
    const SearchRun run = runSearch({80, 40, 120}, searchOf({1, 0}), response, 0.01);
    EXPECT_EQ(run.best[1], 40);
    EXPECT_NE(joined(run.notes).find("I made no difference beyond the measurement's noise"),
              std::string::npos)
        << joined(run.notes);
    EXPECT_NE(joined(run.notes).find("left at 40"), std::string::npos);
    EXPECT_NEAR(run.best[0], 150, 0.15 * 150);
    // A zero gain has no scale without a range.
    const SearchRun zero = runSearch({80, 0, 120}, searchOf({1}), response);
    EXPECT_EQ(zero.steps, 1);
    EXPECT_NE(joined(zero.notes).find("--range I=LO..HI"), std::string::npos);
}

TEST(PidSearchTest, ABadStepEndsItsGainAndGoesBackToTheBestAtOnce) {
    // Above P 100 the loop rings far beyond four times step 0's figure.
    const Response ringing = [](const Gains& g) { return g[0] > 100 ? 20.0 : 3.0 - g[0] / 100.0; };
    struct Case {
        const char* name;
        std::function<bool(const Gains&)> fails;
        const char* note;
    };
    for (const Case& c :
         {Case{"abort", nullptr, "is more than four times step 0's"},
          Case{"no figure", [](const Gains& g) { return g[0] > 100; }, "brought no figure"}}) {
        SCOPED_TRACE(c.name);
        const SearchRun run = runSearch({80, 40, 120}, searchOf({0, 2}), ringing, 0.001, c.fails);
        ASSERT_EQ(run.returns.size(), 1u) << joined(run.notes);
        EXPECT_LE(run.returns[0][0], 100);
        EXPECT_NE(joined(run.notes).find(c.note), std::string::npos) << joined(run.notes);
        EXPECT_NE(joined(run.notes).find("the search of P ends"), std::string::npos);
        // Straight after the bad step the search goes on with D at the best P.
        std::size_t bad = 0;
        while (bad < run.sent.size() && run.sent[bad][0] <= 100)
            ++bad;
        ASSERT_LT(bad + 1, run.sent.size());
        EXPECT_EQ(run.sent[bad + 1][0], run.returns[0][0]);
        EXPECT_NE(run.sent[bad + 1][2], 120);
        EXPECT_LE(run.best[0], 100);
    }
}

// Whether a gain made a difference is judged by the noise of the figures compared; a step that rang past
// the abort rule, with a noise of its own, is not one of them.
TEST(PidSearchTest, NoDifferenceComparesLikeWithLike) {
    struct Figure {
        double rms, noise;
    };
    struct Case {
        const char* name;
        std::vector<Figure> figures; // step 0, then the search's steps in order
        bool noDifference;
    };
    const Case cases[] = {
        {"a 30 % gain beside a ringing step", {{1.0, 0.02}, {1.2, 0.02}, {0.7, 0.02}, {6.4, 4.0}}, false},
        {"figures within their noise, then a ringing step",
         {{1.0, 0.02}, {1.02, 0.02}, {0.99, 0.02}, {6.4, 4.0}},
         true},
        {"figures within their own large noise", {{1.0, 0.2}, {1.2, 0.2}, {0.7, 0.2}, {1.1, 0.2}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PidSearch search({80, 40, 120}, searchOf({0}, static_cast<int>(c.figures.size())));
        Gains gains{};
        std::vector<Gains> sent;
        std::string notes;
        for (std::size_t i = 0; i < c.figures.size() && search.next(gains); ++i) {
            sent.push_back(gains);
            search.report(c.figures[i].rms, c.figures[i].noise);
        }
        while (search.next(gains)) // the step limit ends it
            search.reportFailure();
        for (const std::string& n : search.takeNotes())
            notes += n + "\n";
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(notes.find("P made no difference") != std::string::npos, c.noDifference) << notes;
        EXPECT_EQ(search.bestGains(), c.noDifference ? sent[0] : sent[2]) << notes;
    }
}

} // namespace
