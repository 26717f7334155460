#pragma once

#include "model/store/AppModel.h"
#include "model/store/DataTransfer.h"
#include "ui/main/DlgMain.h"
#include "ui/main/VirtualController.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "EngineCommandRecorder.h"
#include "LineText.h"

// The main dialog wired to a model and the channel as at start-up, with an engine double that records
// every command and, on request, the built-in virtual controller. Messages and exit questions are
// recorded instead of shown; the exit question is answered with `answer`. Records are 16 bytes long.
// UI thread.
class MainDialogFixture : public ::testing::Test {
protected:
    struct Message {
        QString title;
        QString text;
        bool error;
    };

    void SetUp() override { make(false); }
    void TearDown() override {
        dialog.reset();
        virtualController.reset();
    }

    // A fresh model, channel and dialog; with the virtual controller as the port list's last entry.
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
        transfer->setSender(dialog->noticeSender());
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

    // count records of 16 bytes in one batch, as the channel delivers them: the last one ends the batch.
    void appendRecords(int count) {
        for (int i = 0; i < count; ++i) {
            const int32_t values[4] = {next, 1000 * (next % 40) - 20000, 0, 7};
            ++next;
            model->appendRecord(reinterpret_cast<const uint8_t*>(values), 16, i + 1 == count);
        }
    }

    QString lineText(int id) const { return ::lineText(*dialog, id); }
    template <typename T> T* controlAs(int id) const { return qobject_cast<T*>(dialog->control(id)); }

    // Runs the dialog modally with the given actions inside its loop; returns its result.
    int runWith(std::function<void()> actions) {
        QTimer::singleShot(0, dialog.get(), std::move(actions));
        return dialog->exec();
    }

    // Ends the next modal dialog that opens over the main dialog by its own command (1 Ok, 2 Cancel),
    // after calling inspect with it. A wait that no dialog ends goes with the test.
    void answerNextModal(int commandId, std::function<void(QWidget*)> inspect = {}) {
        auto* poll = new QTimer(&modalAnswers);
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

    static void pressKey(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    EngineCommandRecorder engine;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<DataTransfer> transfer;
    std::unique_ptr<VirtualController> virtualController;
    std::unique_ptr<DlgMain> dialog;
    std::vector<Message> messages;
    std::vector<uint32_t> asked;
    DlgMain::ExitAnswer answer = DlgMain::ExitAnswer::Stay;
    int32_t next = 0;     // number of the next record appendRecords makes
    QObject modalAnswers; // owns the waits of answerNextModal
};
