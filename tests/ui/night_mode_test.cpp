// Night mode: the main dialog, the graph, the dialogs opened from it and message boxes in red on black,
// and the day colours back when it ends.
#include "ui/main/DlgMain.h"

#include "model/store/AppModel.h"
#include "rz4/StatusCode.h"
#include "ui/dialogs/AboutDialog.h"
#include "ui/dialogs/ClosedLoopDialog.h"
#include "ui/dialogs/DisplaySettingsDialog.h"
#include "ui/dialogs/LogSettingsDialog.h"
#include "ui/dialogs/MotorDriveInfoDialog.h"
#include "ui/graph/EncoderGraph.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cerrno>
#include <initializer_list>

#include "MainDialogFixture.h"
#include "NightPicture.h"
#include "ScreenshotDirectory.h"
#include "UiTestMain.h"

namespace {

using MainDialogNightMode = MainDialogFixture;

// Every colour in the style sheet and palette is a shade of red.
void expectOnlyRed(const QPalette& palette, const QString& styleSheet) {
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const QColor c = palette.color(static_cast<QPalette::ColorGroup>(group),
                                           static_cast<QPalette::ColorRole>(role));
            EXPECT_TRUE(c.green() == 0 && c.blue() == 0) << "group " << group << " role " << role;
        }
    const QRegularExpression hex(QStringLiteral("#([0-9a-fA-F]{6})"));
    int colours = 0;
    for (auto it = hex.globalMatch(styleSheet); it.hasNext(); ++colours) {
        const QString value = it.next().captured(1);
        EXPECT_TRUE(value.endsWith(QStringLiteral("0000"))) << value.toStdString();
    }
    EXPECT_GT(colours, 5);
    EXPECT_FALSE(styleSheet.contains(QStringLiteral("rgb"))) << "colours are written as #rr0000 only";
}

TEST_F(MainDialogNightMode, IsRedOnBlackEverywhere) {
    const QPalette dayPalette = QApplication::palette();
    EncoderGraph* graph = dialog->graph();
    EXPECT_EQ(graph->colorScheme(), 1);
    appendRecords(40);
    dialog->OnStatus(StatusReady);
    dialog->show();
    QApplication::processEvents();
    EXPECT_GT(maxGreenOrBlue(dialog->grab().toImage()), 100); // the day picture has colour

    controlAs<QCheckBox>(DlgMain::kNightModeId)->click();
    EXPECT_TRUE(dialog->nightMode());
    EXPECT_TRUE(controlAs<QCheckBox>(DlgMain::kNightModeId)->isChecked());
    EXPECT_EQ(graph->colorScheme(), 0);
    expectOnlyRed(QApplication::palette(), qApp->styleSheet());
    for (const QColor& c :
         {EncoderGraph::axisColour(), EncoderGraph::centreLineColour(), EncoderGraph::curveColour(),
          EncoderGraph::labelTextColour(), EncoderGraph::gridColour()})
        EXPECT_TRUE(c.green() == 0 && c.blue() == 0);

    // The window as drawn, with a focused button, a disabled control and the reason button.
    dialog->control(140)->setFocus();
    dialog->command(103);
    dialog->command(101);
    engine.openError = EBUSY;
    dialog->OnStatus(StatusCannotOpenPort);
    QApplication::processEvents();
    const QImage night = dialog->grab().toImage();
    EXPECT_LE(maxGreenOrBlue(night), kNightTolerance);
    night.save(screenshotDirectory() + QStringLiteral("/main_dialog_night_unit.png"));

    // Dialogs opened from it, and message boxes, are red too.
    DisplaySettingsDialog display(dialog.get(), &model->displaySettings);
    LogSettingsDialog log(dialog.get(), &model->logSettings);
    MotorDriveInfoDialog motor(dialog.get(), model.get(), &engine);
    ClosedLoopDialog closedLoop(dialog.get(), model.get(), &engine);
    AboutDialog about(dialog.get());
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Unexported records"), QStringLiteral("Quit?"),
                    QMessageBox::Yes | QMessageBox::No, dialog.get());
    for (QWidget* w : std::initializer_list<QWidget*>{&display, &log, &motor, &closedLoop, &about, &box}) {
        w->show();
        QApplication::processEvents();
        const QImage picture = w->grab().toImage();
        QPoint where;
        EXPECT_LE(maxGreenOrBlue(picture, &where), kNightTolerance)
            << w->windowTitle().toStdString() << " at " << where.x() << "," << where.y();
        picture.save(screenshotDirectory() + QStringLiteral("/night_") +
                     w->windowTitle().replace(QLatin1Char(' '), QLatin1Char('_')).toLower() +
                     QStringLiteral(".png"));
        w->hide();
    }

    // Display settings chosen at night keep the graph dark until the day returns.
    model->displaySettings.colorScheme = 1;
    answerNextModal(1);
    dialog->command(131);
    EXPECT_EQ(graph->colorScheme(), 0);

    dialog->command(DlgMain::kNightModeId);
    EXPECT_FALSE(dialog->nightMode());
    EXPECT_EQ(graph->colorScheme(), 1);
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), dayPalette.color(QPalette::Window));
}

TEST_F(MainDialogNightMode, EndsWithTheDialog) {
    const QColor dayWindow = QApplication::palette().color(QPalette::Window);
    dialog->command(DlgMain::kNightModeId);
    EXPECT_FALSE(qApp->styleSheet().isEmpty());
    dialog.reset();
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), dayWindow);
}

} // namespace
