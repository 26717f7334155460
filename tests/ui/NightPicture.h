#pragma once

#include <QImage>
#include <QPoint>

#include <algorithm>

// Largest green or blue component tolerated in a night-mode picture. The night colours themselves have
// none; this leaves room only for rounding in the rasteriser.
constexpr int kNightTolerance = 2;

// The largest green or blue component of any pixel of the picture; where tells the first pixel with it.
inline int maxGreenOrBlue(const QImage& picture, QPoint* where = nullptr) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int most = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int value = std::max(qGreen(line[x]), qBlue(line[x]));
            if (value > most) {
                most = value;
                if (where)
                    *where = QPoint(x, y);
            }
        }
    }
    return most;
}
