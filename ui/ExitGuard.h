#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

// Keeps count of the records logged since the last export or Clear and, when the program is to end
// with some of them still stored, asks whether to discard them, stay or export them first. UI thread.
class ExitGuard {
public:
    enum class Answer { Discard, Stay, ExportAndQuit };
    // Asks the question for this many records. Tests set one that answers at once.
    using Question = std::function<Answer(uint32_t unexported)>;

    void setQuestion(Question question) { question_ = std::move(question); }

    void recordsAdded(uint32_t count);
    // After a successful export or a Clear.
    void reset() { unexported_ = 0; }
    uint32_t unexported() const { return unexported_; }

    // Whether the program may end now without asking: nothing unexported is still stored. storedRaw is
    // the number of raw records the store holds (a new device record empties it).
    bool nothingToLose(uint32_t storedRaw) const { return unexported_ == 0 || storedRaw == 0; }
    // Asks (message box, or the question set by tests). plain: no coloured icon (night mode).
    Answer ask(QWidget* parent, uint32_t storedRaw, bool plain) const;

private:
    uint32_t unexported_ = 0;
    Question question_;
};
