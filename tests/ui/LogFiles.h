#pragma once

#include <QFile>
#include <QString>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

// Small logs written for the tests of opening and analysing them.

struct Tone {
    double amplitude; // arc-seconds: half the peak-to-peak
    double period;    // seconds
};

// Writes text to path; false when it cannot.
inline bool writeText(const QString& path, const std::string& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

// An Astrelvo CSV without an encoder width (the arc-second column counts): n samples sampleSeconds
// apart, the tones on a slight drift, amplitudes scaled by gains[k] from marks[k - 1] on; a "# mark:"
// line before the row of each mark.
inline std::string csvLog(std::size_t n, double sampleSeconds, const std::vector<Tone>& tones,
                          const std::vector<std::pair<std::size_t, std::string>>& marks = {},
                          const std::vector<double>& gains = {}) {
    std::string text = "# astrelvo log 1\n# encoder_bits: 0\n";
    char line[160];
    std::snprintf(line, sizeof line, "# sample_seconds: %.9g\n", sampleSeconds);
    text += line;
    text += "sample,timestamp,value_counts,value_arcsec\n";
    std::size_t nextMark = 0;
    double gain = gains.empty() ? 1.0 : gains[0];
    for (std::size_t i = 0; i < n; ++i) {
        while (nextMark < marks.size() && marks[nextMark].first == i) {
            text += "# mark: " + std::to_string(i) + " " + marks[nextMark].second + "\n";
            ++nextMark;
            if (nextMark < gains.size())
                gain = gains[nextMark];
        }
        const double t = static_cast<double>(i) * sampleSeconds;
        double v = 0.001 * static_cast<double>(i);
        for (const Tone& tone : tones)
            v += gain * tone.amplitude * std::sin(2.0 * std::numbers::pi * t / tone.period);
        std::snprintf(line, sizeof line, "%zu,%zu,0,%.6f\n", i, i, v);
        text += line;
    }
    return text;
}

// A data.dat export: n records "[N:i TS:i] v" with v in counts.
inline std::string datLog(std::size_t n, double countsAmplitude, double periodSamples) {
    std::string text;
    char line[96];
    for (std::size_t i = 0; i < n; ++i) {
        const long v =
            std::lround(2000000.0 + countsAmplitude * std::sin(2.0 * std::numbers::pi * i / periodSamples));
        std::snprintf(line, sizeof line, "[N:%zu TS:%zu] %ld\r\n", i, i * 4, v);
        text += line;
    }
    return text;
}

// A PHD2 guide log with one guiding section per entry of frames (a "Guiding Ends" after each but the
// last), 2 s per frame, pixel scale 2"/px, no guide pulses, RA error 3 px x sin(2 pi k / 23).
inline std::string phd2Log(const std::vector<int>& frames) {
    std::string text = "PHD2 version 2.6.11 [Linux], Log version 2.5. Log enabled at 2023-03-01 20:00:00\n";
    char line[256];
    double time = 0.0;
    for (std::size_t s = 0; s < frames.size(); ++s) {
        std::snprintf(line, sizeof line, "Guiding Begins at 2023-03-01 2%zu:05:00\n", s);
        text += line;
        text +=
            "Pixel scale = 2.00 arc-sec/px, Binning = 1, Focal length = 400 mm\n"
            "Mount = EQMod Mount, connected, guiding enabled, xAngle = 10.0, xRate = 5.000, yAngle = 100.0, "
            "yRate = 5.000, parity = +/+,\n"
            "Frame,Time,mount,dx,dy,RARawDistance,DECRawDistance,RAGuideDistance,DECGuideDistance,RADuration,"
            "RADirection,DECDuration,DECDirection,XStep,YStep,StarMass,SNR,ErrorCode\n";
        for (int k = 0; k < frames[s]; ++k) {
            time += 2.0;
            std::snprintf(line, sizeof line,
                          "%d,%.3f,\"Mount\",0.1,0.2,%.4f,0.05,0.00,0.00,0,,0,,,,1234,25.1,0\n", k + 1, time,
                          3.0 * std::sin(2.0 * std::numbers::pi * k / 23.0));
            text += line;
        }
        if (s + 1 < frames.size())
            text += "Guiding Ends at 2023-03-01 23:00:00\n";
    }
    return text;
}
