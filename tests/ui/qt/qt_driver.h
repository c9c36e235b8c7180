#pragma once
// Plays user steps on the real Qt window while a routine waits in its
// nested event loop: each step waits until its widget is on screen (or a
// box is open), then clicks, types or answers as a user would.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "ui/dialog_cases.h"
#include "toolkit/qt/qt_backend.h"
#include "toolkit/qt/qt_toolkit.h"

namespace tarnivox::uitest {

QtBackend& qt();

// Types `text` over what a field shows, as a user does (setText is the
// program's own writing, not typing).
void type_into(QLineEdit* e, const QString& text);

class QtDriver : public Driver {
public:
    QtDriver();
    ~QtDriver() override;
    void start(const std::vector<Step>& steps) override;
    // Installs a backend and plays `steps` without building the window.
    void start_bare(const std::vector<Step>& steps);
    // A free-form step: returns false until it could be done.  With `kind`
    // Step::Answer it answers boxes itself: boxes that wait for it are not
    // answered as the headless backend would.
    void then(std::function<bool()> step, int kind = -1);
    // A user step after the free-form ones.
    void then(const Step& s);
    bool finished() const override { return next_ >= steps_.size(); }
    std::vector<Box> boxes() const override;
    bool shown(int h) const override;
    int active_window() const override { return 0; }
    // Every file dialog that opens is cancelled.
    bool cancel_file_dialogs = false;
    // Boxes and file dialogs that no step answers are answered as the
    // headless backend answers them: a message box with OK / Yes, a file
    // dialog cancelled; and no other step is played while one is open.  The
    // same steps then make the same run on both backends.
    bool answer_like_script = false;

private:
    void tick();
    bool play(const Step& s);
    bool answer_unanswered();
    std::vector<std::function<bool()>> steps_;
    std::vector<int> kinds_;  // Step::Kind of each step, -1 for a free-form one
    std::size_t next_ = 0;
    QElapsedTimer waiting_;  // since the last step was played
    QTimer timer_;
};

}  // namespace tarnivox::uitest
