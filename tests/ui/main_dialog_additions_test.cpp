// The main dialog's reachable commands (test mode, log settings, fetch, export), the exit guard for
// unexported records, export feedback, the reason behind a port that cannot be opened, night mode and
// the built-in virtual controller, up to a whole program run against it.
#include "ui/DlgMain.h"

#include "model/AppModel.h"
#include "model/DataTransfer.h"
#include "model/StatusCode.h"
#include "ui/AboutDialog.h"
#include "ui/Application.h"
#include "ui/ClosedLoopDialog.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/EncoderGraph.h"
#include "ui/LogSettingsDialog.h"
#include "ui/MotorDriveInfoDialog.h"
#include "ui/NightMode.h"
#include "ui/VirtualController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineCommandRecorder.h"
#include "MainDialogRig.h"
#include "UiTestMain.h"

namespace {

// Largest green or blue component tolerated in a night-mode picture. The colours themselves have none;
// this leaves room only for rounding in the rasteriser.
constexpr int kNightTolerance = 2;

// Changes the current directory for one scope.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const QString& path) : previous_(QDir::currentPath()) {
        ok_ = QDir::setCurrent(path);
    }
    ~CurrentDirectory() { QDir::setCurrent(previous_); }
    bool ok() const { return ok_; }

private:
    QString previous_;
    bool ok_ = false;
};

struct Message {
    QString title;
    QString text;
    bool error;
};

class MainDialogAdditions : public ::testing::Test {
protected:
    void SetUp() override { make(false); }

    void make(bool withVirtualController) {
        dialog.reset();
        virtualController.reset();
        model = std::make_unique<AppModel>();
        transfer = std::make_unique<DataTransfer>(model.get());
        if (withVirtualController)
            virtualController = std::make_unique<VirtualController>();
        dialog = std::make_unique<DlgMain>(model.get(), &engine, transfer.get(), virtualController.get());
        model->listener = dialog.get();
        transfer->setCallback(dialog.get());
        transfer->setSender(dialog.get());
        dialog->setMessageSink([this](const QString& title, const QString& text, bool error) {
            messages.push_back({title, text, error});
        });
        dialog->setExitQuestion([this](uint32_t count) {
            asked.push_back(count);
            return answer;
        });
        model->deviceInfo.recordLength = 16;
        model->updateGeometry();
    }

    void TearDown() override {
        dialog.reset();
        virtualController.reset();
    }

    // count records of 16 bytes in one batch, as the channel delivers them: the last one ends the batch.
    void appendRecords(int count) {
        for (int i = 0; i < count; ++i) {
            const int32_t values[4] = {next, 1000 * (next % 40) - 20000, 0, 7};
            ++next;
            model->appendRecord(reinterpret_cast<const uint8_t*>(values), 16, i + 1 == count);
        }
    }

    QString lineText(int id) const {
        auto* edit = qobject_cast<QLineEdit*>(dialog->control(id));
        return edit ? edit->text() : QStringLiteral("<no edit>");
    }

    template <typename T> T* controlAs(int id) const { return qobject_cast<T*>(dialog->control(id)); }

    // Runs the dialog modally with the given actions inside its loop; returns its result.
    int runWith(std::function<void()> actions) {
        QTimer::singleShot(0, dialog.get(), std::move(actions));
        return dialog->exec();
    }

    // Ends the next modal dialog that opens over the main dialog by its own command (1 Ok, 2 Cancel),
    // after calling inspect with it.
    static void answerNextModal(int commandId, std::function<void(QWidget*)> inspect = {}) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, poll, [poll, commandId, inspect] {
            auto* modal = qobject_cast<TemplateDialog*>(QApplication::activeModalWidget());
            if (!modal)
                return;
            poll->stop();
            poll->deleteLater();
            if (inspect)
                inspect(modal);
            modal->command(commandId);
        });
        poll->start(10);
    }

    EngineCommandRecorder engine;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DataTransfer> transfer;
    std::unique_ptr<VirtualController> virtualController;
    std::unique_ptr<DlgMain> dialog;
    std::vector<Message> messages;
    std::vector<uint32_t> asked;
    DlgMain::ExitAnswer answer = DlgMain::ExitAnswer::Stay;
    int32_t next = 0;
};

