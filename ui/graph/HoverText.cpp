#include "ui/graph/HoverText.h"

#include "base/TextFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string hoverText(uint64_t sample, double seconds, double value, bool valueInArcsec) {
    char line[96];
    std::snprintf(line, sizeof line, "Sample %llu", static_cast<unsigned long long>(sample));
    std::string text = line;
    if (seconds >= 0.0 && std::isfinite(seconds)) {
        // Hundredths of a second, rounded once, so that 59.999 s shows as 0:01:00.00.
        const double hundredths = std::round(seconds * 100.0);
        if (hundredths < 1e15) {
            const auto total = static_cast<unsigned long long>(hundredths);
            const unsigned long long hours = total / 360000;
            const unsigned minutes = static_cast<unsigned>(total / 6000 % 60);
            const unsigned secs = static_cast<unsigned>(total / 100 % 60);
            const unsigned fraction = static_cast<unsigned>(total % 100);
            std::snprintf(line, sizeof line, "\nTime %llu:%02u:%02u.%02u", hours, minutes, secs, fraction);
            text += line;
        }
    }
    if (!std::isfinite(value))
        text += "\nValue -";
    else if (valueInArcsec)
        std::snprintf(line, sizeof line, "\nValue %+.2f\"", value);
    else
        std::snprintf(line, sizeof line, "\nValue %.0f counts", value);
    if (std::isfinite(value))
        text += line;
    return text;
}

std::string zeroLineText(double meanArcsec) {
    char text[96];
    if (!std::isfinite(meanArcsec))
        return "Zero line: mean -";
    if (std::abs(meanArcsec) < 3600.0) {
        std::snprintf(text, sizeof text, "Zero line: mean %+.2f\"", meanArcsec);
        return text;
    }
    // Whole arc-seconds in degrees, minutes and seconds, as the scale writes them.
    const double whole = std::clamp(std::round(meanArcsec), -2147483647.0, 2147483647.0);
    const int start = appendText(text, sizeof text, 0, "Zero line: mean ");
    appendAngle(text, sizeof text, start, static_cast<int32_t>(whole));
    return text;
}
