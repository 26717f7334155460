#include "model/analysis/AnalysisCsvWriter.h"

#include "platform/FileOpen.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kEnd = "\r\n";

// Numbers are written with to_chars: printf would follow the program's locale (a decimal comma).
void appendNumber(std::string& text, double value, int decimals) {
    char digits[64];
    if (decimals >= 0 && std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0; // no "-0.000"
    const auto written =
        decimals >= 0
            ? std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals)
            : std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 9);
    if (written.ec == std::errc())
        text.append(digits, written.ptr);
}

constexpr int kGeneral = -1;

void comment(std::string& text, std::string_view key, double value, int decimals) {
    text.append("# ").append(key).append(": ");
    appendNumber(text, value, decimals);
    text.append(kEnd);
}

void comment(std::string& text, std::string_view key, std::string_view value) {
    text.append("# ").append(key).append(": ");
    for (char c : value) // one line, whatever the source's name holds
        text.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
    text.append(kEnd);
}

void row(std::string& text, std::string_view table, double x, double value) {
    text.append(table).append(",");
    appendNumber(text, x, kGeneral);
    text.append(",");
    appendNumber(text, value, 6);
    text.append(kEnd);
}

} // namespace

std::string formatAnalysisCsv(const LogAnalysisReport& report, std::string_view source) {
    const PeSpectrumResult& whole = report.whole;
    if (!whole.valid)
        return {};
    const bool time = whole.hasTime;
    std::string text;
    text.append("# astrelvo analysis 1").append(kEnd);
    comment(text, "source", source);
    comment(text, "format", logFormatName(report.format));
    text.append("# samples: ").append(std::to_string(report.samples)).append(kEnd);
    if (time)
        comment(text, "sample_seconds", whole.sampleSeconds, kGeneral);
    comment(text, "pe_peak_to_peak_arcsec", whole.peakToPeakArcsec, 3);
    comment(text, "pe_rms_arcsec", whole.rmsArcsec, 3);
    comment(text, "drift_arcsec_per_sample", whole.driftArcsecPerSample, 6);
    for (const PeComponent& c : whole.components) {
        text.append(time ? "# harmonic: period_seconds=" : "# harmonic: period_samples=");
        appendNumber(text, time ? c.periodSeconds : c.periodSamples, 2);
        text.append(" amplitude_arcsec=");
        appendNumber(text, c.amplitudeArcsec, 3);
        text.append(" phase_deg=");
        appendNumber(text, c.phaseDeg, 1);
        text.append(kEnd);
    }
    const PeFoldResult& fold = report.fold;
    if (fold.valid) {
        comment(text, time ? "worm_period_seconds" : "worm_period_samples", report.wormPeriod, kGeneral);
        text.append("# worm_cycles: ").append(std::to_string(fold.cycles)).append(kEnd);
        comment(text, "worm_folded_peak_to_peak_arcsec", fold.meanPeakToPeakArcsec, 3);
    }
    comment(text, "x_unit", time ? "seconds" : "samples");
    text.append("table,x,value_arcsec").append(kEnd);
    const std::size_t spectrumRows = std::min(whole.spectrumPeriod.size(), whole.spectrumAmplitude.size());
    for (std::size_t i = 0; i < spectrumRows; ++i)
        row(text, "spectrum", whole.spectrumPeriod[i], whole.spectrumAmplitude[i]);
    if (fold.valid && fold.bins > 0) {
        for (std::size_t b = 0; b < fold.bins && b < fold.mean.size(); ++b)
            row(text, "fold",
                (static_cast<double>(b) + 0.5) / static_cast<double>(fold.bins) * report.wormPeriod,
                fold.mean[b]);
    }
    return text;
}

AnalysisCsvResult writeAnalysisCsv(const char* path, const LogAnalysisReport& report,
                                   std::string_view source) {
    AnalysisCsvResult result;
    const std::string text = formatAnalysisCsv(report, source);
    if (text.empty() || path == nullptr) {
        result.errorNumber = EINVAL;
        return result;
    }
    errno = 0;
    std::FILE* file = openFile(path, "wb");
    if (file == nullptr) {
        result.errorNumber = errno != 0 ? errno : EIO;
        return result;
    }
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    errno = 0;
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    result.ok = error == 0;
    result.errorNumber = error;
    return result;
}