// Width a control needs to show its text on one line.
int neededWidth(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<const QLabel*>(w))
        return fm.horizontalAdvance(label->text());
    if (auto* push = qobject_cast<const QPushButton*>(w))
        return fm.horizontalAdvance(push->text()) + 4;
    if (auto* box = qobject_cast<const QCheckBox*>(w))
        return w->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
               w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + fm.horizontalAdvance(box->text());
    return 0;
}

TEST_F(MainDialogAdditions, NewControlsSendTheirCommands) {
    controlAs<QPushButton>(142)->click();
    EXPECT_EQ(engine.calls, std::vector<std::string>{"FetchLog()"});

    // Test mode: a click checks it, Connect then sends port 0 and locks it until Disconnect.
    auto* testMode = controlAs<QCheckBox>(103);
    testMode->click();
    EXPECT_TRUE(testMode->isChecked());
    controlAs<QPushButton>(101)->click();
    EXPECT_EQ(engine.calls.back(), "Connect(0)");
    EXPECT_FALSE(testMode->isEnabled());
    testMode->click(); // disabled: no change
    dialog->command(103);
    EXPECT_TRUE(testMode->isChecked());
    controlAs<QPushButton>(102)->click();
    EXPECT_TRUE(testMode->isEnabled());
    testMode->click();
    EXPECT_FALSE(testMode->isChecked());

    // Log settings: its dialog opens, and what it stores is what Start sends.
    answerNextModal(1, [](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), QStringLiteral("Log settings"));
        auto* box = static_cast<TemplateDialog*>(modal);
        box->command(135); // "Log processed" off
        qobject_cast<QCheckBox*>(box->control(135))->setChecked(false);
        box->command(144); // 64 Hz
    });
    controlAs<QPushButton>(132)->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    engine.calls.clear();
    controlAs<QPushButton>(140)->click();
    EXPECT_EQ(engine.calls, std::vector<std::string>{"StartLog(1,4)"});

    // Export writes data.dat where the program runs.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CurrentDirectory here(dir.path());
    ASSERT_TRUE(here.ok());
    appendRecords(3);
    controlAs<QPushButton>(144)->click();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("data.dat"))));
}

TEST_F(MainDialogAdditions, LayoutKeepsEveryControlWholeAndApart) {
    engine.openError = EACCES;
    dialog->OnStatus(StatusCannotOpenPort); // shows "Why?" too
    dialog->show();
    QApplication::processEvents();
    const QRect inside(QPoint(0, 0), dialog->size());
    const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* c : controls) {
        // The template's static line and label, and the size grip in the corner, are left out.
        if (!c->isVisible() || c->objectName().isEmpty() || c->objectName() == QStringLiteral("1000"))
            continue;
        const std::string name = c->objectName().toStdString();
        EXPECT_TRUE(inside.contains(c->geometry())) << name;
        EXPECT_LE(neededWidth(c), c->width()) << name << " text clipped";
        for (QWidget* other : controls) {
            if (other == c || !other->isVisible() || other->objectName().isEmpty())
                continue;
            EXPECT_FALSE(c->geometry().intersects(other->geometry()))
                << name << " overlaps " << other->objectName().toStdString();
        }
    }
    // The graph keeps its place.
    EXPECT_EQ(dialog->graphControl()->geometry().topLeft(), QPoint(dialog->graphLeft(), dialog->graphTop()));
    dialog->grab().save(screenshotDirectory() + QStringLiteral("/main_dialog_open_error.png"));
}

