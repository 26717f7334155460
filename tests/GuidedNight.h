#pragma once

// A simulated guided night written as a PHD2 guide log: a mount with a known periodic error, a guider
// that sees the star against its lock position and corrects part of what it sees, dithers and other
// moves of the lock position with the lines PHD2 writes for them. The camera, the mount and the guider
// are modelled here on their own terms (positions in camera pixels, the RA axis a direction on the
// chip), not through the reader's formulas, so the reader's figures can be checked against the truth.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

struct GuidedNightSetup {
    double seconds = 7200.0;
    double frameSeconds = 2.0;
    double pixelScale = 1.5;     // arc-seconds per pixel
    double xRate = 4.0;          // guide rate, pixels per second
    double xAngleDeg = 32.0;     // the RA axis on the chip, as calibrated
    bool raAxisReversed = false; // the chip's RA direction is opposite to xAngle (a mirrored camera)
    // The mount's RA error: drift plus sinusoids (amplitude arcsec, period s).
    double driftArcsecPerSecond = 0.002;
    std::vector<std::pair<double, double>> periodic = {{8.0, 479.0}, {2.0, 159.7}};
    double noisePixels = 0.01;
    double aggressiveness = 0.7;
    double ditherEverySeconds = 0.0;   // 0: no dithers
    double ditherPixels = 3.0;         // largest dither on each axis
    double lockMoveEverySeconds = 0.0; // SET LOCK POSITION to a new place without a dither; 0: none
    int spikeFrame = -1;               // a frame whose star position is off by spikePixels (a hot pixel)
    double spikePixels = 40.0;
    uint32_t seed = 7;
};

struct GuidedNight {
    std::string text;
    std::size_t frames = 0;
    uint32_t dithers = 0;
    uint32_t lockMoves = 0;
    uint64_t spikeLine = 0; // line of the spike frame, 0 without one
    // The mount's periodic error (drift left out) at each frame, arc-seconds.
    std::vector<double> periodicArcsec;

    double truePeakToPeak() const {
        double lo = periodicArcsec.front();
        double hi = lo;
        for (double v : periodicArcsec) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return hi - lo;
    }
    double trueRms() const {
        double sum = 0.0;
        double squares = 0.0;
        for (double v : periodicArcsec)
            sum += v;
        const double mean = sum / static_cast<double>(periodicArcsec.size());
        for (double v : periodicArcsec)
            squares += (v - mean) * (v - mean);
        return std::sqrt(squares / static_cast<double>(periodicArcsec.size()));
    }
};

