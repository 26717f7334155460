#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

// Converts dialog-template units to pixels for a dialog font, as dialog templates do: one horizontal unit
// is a quarter of the font's average character width, one vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        QFontMetrics fm(font);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX_ = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
        baseY_ = fm.height();
        if (baseX_ < 1)
            baseX_ = 1;
        if (baseY_ < 1)
            baseY_ = 1;
    }
    int x(int units) const { return (units * baseX_ + 2) / 4; }
    int y(int units) const { return (units * baseY_ + 4) / 8; }
    // A template rectangle (x, y, width, height in dialog units) in pixels.
    QRect rect(int left, int top, int width, int height) const {
        int l = x(left), t = y(top);
        return QRect(l, t, x(left + width) - l, y(top + height) - t);
    }

private:
    int baseX_ = 1;
    int baseY_ = 1;
};
