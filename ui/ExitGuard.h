#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class AppModel;
class QWidget;

// When the program is to end while the store holds raw records that no export has written, asks whether
// to discard them, stay or export them first. Once the raw area was full, later records were kept for
// the graph only: the question says so, and counts only what an export can still write. UI thread.
class ExitGuard {
public:
    enum class Answer { Discard, Stay, ExportAndQuit };
    // Asks the question for this many records. Tests set one that answers at once.
    using Question = std::function<Answer(uint32_t unexported)>;

    void setQuestion(Question question) { question_ = std::move(question); }

    // Whether the program may end now without asking.
    static bool nothingToLose(const AppModel& model);
    // Asks (message box, or the question set by tests). plain: no coloured icon (night mode).
    Answer ask(QWidget* parent, const AppModel& model, bool plain) const;
    // The question's text.
    static QString questionText(const AppModel& model);

private:
    Question question_;
};