inline GuidedNight simulateGuidedNight(const GuidedNightSetup& setup) {
    GuidedNight night;
    std::mt19937 random(setup.seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double a = setup.xAngleDeg * std::numbers::pi / 180.0;
    // Unit vectors of the mount's axes on the chip.
    const double sign = setup.raAxisReversed ? -1.0 : 1.0;
    const double raX = sign * std::cos(a), raY = sign * std::sin(a);
    const double decX = -std::sin(a), decY = std::cos(a);
    double lockX = 1200.0, lockY = 800.0;
    double pulsesPx = 0.0; // the mount moved by the pulses, along RA on the chip
    char buf[512];
    auto add = [&night](const std::string& line) {
        night.text += line;
        night.text += '\n';
    };
    auto lines = [&night] {
        return static_cast<uint64_t>(std::count(night.text.begin(), night.text.end(), '\n'));
    };

    add("PHD2 version 2.6.13 [Linux], Log version 2.5. Log enabled at 2024-02-10 20:00:00");
    add("");
    add("Guiding Begins at 2024-02-10 20:10:00");
    add("Dither = both axes, Dither scale = 1.000, Image noise reduction = none, Guide-frame time lapse = 0");
    std::snprintf(buf, sizeof buf, "Pixel scale = %.2f arc-sec/px, Binning = 1, Focal length = 530 mm",
                  setup.pixelScale);
    add(buf);
    std::snprintf(
        buf, sizeof buf,
        "Mount = Sim Mount, connected, guiding enabled, xAngle = %.1f, xRate = %.3f, yAngle = %.1f, "
        "yRate = %.3f, parity = +/+,",
        setup.xAngleDeg, setup.xRate, setup.xAngleDeg + 90.0, setup.xRate);
    add(buf);
    std::snprintf(buf, sizeof buf, "Lock position = %.3f, %.3f, Star position = %.3f, %.3f, HFD = 2.71 px",
                  lockX, lockY, lockX, lockY);
    add(buf);
    add("Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,DECGuideDistance,RADuration,"
        "RADirection,DECDuration,DECDirection,XStep,YStep,StarMass,SNR,ErrorCode");

    double nextDither = setup.ditherEverySeconds > 0.0 ? setup.ditherEverySeconds : 1e300;
    double nextMove = setup.lockMoveEverySeconds > 0.0 ? setup.lockMoveEverySeconds * 0.55 : 1e300;
    int settling = 0;
    int frame = 0;
    for (double t = setup.frameSeconds; t <= setup.seconds; t += setup.frameSeconds, ++frame) {
        if (t >= nextDither) {
            nextDither += setup.ditherEverySeconds;
            const double dRa = setup.ditherPixels * unit(random);
            const double dDec = setup.ditherPixels * unit(random);
            lockX += dRa * raX + dDec * decX;
            lockY += dRa * raY + dDec * decY;
            std::snprintf(buf, sizeof buf, "INFO: SET LOCK POSITION, new lock pos = %.3f, %.3f", lockX,
                          lockY);
            add(buf);
            std::snprintf(buf, sizeof buf, "INFO: DITHER by %.3f, %.3f, new lock pos = %.3f, %.3f", dRa, dDec,
                          lockX, lockY);
            add(buf);
            add("INFO: SETTLING STATE CHANGE, Settling started");
            settling = 4;
            ++night.dithers;
        } else if (t >= nextMove) {
            nextMove += setup.lockMoveEverySeconds;
            lockX += 5.0 * unit(random);
            lockY += 5.0 * unit(random);
            std::snprintf(buf, sizeof buf, "INFO: SET LOCK POSITION, new lock pos = %.3f, %.3f", lockX,
                          lockY);
            add(buf);
            ++night.lockMoves;
        }
        double periodic = 0.0;
        for (const auto& [amplitude, period] : setup.periodic)
            periodic += amplitude * std::sin(2.0 * std::numbers::pi * t / period);
        night.periodicArcsec.push_back(periodic);
        const double mountPx = (periodic + setup.driftArcsecPerSecond * t) / setup.pixelScale - pulsesPx;
        // The star on the chip: the original lock position moved along RA by the mount.
        double starX = 1200.0 + mountPx * raX + setup.noisePixels * unit(random);
        double starY = 800.0 + mountPx * raY + setup.noisePixels * unit(random);
        if (frame == setup.spikeFrame) {
            starX += setup.spikePixels * raX;
            starY += setup.spikePixels * raY;
            night.spikeLine = lines() + 1;
        }
        const double dx = starX - lockX, dy = starY - lockY;
        const double raRaw = dx * raX + dy * raY;
        const double decRaw = dx * decX + dy * decY;
        const double guide = setup.aggressiveness * raRaw;
        const double durationMs = std::round(std::fabs(guide) / setup.xRate * 1000.0);
        std::snprintf(buf, sizeof buf,
                      "%d,%.3f,\"Mount\",%.3f,%.3f,%.3f,%.3f,%.3f,0.000,%.0f,%s,0,,,,%d,24.31,0", frame + 1,
                      t, dx, dy, raRaw, decRaw, guide, durationMs, guide >= 0.0 ? "W" : "E",
                      9000 + frame % 97);
        add(buf);
        pulsesPx += (guide > 0.0 ? 1.0 : guide < 0.0 ? -1.0 : 0.0) * durationMs / 1000.0 * setup.xRate;
        ++night.frames;
        if (settling > 0 && --settling == 0)
            add(frame % 3 == 0 ? "INFO: SETTLING STATE CHANGE, Settling failed"
                               : "INFO: SETTLING STATE CHANGE, Settling complete");
    }
    add("Guiding Ends at 2024-02-10 22:10:00");
    return night;
}
