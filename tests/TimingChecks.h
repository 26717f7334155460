#pragma once

// Wall-clock and CPU-time limits hold only on a quiet machine, so they are checked in the Slow* suites
// (ctest label "slow", which ./test and CI run) and skipped in the quick loop (ctest -LE slow).
//
// TIMED_TEST(Suite, Name) { body } registers the body twice: Suite.Name checks the behaviour, and
// SlowSuite.Name runs it again with the limits written as EXPECT_TIMING_* (and the idle checks of the
// engine rig) switched on.

#include <gtest/gtest.h>

namespace timing {

inline bool& checked() {
    static bool on = false;
    return on;
}

// Switches the limits on for one scope (the Slow twin of a timed test).
class Checked {
public:
    Checked() { checked() = true; }
    ~Checked() { checked() = false; }
    Checked(const Checked&) = delete;
    Checked& operator=(const Checked&) = delete;
};

} // namespace timing

#define EXPECT_TIMING_LT(a, b)                                                                               \
    if (!timing::checked()) {                                                                                \
    } else                                                                                                   \
        EXPECT_LT(a, b)
#define EXPECT_TIMING_LE(a, b)                                                                               \
    if (!timing::checked()) {                                                                                \
    } else                                                                                                   \
        EXPECT_LE(a, b)
#define EXPECT_TIMING_GE(a, b)                                                                               \
    if (!timing::checked()) {                                                                                \
    } else                                                                                                   \
        EXPECT_GE(a, b)

#define TIMED_TEST(Suite, Name)                                                                              \
    static void Suite##_##Name##_body();                                                                     \
    TEST(Suite, Name) {                                                                                      \
        Suite##_##Name##_body();                                                                             \
    }                                                                                                        \
    TEST(Slow##Suite, Name) {                                                                                \
        timing::Checked limits;                                                                              \
        Suite##_##Name##_body();                                                                             \
    }                                                                                                        \
    static void Suite##_##Name##_body()