TEST_F(MainDialogAdditions, ExitAsksWhileRecordsAreUnexported) {
    // Nothing logged: every way out ends at once.
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_TRUE(asked.empty());

    appendRecords(4);
    appendRecords(3);
    EXPECT_EQ(dialog->unexportedRecords(), 7u);
    // "Stay" keeps the dialog open for Exit, Esc, Enter and the close box alike.
    const int result = runWith([this] {
        dialog->command(2);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &esc);
        dialog->command(1);
        dialog->close();
        EXPECT_TRUE(dialog->isVisible());
        answer = DlgMain::ExitAnswer::Discard;
        dialog->command(1);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(asked, (std::vector<uint32_t>{7, 7, 7, 7, 7}));
    EXPECT_EQ(model->rawCount, 7u); // discarding is the program's end, not a Clear

    // Clear forgets them: no question.
    asked.clear();
    dialog->command(146);
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_TRUE(asked.empty());

    // Records that a new device record already emptied from the store cannot be saved: no question.
    appendRecords(2);
    model->updateGeometry();
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_TRUE(asked.empty());
}

TEST_F(MainDialogAdditions, ExportEndsTheQuestionAndExportAndQuitSaves) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CurrentDirectory here(dir.path());
    ASSERT_TRUE(here.ok());

    appendRecords(5);
    dialog->command(144);
    EXPECT_EQ(dialog->unexportedRecords(), 0u);
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_TRUE(asked.empty());

    // Only the records after the export count.
    appendRecords(2);
    answer = DlgMain::ExitAnswer::ExportAndQuit;
    QFile::remove(dir.filePath(QStringLiteral("data.dat")));
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_EQ(asked, std::vector<uint32_t>{2});
    QFile file(dir.filePath(QStringLiteral("data.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), 7); // the whole store
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainDialogAdditions, ExportTellsWhereItWentOrWhyItFailed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    appendRecords(6);
    {
        CurrentDirectory here(dir.path());
        ASSERT_TRUE(here.ok());
        dialog->command(144);
    }
    const QString full = QDir(dir.path()).absoluteFilePath(QStringLiteral("data.dat"));
    auto* note = controlAs<QLabel>(DlgMain::kExportNoteId);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->toolTip(), QStringLiteral("Exported 6 records to ") + full);
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("Exported 6 records"))) << note->text().toStdString();
    EXPECT_TRUE(messages.empty());

    // A file that cannot be created (a directory of that name is in the way): an error that names the
    // file and the reason, and the records stay unexported.
    appendRecords(1);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("blocked")));
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("blocked"))).mkdir(QStringLiteral("data.dat")));
    {
        CurrentDirectory here(dir.filePath(QStringLiteral("blocked")));
        ASSERT_TRUE(here.ok());
        dialog->command(144);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].error);
    EXPECT_TRUE(messages[0].text.contains(dir.filePath(QStringLiteral("blocked/data.dat"))))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(QString::fromLocal8Bit(std::strerror(EISDIR))))
        << messages[0].text.toStdString();
    EXPECT_EQ(dialog->unexportedRecords(), 1u);
    EXPECT_EQ(note->text(), QStringLiteral("Export failed"));

    // A current directory that no longer exists.
    messages.clear();
    const QString gone = dir.filePath(QStringLiteral("gone"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("gone")));
    {
        CurrentDirectory here(gone);
        ASSERT_TRUE(here.ok());
        ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("gone")));
        dialog->command(144);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].error);
    EXPECT_EQ(dialog->unexportedRecords(), 1u);

    // Export-and-quit that fails keeps the dialog open.
    messages.clear();
    answer = DlgMain::ExitAnswer::ExportAndQuit;
    const int result = runWith([&] {
        {
            CurrentDirectory here(dir.filePath(QStringLiteral("blocked")));
            dialog->command(2);
        }
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(messages.size(), 1u);
        answer = DlgMain::ExitAnswer::Discard;
        dialog->command(2);
    });
    EXPECT_EQ(result, 0);
}

TEST_F(MainDialogAdditions, CannotOpenPortOffersTheReason) {
    auto* why = controlAs<QPushButton>(DlgMain::kOpenErrorReasonId);
    ASSERT_NE(why, nullptr);
    dialog->show();
    EXPECT_FALSE(why->isVisible());

    engine.openError = EACCES;
    dialog->command(101);
    dialog->OnStatus(StatusCannotOpenPort);
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
    EXPECT_TRUE(why->isVisible());
    EXPECT_TRUE(dialog->openErrorReason().contains(QStringLiteral("dialout")))
        << dialog->openErrorReason().toStdString();
    EXPECT_TRUE(dialog->control(104)->toolTip().contains(dialog->openErrorReason()));
    if (!dialog->ports().empty()) {
        EXPECT_TRUE(dialog->openErrorReason().startsWith(QString::fromStdString(dialog->ports()[0].path)));
    }
    // The status line gives way to the button.
    EXPECT_LE(dialog->control(104)->geometry().right(), why->geometry().left());

    dialog->command(DlgMain::kOpenErrorReasonId);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, dialog->openErrorReason());

    // The next status takes it away; an error without an OS reason offers none.
    dialog->OnStatus(StatusOpeningPort);
    EXPECT_FALSE(why->isVisible());
    EXPECT_TRUE(dialog->control(104)->toolTip().isEmpty());
    engine.openError = 0;
    dialog->OnStatus(StatusCannotOpenPort);
    EXPECT_FALSE(why->isVisible());
    EXPECT_TRUE(dialog->openErrorReason().isEmpty());
}

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

