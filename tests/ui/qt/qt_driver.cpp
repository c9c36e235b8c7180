#include "qt_driver.h"

#include <QSettings>

#include <cstdio>
#include <cstdlib>

namespace tarnivox::uitest {

namespace {
int g_argc = 1;
char g_name[] = "test_ui_qt";
char* g_argv[] = {g_name, nullptr};
// A step that waits this long (ms) means the routine is stuck; long
// enough for a whole automatic run in a sanitizer build.
constexpr qint64 kMaxWaitMs = 120000;
}  // namespace

QtBackend& qt() { return dynamic_cast<QtBackend&>(toolkit_backend()); }

void type_into(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    e->insert(text);
}

// The offscreen platform cannot raise windows or pass size hints to a
// window manager; its notes about it only hide real messages.
void quiet_platform_notes(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.startsWith("This plugin does not support")) return;
    std::fprintf(stderr, "%s%s\n", type == QtWarningMsg ? "Qt: " : "", msg.toLocal8Bit().constData());
}

QtDriver::QtDriver() {
    qInstallMessageHandler(quiet_platform_notes);
    // The window's recent files of test runs stay in the build folder.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, TARNIVOX_BINARY_DIR "/qt_settings");
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

QtDriver::~QtDriver() { timer_.stop(); }

void QtDriver::start_bare(const std::vector<Step>& steps) {
    set_toolkit_backend(make_qt_backend(g_argc, g_argv));
    steps_.clear();
    kinds_.clear();
    next_ = 0;
    for (const Step& s : steps) {
        steps_.push_back([this, s] { return play(s); });
        kinds_.push_back(s.kind);
    }
    waiting_.start();
    timer_.start();
}

void QtDriver::start(const std::vector<Step>& steps) {
    start_bare(steps);
    GRAPHICS_SETUP();
}

void QtDriver::then(std::function<bool()> step, int kind) {
    steps_.push_back(std::move(step));
    kinds_.push_back(kind);
}

void QtDriver::then(const Step& s) {
    steps_.push_back([this, s] { return play(s); });
    kinds_.push_back(s.kind);
}

bool QtDriver::answer_unanswered() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return false;
    const int next = next_ < kinds_.size() ? kinds_[next_] : -1;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (next == Step::Answer) return false;
        QAbstractButton* b = box->button(QMessageBox::Yes);
        if (!b) b = box->button(QMessageBox::Ok);
        if (b) b->click();
        return true;
    }
    if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
        if (next == Step::File || next == Step::Browse || next == Step::Cancel) return false;
        fd->reject();
        return true;
    }
    return false;
}

void QtDriver::tick() {
    if (answer_like_script) {
        if (answer_unanswered()) {
            waiting_.restart();
            return;
        }
        // While the timer runs the headless backend gives ticks, not the
        // script's next line: the run goes to its end or its pause first.
        // A box of the run waits for its answer, as a script's box does.
        const bool answers_box = QApplication::activeModalWidget() != nullptr && next_ < kinds_.size() &&
                                 kinds_[next_] == Step::Answer;
        if (qt().timer_running() && !answers_box) {
            waiting_.restart();
            return;
        }
    }
    if (cancel_file_dialogs)
        if (auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            fd->reject();
            return;
        }
    if (next_ >= steps_.size()) {
        // A box that no step will answer would wait for ever: say which.
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            waiting_.restart();
            return;
        }
        if (waiting_.elapsed() > kMaxWaitMs) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            std::fprintf(stderr, "Qt driver: no step answers the box \"%s\"; the test is stuck\n",
                         (box ? box->text() : modal->windowTitle()).toLocal8Bit().constData());
            std::_Exit(1);
        }
        return;
    }
    if (steps_[next_]()) {
        ++next_;
        waiting_.restart();
        return;
    }
    if (waiting_.elapsed() > kMaxWaitMs) {
        std::fprintf(stderr, "Qt driver: step %zu could not be played; the routine is stuck\n", next_ + 1);
        std::_Exit(1);
    }
}

bool QtDriver::play(const Step& s) {
    QtBackend& b = qt();
    auto visible = [](QWidget* w) { return w && w->isVisible() && w->isEnabled(); };
    switch (s.kind) {
        case Step::Press: {
            const int h = b.find(s.dialog, s.label);
            if (!h) return false;
            const auto& it = b.item(h);
            if (it.action) {
                if (!it.action->isEnabled()) return false;
                it.action->trigger();
                return true;
            }
            auto* button = qobject_cast<QAbstractButton*>(it.widget.data());
            if (!visible(button)) return false;
            button->click();
            return true;
        }
        case Step::Set: {
            const int h = b.find(s.dialog, s.label);
            auto* e = h ? qobject_cast<QLineEdit*>(b.item(h).widget.data()) : nullptr;
            if (!visible(e)) return false;
            type_into(e, QString::fromStdString(s.value));
            return true;
        }
        case Step::Toggle: {
            const int h = b.find(s.dialog, s.label);
            auto* button = h ? qobject_cast<QAbstractButton*>(b.item(h).widget.data()) : nullptr;
            if (!visible(button)) return false;
            button->setChecked(s.value == "on");
            return true;
        }
        case Step::Select: {
            const int h = b.find(s.dialog, s.label);
            auto* list = h ? qobject_cast<QListWidget*>(b.item(h).widget.data()) : nullptr;
            if (!visible(list)) return false;
            list->setCurrentRow(std::atoi(s.value.c_str()) - 1);
            return true;
        }
        case Step::Answer: {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return false;
            QMessageBox::StandardButton which = QMessageBox::Ok;
            if (s.value == "yes") which = QMessageBox::Yes;
            if (s.value == "no") which = QMessageBox::No;
            if (s.value == "cancel") which = QMessageBox::Cancel;
            QAbstractButton* button = box->button(which);
            if (!button) return false;
            button->click();
            return true;
        }
        case Step::Cancel: {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!fd) return false;
            fd->reject();
            return true;
        }
        case Step::File:
        case Step::Browse: {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!fd) return false;
            const QStringList filters = fd->nameFilters();
            if (s.kind == Step::File && s.command >= 1 && s.command <= filters.size())
                fd->selectNameFilter(filters[s.command - 1]);
            fd->selectFile(QString::fromStdString(s.value));
            static_cast<QDialog*>(fd)->accept();  // as the dialog's own Open button
            return true;
        }
        case Step::Close: {
            QWidget* win = b.main_window();
            if (!win || QApplication::activeModalWidget()) return false;
            win->close();
            return true;
        }
        case Step::Command: {
            for (int h = 1; h <= b.handles(); ++h) {
                const auto& it = b.item(h);
                auto* button = qobject_cast<QAbstractButton*>(it.widget.data());
                if (it.command == s.command && visible(button) && button->window()->isVisible()) {
                    button->click();
                    return true;
                }
            }
            return false;
        }
    }
    return false;
}

std::vector<Box> QtDriver::boxes() const {
    std::vector<Box> out;
    for (const QtBoxEvent& e : qt().box_events()) out.push_back({e.title, e.text});
    return out;
}

bool QtDriver::shown(int h) const {
    const auto& it = qt().item(h);
    if (it.action) return it.action->isVisible();
    QWidget* w = it.widget.data();
    if (!w) return false;
    if (w->isWindow()) return w->isVisible();
    return !w->isHidden();
}

}  // namespace tarnivox::uitest

// Fontconfig keeps a cache for the life of the process that the leak
// checker of sanitizer builds reports at exit; it is not the program's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }
