// Export of the stored records to data.dat with its feedback, and the question before quitting with
// records that were never exported.
#include "ui/common/ElidedPath.h"
#include "ui/main/DlgMain.h"
#include "ui/main/ExitGuard.h"

#include "model/store/AppModel.h"
#include "rz4/StatusCode.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CurrentDirectory.h"
#include "MainDialogFixture.h"
#include "UiTestMain.h"

namespace {

using ExportAndExit = MainDialogFixture;

TEST_F(ExportAndExit, ExportWritesDataDatInTheCurrentDirectory) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CurrentDirectory here(dir.path());
    ASSERT_TRUE(here.ok());
    const uint8_t record[16] = {5, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xB0, 0x04, 0, 0, 7, 0, 0, 0};
    model->appendRecord(record, 16, true);
    EXPECT_TRUE(dialog->command(144));
    QFile file(dir.filePath(QStringLiteral("data.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[N:0 TS:5] 1000 1200 7\r\n"));
}

TEST_F(ExportAndExit, ExitAsksWhileRecordsAreUnexported) {
    // Nothing logged: every way out ends at once.
    EXPECT_EQ(runWith([this] { dialog->command(2); }), 0);
    EXPECT_TRUE(asked.empty());

    appendRecords(4);
    appendRecords(3);
    EXPECT_EQ(dialog->unexportedRecords(), 7u);
    // "Stay" keeps the dialog open for Exit, Esc, Enter and the close box alike.
    const int result = runWith([this] {
        dialog->command(2);
        pressKey(dialog.get(), Qt::Key_Escape);
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

// Short records count, and once the raw area is full the question counts only what an export can still
// write and says that later records were kept for the graph only.
TEST_F(ExportAndExit, TheQuestionCountsRawRecordsAndNamesWhatAFullAreaRefused) {
    const int32_t shortRecord = 9;
    model->appendRecord(reinterpret_cast<const uint8_t*>(&shortRecord), 4, true);
    EXPECT_EQ(dialog->unexportedRecords(), 1u);
    EXPECT_FALSE(ExitGuard::questionText(*model).contains(QStringLiteral("kept for the graph")));

    appendRecords(static_cast<int>(model->rawCapacity) + 9); // the area keeps rawCapacity - 1
    EXPECT_EQ(dialog->unexportedRecords(), model->rawCapacity - 1);
    const QString text = ExitGuard::questionText(*model);
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("%1 records have not been exported.").arg(model->rawCapacity - 1)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("11 later records were kept for the graph but not for export")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("neither"))) << text.toStdString();
    model->appendRecord(reinterpret_cast<const uint8_t*>(&shortRecord), 4, true); // refused, no sample
    EXPECT_TRUE(ExitGuard::questionText(*model).contains(
        QStringLiteral("\n1 later records were kept neither for export nor for the graph.")));
    EXPECT_EQ(runWith([this] {
                  answer = DlgMain::ExitAnswer::Discard;
                  dialog->command(2);
              }),
              0);
    EXPECT_EQ(asked, (std::vector<uint32_t>{model->rawCapacity - 1}));
}

// A new connection empties the export area: Connect asks first, unless a controller's session is open
// (then Connect changes nothing).
TEST_F(ExportAndExit, ConnectAsksBeforeANewConnectionEmptiesTheExportArea) {
    dialog->command(103); // the test mode: Connect needs no port
    appendRecords(5);
    dialog->command(101);
    EXPECT_EQ(asked, std::vector<uint32_t>{5});
    EXPECT_TRUE(engine.calls.empty()) << "stay: nothing sent";

    answer = DlgMain::ExitAnswer::Discard;
    dialog->command(101);
    EXPECT_EQ(engine.calls, std::vector<std::string>{"Connect(0)"});
    EXPECT_EQ(ExitGuard::questionText(*model, ExitGuard::Loss::Connect)
                  .count(QStringLiteral("Connect and discard")),
              1);

    dialog->OnStatus(StatusConnected);
    asked.clear();
    dialog->command(101);
    EXPECT_TRUE(asked.empty());
    dialog->OnStatus(StatusCommunicationError); // the line broke: the next Connect starts afresh
    dialog->command(101);
    EXPECT_EQ(asked, std::vector<uint32_t>{5});
}

TEST_F(ExportAndExit, ExportEndsTheQuestionAndExportAndQuitSaves) {
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

TEST_F(ExportAndExit, ExportTellsWhereItWentOrWhyItFailed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    appendRecords(6);
    const QString night = dir.filePath(QStringLiteral("night"));
    ASSERT_TRUE(QDir().mkpath(night));
    {
        CurrentDirectory here(night);
        ASSERT_TRUE(here.ok());
        dialog->command(144);
    }
    const QString full = QDir::toNativeSeparators(QDir(night).absoluteFilePath(QStringLiteral("data.dat")));
    auto* note = controlAs<QLabel>(DlgMain::kExportNoteId);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->toolTip(), QStringLiteral("Exported 6 records to ") + full);
    EXPECT_TRUE(note->text().endsWith(QStringLiteral("data.dat"))) << note->text().toStdString();
    EXPECT_TRUE(messages.empty());
    // Where the whole path does not fit, its folders give way in the middle; the file and its folder
    // stay.
    dialog->show(); // the note learns its new widths as it is resized
    const QFontMetrics metrics = note->fontMetrics();
    const int whole = metrics.horizontalAdvance(QStringLiteral("Exported 6 records to ") + full);
    note->resize(whole, note->height());
    EXPECT_EQ(note->text(), QStringLiteral("Exported 6 records to ") + full);
    note->resize(whole - 1, note->height());
    const QString shown = note->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Exported 6 records to "))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QDir::toNativeSeparators(QStringLiteral("/night/data.dat"))))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\u2026"))) << shown.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(shown), note->width()) << shown.toStdString();

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
    // The reason is the system's own for such a file (EISDIR on Linux, EACCES on Windows).
    const QString blocked = dir.filePath(QStringLiteral("blocked/data.dat"));
    errno = 0;
    ASSERT_EQ(std::fopen(blocked.toUtf8().constData(), "wb"), nullptr);
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].error);
    EXPECT_TRUE(messages[0].text.contains(QDir::toNativeSeparators(blocked)))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(reason)) << messages[0].text.toStdString();
    EXPECT_EQ(dialog->unexportedRecords(), 1u);
    EXPECT_EQ(note->text(), QStringLiteral("Export failed"));

#ifndef _WIN32
    // A current directory that no longer exists (Windows keeps a program's current folder in use).
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
#endif

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

// The folders of a path in a text give way in the middle until the text fits (here: up to room
// characters); the start, the file and the folder that holds it stay.
TEST(ElidedPath, FoldersGiveWayInTheMiddle) {
    struct Case {
        const char* text;
        const char* path;
        int room;
        const char* shown; // "" when nothing fits
    };
    const char* const path = "C:\\Users\\J\u00fcrgen\\Documents\\data.dat";
    const char* const exported = "Exported 78 records to C:\\Users\\J\u00fcrgen\\Documents\\data.dat";
    const Case cases[] = {
        {exported, path, 57, exported},
        {exported, path, 56, "Exported 78 records to C:\\Users\\\u2026\\Documents\\data.dat"},
        {exported, path, 51, "Exported 78 records to C:\\\u2026\\Documents\\data.dat"},
        {exported, path, 45, ""},
        {"/home/ann/astro/data.dat", "/home/ann/astro/data.dat", 23, "/home/\u2026/astro/data.dat"},
        {"/home/ann/astro/data.dat", "/home/ann/astro/data.dat", 21, ""},
        {"/home/ann/data.dat", "/home/ann/data.dat", 17, ""},
        {"Saved to \\\\nas\\astro\\2024\\m31.png.", "\\\\nas\\astro\\2024\\m31.png", 31,
         "Saved to \\\\nas\\\u2026\\2024\\m31.png."},
        {"Saved to /a/b/c.png", "/elsewhere/c.png", 10, ""},
    };
    for (const Case& c : cases) {
        const auto fits = [&](const QString& t) { return t.size() <= c.room; };
        EXPECT_EQ(elidePathInText(QString::fromUtf8(c.text), QString::fromUtf8(c.path), fits),
                  QString::fromUtf8(c.shown))
            << c.path << " in " << c.room;
    }
}

} // namespace