TEST_F(MainDialogAdditions, NightModeIsRedOnBlackEverywhere) {
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

TEST_F(MainDialogAdditions, NightModeEndsWithTheDialog) {
    const QColor dayWindow = QApplication::palette().color(QPalette::Window);
    dialog->command(DlgMain::kNightModeId);
    EXPECT_FALSE(qApp->styleSheet().isEmpty());
    dialog.reset();
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), dayWindow);
}

TEST_F(MainDialogAdditions, VirtualControllerIsTheLastEntryAndConnectsThroughItsPty) {
    make(true);
    auto* list = controlAs<QComboBox>(100);
    const int n = static_cast<int>(dialog->ports().size());
    ASSERT_EQ(list->count(), n + 1);
    EXPECT_EQ(dialog->virtualPortIndex(), n);
    EXPECT_EQ(list->itemText(n), QStringLiteral("Virtual RZ4 (built-in emulator)"));
    if (n == 0) {
        EXPECT_EQ(list->currentIndex(), 0); // no real device: the virtual one is selected
    }
    EXPECT_FALSE(virtualController->running()); // started on first use only

    list->setCurrentIndex(n);
    dialog->command(101);
    ASSERT_TRUE(virtualController->running());
    const std::string path = virtualController->slavePath();
    EXPECT_EQ(path.rfind("/dev/", 0), 0u) << path;
    const std::string port = std::to_string(n + 1);
    EXPECT_EQ(engine.calls,
              (std::vector<std::string>{"setPortPath(" + port + "," + path + ")", "Connect(" + port + ")"}));

    // A second Connect reuses the running emulator.
    dialog->command(102);
    engine.calls.clear();
    dialog->command(101);
    EXPECT_EQ(virtualController->slavePath(), path);
    EXPECT_EQ(engine.calls.back(), "Connect(" + port + ")");

    // Once stopped for good it does not come back: Connect is not sent, the status says why.
    virtualController->stop();
    dialog->command(102);
    engine.calls.clear();
    dialog->command(101);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(lineText(104), QStringLiteral("Error: Cannot open port."));
    EXPECT_FALSE(dialog->openErrorReason().isEmpty());
    EXPECT_TRUE(dialog->testModeEnabled());
}

TEST(MainDialogProgram, LogsFromTheVirtualControllerAndAsksBeforeDiscarding) {
    bool finished = false;
    int questions = 0;
    uint32_t samples = 0;
    const int exitCode = Application::run([&](DlgMain& dialog) {
        AppModel& model = *dialog.model();
        EncoderGraph& graph = *dialog.graph();
        dialog.setExitQuestion([&](uint32_t count) {
            ++questions;
            EXPECT_GT(count, 0u);
            return DlgMain::ExitAnswer::Discard;
        });
        auto* script = new DialogScript(
            dialog,
            {
                [&] {
                    auto* list = qobject_cast<QComboBox*>(dialog.control(100));
                    EXPECT_GE(dialog.virtualPortIndex(), 0);
                    list->setCurrentIndex(dialog.virtualPortIndex());
                    qobject_cast<QPushButton*>(dialog.control(101))->click();
                    return true;
                },
                [&] { return editText(dialog, 104) == QStringLiteral("Connection established."); },
                [&] {
                    EXPECT_EQ(graph.encoderBits(), 25);
                    model.logSettings.logRate = 4; // many records per block for a lively picture
                    graph.setScale(0);
                    qobject_cast<QPushButton*>(dialog.control(140))->click();
                    return true;
                },
                [&] { return model.sampleCount >= 150; },
                [&] {
                    samples = model.sampleCount;
                    EXPECT_TRUE(editText(dialog, 143).contains(QStringLiteral("Total:%1").arg(samples)));
                    graph.repaint();
                    const QString dir = screenshotDirectory();
                    dialog.grab().save(dir + QStringLiteral("/main_dialog_virtual.png"));
                    dialog.command(DlgMain::kNightModeId);
                    QApplication::processEvents();
                    const QImage night = dialog.grab().toImage();
                    night.save(dir + QStringLiteral("/main_dialog_virtual_night.png"));
                    EXPECT_LE(maxGreenOrBlue(night), kNightTolerance);
                    finished = true;
                    dialog.command(2); // still logging, records unexported
                    return true;
                },
            },
            30000);
        script->setParent(&dialog);
        dialog.show();
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(finished);
    EXPECT_EQ(questions, 1);
    EXPECT_GE(samples, 150u);
}

} // namespace
