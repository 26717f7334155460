// Renders every dialog to a PNG file under <build>/screenshots for visual review, and checks the
// layout: each control inside the dialog, no two controls (other than group boxes) overlapping, and
// every single-line text fitting its control.
#include "DialogsRecorder.h"

#include "model/AppModel.h"
#include "ui/AboutDialog.h"
#include "ui/ClosedLoopDialog.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/LogSettingsDialog.h"
#include "ui/MotorDriveInfoDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

QString screenshotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    return QDir::cleanPath(dir);
}

// Width the control needs to show its text on one line.
int neededWidth(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->wordWrap() ? 0 : fm.horizontalAdvance(label->text());
    if (auto* push = qobject_cast<const QPushButton*>(w))
        return fm.horizontalAdvance(push->text()) + 4;
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        const bool radio = qobject_cast<const QRadioButton*>(w) != nullptr;
        const int indicator =
            w->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth);
        const int spacing = w->style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                          : QStyle::PM_CheckBoxLabelSpacing);
        return indicator + spacing + fm.horizontalAdvance(button->text());
    }
    if (auto* box = qobject_cast<const QGroupBox*>(w))
        return fm.horizontalAdvance(box->title()) + 16;
    return 0;
}

// The part of the control that shows something: a label's text line, the whole of any other control.
QRect usedRect(const QWidget* w) {
    auto* label = qobject_cast<const QLabel*>(w);
    if (!label || label->wordWrap())
        return w->geometry();
    QRect r = w->geometry();
    r.setHeight(std::min(r.height(), QFontMetrics(w->font()).height()));
    return r;
}

void checkLayoutAndSave(QWidget& dialog, const char* file) {
    dialog.show();
    QApplication::processEvents();
    const QRect inside(QPoint(0, 0), dialog.size());
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* c : controls) {
        if (!c->isVisible())
            continue;
        EXPECT_TRUE(inside.contains(c->geometry()))
            << file << " control " << c->objectName().toStdString() << " at " << c->geometry().x() << ","
            << c->geometry().y() << " " << c->width() << "x" << c->height() << " in " << dialog.width() << "x"
            << dialog.height();
        EXPECT_LE(neededWidth(c), c->width()) << file << " text clipped in " << c->objectName().toStdString();
        if (qobject_cast<QGroupBox*>(c))
            continue;
        for (QWidget* other : controls) {
            if (other == c || qobject_cast<QGroupBox*>(other) || !other->isVisible())
                continue;
            EXPECT_FALSE(usedRect(c).intersects(usedRect(other)))
                << file << " " << c->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString();
        }
    }
    const QPixmap picture = dialog.grab();
    ASSERT_FALSE(picture.isNull());
    const QString path = screenshotDir() + QLatin1Char('/') + QLatin1String(file);
    EXPECT_TRUE(picture.save(path)) << path.toStdString();
}

} // namespace

TEST(DialogScreenshots, MotorDriveInfo) {
    auto model = std::make_unique<AppModel>();
    applyTestModeValues(model->deviceInfo);
    model->deviceInfo.hardwareVersion = 0x01020304u;
    model->deviceInfo.firmwareVersion = 0x02000A01u;
    model->deviceInfo.encoderOffset = static_cast<uint32_t>(-1);
    DialogsRecorder engine;
    MotorDriveInfoDialog dialog(nullptr, model.get(), &engine);
    checkLayoutAndSave(dialog, "motor_drive_info.png");
}

TEST(DialogScreenshots, DisplaySettings) {
    DisplaySettings settings;
    DisplaySettingsDialog dialog(nullptr, &settings);
    checkLayoutAndSave(dialog, "display_settings.png");
}

TEST(DialogScreenshots, LogSettings) {
    LogSettings settings;
    LogSettingsDialog dialog(nullptr, &settings);
    checkLayoutAndSave(dialog, "log_settings.png");
}

TEST(DialogScreenshots, ClosedLoop) {
    auto model = std::make_unique<AppModel>();
    model->deviceInfo.maxCurrent = 1000;
    model->deviceInfo.motorCurrent = 500;
    model->closedLoopSettings.pGain = 80;
    model->closedLoopSettings.iGain = 40;
    model->closedLoopSettings.dGain = 120;
    DialogsRecorder engine;
    ClosedLoopDialog dialog(nullptr, model.get(), &engine);
    checkLayoutAndSave(dialog, "closed_loop.png");
}

TEST(DialogScreenshots, About) {
    AboutDialog dialog(nullptr);
    checkLayoutAndSave(dialog, "about.png");
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
