#include "toolkit/qt/qt_toolkit.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/internal_error.h"
#include "toolkit/qt/qt_backend.h"
#include "toolkit/qt/value_text.h"

namespace tarnivox {
namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A field without a caption of its own says what it is when the pointer
// rests on it, and to screen readers.
void name_field(QWidget* w, std::string_view label) {
    if (label.empty()) return;
    w->setToolTip(qs(label));
    w->setAccessibleName(qs(label));
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return std::string(s);
}

// The program's icon: a diffraction peak over its background, drawn so
// that no image file has to travel with the program.
QPixmap program_icon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(1, 1, size - 2, size - 2);
    p.setPen(QPen(QColor("#1f5fbf"), 1.5));
    p.setBrush(QColor("#eef3fb"));
    p.drawRoundedRect(r, size / 6.0, size / 6.0);
    QPainterPath peak;
    const double base = r.bottom() - size * 0.18;
    for (int i = 0; i <= 40; ++i) {
        const double t = -2.5 + 5.0 * i / 40.0;
        const double x = r.left() + size * 0.1 + (size * 0.8) * i / 40.0;
        const double y = base - size * 0.6 * std::exp(-t * t);
        if (i == 0)
            peak.moveTo(x, y);
        else
            peak.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor("#d62728"), 2.0));
    p.drawPath(peak);
    p.setPen(QPen(QColor("#000000"), 1.0));
    p.drawLine(QPointF(r.left() + size * 0.1, base), QPointF(r.right() - size * 0.1, base));
    return pm;
}

// The label with an underlined access key: the first letter not yet taken
// by its neighbours in the same menu bar or menu (Alt+F opens "File").
QString with_mnemonic(const QString& label, QObject* holder) {
    QString taken = holder->property("tarnivox_keys").toString();
    for (qsizetype i = 0; i < label.size(); ++i) {
        const QChar c = label[i].toLower();
        if (!c.isLetter() || taken.contains(c)) continue;
        holder->setProperty("tarnivox_keys", taken + c);
        QString shown = label;
        shown.replace("&", "&&");
        // '&' doubled before i shifts the position.
        const qsizetype at = i + label.left(i).count('&');
        return shown.insert(at, '&');
    }
    return QString(label).replace("&", "&&");
}

// The desktop's own keys for the menu commands every program has.
QList<QKeySequence> menu_shortcuts(std::string_view label) {
    if (label == "Open data file") return QKeySequence::keyBindings(QKeySequence::Open);
    if (label == "Exit") return QKeySequence::keyBindings(QKeySequence::Quit);
    return {};
}

// Keys of the fitting panel: starting and stopping an automatic run.
QKeySequence panel_shortcut(std::string_view label) {
    if (label == "Start") return QKeySequence(Qt::CTRL | Qt::Key_R);
    if (label == "Stop") return QKeySequence(Qt::Key_Escape);
    return {};
}

// The part of the window's screen that windows may take.
ScreenRect screen_rect(QWidget* w) {
    QScreen* screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QRect r = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return {r.x(), r.y(), r.width(), r.height()};
}

// At any scale factor the main window lies whole on its screen, its plot
// giving up height where the screen is small.
void fit_window_on_screen(QWidget* w) {
    const ScreenRect screen = screen_rect(w);
    const QSize least = w->minimumSizeHint();
    const QRect f = w->frameGeometry();
    const QSize frame_extra = f.size() - w->size();
    const ScreenRect fit =
        fit_on_screen({f.x(), f.y(), f.width(), f.height()}, least.width() + frame_extra.width(),
                      least.height() + frame_extra.height(), screen);
    if (fit.w != f.width() || fit.h != f.height()) w->resize(fit.w - frame_extra.width(), fit.h - frame_extra.height());
    if (fit.x != f.x() || fit.y != f.y()) w->move(fit.x, fit.y);
}

QApplication& application(int& argc, char** argv) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
    // One application for the life of the process: windows of later
    // backends (tests build several) live in the same one.
    static QApplication* app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    app->setApplicationName("Tarnivox");
    return *app;
}

}  // namespace

std::unique_ptr<ToolkitBackend> make_qt_backend(int& argc, char** argv) {
    application(argc, argv);
    return std::make_unique<QtBackend>();
}

QtBackend::QtBackend() { define_grid(cell_w_, cell_h_); }

QtBackend::~QtBackend() {
    if (loop_) loop_->quit();
    delete_windows();
}

void QtBackend::delete_windows() {
    if (main_) {
        main_->closing = true;
        delete main_.data();
    }
    for (auto& w : top_levels_)
        if (w) delete w.data();
    top_levels_.clear();
}

const QtBackend::Item& QtBackend::item(int h) const { return const_cast<QtBackend*>(this)->at(h); }

QtBackend::Item& QtBackend::at(int h) {
    if (h < 1 || h > static_cast<int>(items_.size())) {
        internal_error("widget handle " + std::to_string(h) + " does not exist");
    }
    return items_[static_cast<std::size_t>(h - 1)];
}

int QtBackend::add(Item item) {
    items_.push_back(std::move(item));
    return static_cast<int>(items_.size());
}

QWidget* QtBackend::main_window() const { return main_.data(); }

FrameWidget* QtBackend::frame(int h) const {
    if (h < 1 || h > static_cast<int>(items_.size())) return nullptr;
    const Item& it = items_[static_cast<std::size_t>(h - 1)];
    return it.kind == Kind::Frame ? static_cast<FrameWidget*>(it.widget.data()) : nullptr;
}

void QtBackend::post(int command) {
    queue_.push_back(command);
    if (loop_) loop_->quit();
}

void QtBackend::define_grid(int cell_w, int cell_h) {
    cell_w_ = cell_w > 0 ? cell_w : 32;
    cell_h_ = cell_h > 0 ? cell_h : 24;
    // The grid is the program's 32 x 24 cell; on this screen a cell grows
    // with the font so that a one-row widget holds a line of text.
    const QFontMetrics fm(QApplication::font());
    const double k = std::max(1.0, (fm.height() + 10) / static_cast<double>(cell_h_));
    px_w_ = static_cast<int>(std::lround(cell_w_ * k));
    px_h_ = static_cast<int>(std::lround(cell_h_ * k));
    margin_ = px_h_ / 3;
}

GridCanvas* QtBackend::canvas_of(int parent) {
    Item& p = at(parent);
    if (p.kind == Kind::Window) return static_cast<GridCanvas*>(main_->centralWidget());
    if (p.kind == Kind::Dialog) return static_cast<GridCanvas*>(p.widget.data());
    internal_error("handle " + std::to_string(parent) + " holds no widgets");
}

QtBackend::Item QtBackend::item_of(Kind kind, int parent, int command, std::string_view label) {
    Item it;
    it.kind = kind;
    it.parent = parent;
    it.command = command;
    it.label = std::string(label);
    return it;
}

int QtBackend::add_widget(Kind kind, int parent, QWidget* w, int command, std::string_view label) {
    Item it = item_of(kind, parent, command, label);
    it.widget = w;
    return add(it);
}

void QtBackend::place(int parent, QWidget* w, int x, int y, int cw, int ch, Growth growth) {
    canvas_of(parent)->place(w, x, y, cw, ch, growth);
}

// ---------------------------------------------------------------- windows

int QtBackend::create_master_window(int x, int y, int w, int h, std::string_view title,
                                    std::string_view name) {
    auto* win = new MainWindow;
    main_ = win;
    win->on_drop = [this](const QString& path) { return offer_data_file(path); };
    win->setWindowTitle(qs(title));
    win->setObjectName(qs(name));
    win->setWindowIcon(QIcon(program_icon(64)));
    // The menu bar and the status bar take the place of the window's top row.
    auto* canvas = new GridCanvas(w, std::max(1, h - 1), px_w_, px_h_, margin_);
    win->setCentralWidget(canvas);
    win->move(x * px_w_, y * px_h_);
    const int handle = add_widget(Kind::Window, 0, win, 0, title);
    win->on_close = [this] { post(GM_CLOSE); };
    return handle;
}

int QtBackend::create_menu_bar(int window) { return add_widget(Kind::MenuBar, window, main_->menuBar()); }

int QtBackend::create_pulldown_menu(int bar, std::string_view title) {
    QMenu* menu = main_->menuBar()->addMenu(with_mnemonic(qs(title), main_->menuBar()));
    Item it = item_of(Kind::Menu, bar, 0, title);
    it.menu = menu;
    it.action = menu->menuAction();
    return add(it);
}

int QtBackend::create_menu_entry(int menu, std::string_view label, int command) {
    QMenu* m = at(menu).menu;
    QAction* a = m->addAction(with_mnemonic(qs(label), m));
    a->setShortcuts(menu_shortcuts(label));
    post_on(a, &QAction::triggered, command);
    if (label == "Open data file") {
        // The data files opened before, under the entry that opens one.
        open_data_action_ = a;
        open_data_command_ = command;
        QMenu* recent = m->addMenu(with_mnemonic("Open recent", m));
        QObject::connect(recent, &QMenu::aboutToShow, [this, recent] {
            recent->clear();
            const QStringList files = recent_data_files();
            for (int i = 0; i < files.size(); ++i) {
                const QString path = files[i];
                QAction* r = recent->addAction(QString("&%1 %2").arg(i + 1).arg(path));
                QObject::connect(r, &QAction::triggered, [this, path] { offer_data_file(path); });
            }
            recent->setEnabled(true);
            if (files.isEmpty()) recent->addAction("(none)")->setEnabled(false);
        });
    }
    Item it = item_of(Kind::MenuEntry, menu, command, label);
    it.action = a;
    return add(it);
}

int QtBackend::create_menu_separator(int menu) {
    Item it = item_of(Kind::Separator, menu);
    it.action = at(menu).menu->addSeparator();
    return add(it);
}

int QtBackend::create_status_bar(int window, std::string_view text) {
    auto* label = new QLabel(qs(text));
    label->setContentsMargins(4, 0, 4, 0);
    main_->statusBar()->addWidget(label, 1);
    return add_widget(Kind::StatusBar, window, label);
}

int QtBackend::create_icon(int parent, int x, int y, int w, int h) {
    auto* label = new QLabel(canvas_of(parent));
    label->setPixmap(program_icon(std::min(w * px_w_, h * px_h_) - 8));
    label->setAlignment(Qt::AlignCenter);
    place(parent, label, x, y, w, h, Growth::Capped);
    return add_widget(Kind::Icon, parent, label);
}

int QtBackend::create_graphics_frame(int parent, int x, int y, int w, int h) {
    GridCanvas* canvas = canvas_of(parent);
    auto* f = new FrameWidget(canvas);
    place(parent, f, x, y, w, h, Growth::Full);
    canvas->set_stretch(f);
    f->reset_extents();
    const int handle = add_widget(Kind::Frame, parent, f);
    if (!active_frame_) active_frame_ = handle;
    return handle;
}

int QtBackend::create_dialog(int parent, int /*x*/, int /*y*/, int w, int h, std::string_view title) {
    QWidget* owner =
        parent > 0 && parent <= static_cast<int>(items_.size()) ? at(parent).widget.data() : nullptr;
    auto* d = new DialogWindow(w, h, px_w_, px_h_, margin_, owner);
    d->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    d->setWindowTitle(qs(title));
    d->setFixedSize(d->base_size());
    if (!owner) top_levels_.push_back(d);
    const int handle = add_widget(Kind::Dialog, parent, d, 0, title);
    // Closing a box is leaving it: the routine running it receives the
    // command of its "Quit" (or the one button that ends it).
    // The first of `names` that is a selectable button of this box fires.
    const auto press_first = [this, handle](std::initializer_list<const char*> names) {
        for (const char* name : names)
            for (const Item& b : items_)
                if (b.parent == handle && b.kind == Kind::PushButton && b.label == name && b.status == 1) {
                    post(b.command);
                    return;
                }
    };
    d->on_close = [press_first] { press_first({"Quit", "Exit", "OK", "Ok"}); };
    // Enter takes the box's choices: its OK, Go, Save + Exit or Refine.
    d->on_confirm = [press_first] { press_first({"OK", "Ok", "Go", "Save + Exit", "Refine"}); };
    return handle;
}

// ---------------------------------------------------------------- widgets

int QtBackend::create_push_button(int parent, int x, int y, int w, int h, std::string_view label,
                                  int command) {
    auto* b = new QPushButton(qs(label), canvas_of(parent));
    b->setAutoDefault(false);
    if (const QKeySequence key = panel_shortcut(label); at(parent).kind == Kind::Window && !key.isEmpty()) {
        b->setShortcut(key);
        b->setToolTip(qs(label) + " (" + key.toString(QKeySequence::NativeText) + ")");
    }
    post_on(b, &QPushButton::clicked, command);
    place(parent, b, x, y, w, h, Growth::Capped);
    return add_widget(Kind::PushButton, parent, b, command, label);
}

int QtBackend::create_toggle_button(int parent, int x, int y, int w, int h, std::string_view label, int state,
                                    int command) {
    auto* b = new QCheckBox(qs(label), canvas_of(parent));
    b->setChecked(state != 0);
    post_on(b, &QCheckBox::clicked, command);
    place(parent, b, x, y, w, h, Growth::Full);
    return add_widget(Kind::Toggle, parent, b, command, label);
}

int QtBackend::create_radio_button(int parent, int x, int y, int w, int h, std::string_view label, int state,
                                   int command, int group) {
    GridCanvas* canvas = canvas_of(parent);
    auto* b = new QRadioButton(qs(label), canvas);
    const long long key = static_cast<long long>(parent) * 100000 + group;
    QButtonGroup* bg = nullptr;
    for (auto& [k, g] : groups_)
        if (k == key) bg = g;
    if (!bg) {
        bg = new QButtonGroup(canvas);
        bg->setExclusive(true);
        groups_.emplace_back(key, bg);
    }
    bg->addButton(b);
    b->setChecked(state != 0);
    post_on(b, &QRadioButton::clicked, command);
    place(parent, b, x, y, w, h, Growth::Full);
    return add_widget(Kind::Radio, parent, b, command, label);
}

int QtBackend::create_list_box(int parent, int x, int y, int w, int h, std::string_view label, int command) {
    auto* l = new QListWidget(canvas_of(parent));
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    name_field(l, label);
    post_on(l, &QListWidget::itemClicked, command);
    place(parent, l, x, y, w, h, Growth::Full);
    return add_widget(Kind::List, parent, l, command, label);
}

int QtBackend::create_text_entry(int parent, int x, int y, int w, int h, std::string_view text, int max_chars,
                                 int command, EntryKind kind, std::string_view label) {
    QWidget* widget = nullptr;
    if (kind == EntryKind::Caption) {
        auto* c = new QLabel(qs(text), canvas_of(parent));
        c->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        widget = c;
    } else {
        auto* e = new QLineEdit(canvas_of(parent));
        if (max_chars > 0) e->setMaxLength(max_chars);
        e->setText(qs(text));
        if (kind == EntryKind::Display) {
            e->setReadOnly(true);
            e->setFocusPolicy(Qt::NoFocus);
            QPalette pal = e->palette();
            pal.setColor(QPalette::Base, pal.color(QPalette::Window).lighter(104));
            e->setPalette(pal);
        }
        post_on(e, &QLineEdit::returnPressed, command);
        widget = e;
    }
    name_field(widget, label);
    place(parent, widget, x, y, w, h, Growth::Full);
    Item it =
        item_of(Kind::TextEntry, parent, command, label.empty() && kind == EntryKind::Caption ? text : label);
    it.widget = widget;
    it.max_chars = max_chars;
    it.entry = kind;
    return add(it);
}

int QtBackend::create_value_entry(int parent, int x, int y, int w, int h, double value, int /*width*/,
                                  int decimals, int command, std::string_view label) {
    auto* e = new QLineEdit(canvas_of(parent));
    e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    e->setText(QString::fromStdString(format_entry_value(value, decimals)));
    name_field(e, label);
    place(parent, e, x, y, w, h, Growth::Full);
    Item it = item_of(Kind::ValueEntry, parent, command, label);
    it.widget = e;
    it.value = value;
    it.decimals = decimals;
    const int handle = add(it);
    // Only the user's own editing emits textEdited, never setText.
    QObject::connect(e, &QLineEdit::textEdited, [this, handle] { at(handle).typed = true; });
    // Text that is not a number goes back to the value the field held.
    QObject::connect(e, &QLineEdit::editingFinished, [this, handle] { read_entry(at(handle)); });
    if (command)
        QObject::connect(e, &QLineEdit::returnPressed, [this, handle, command] {
            read_entry(at(handle));
            post(command);
        });
    return handle;
}

double QtBackend::read_entry(Item& it) {
    auto* e = static_cast<QLineEdit*>(it.widget.data());
    // The shown text is the value rounded for display: reading it back
    // would round FWHM 0.123456 to 0.123.
    if (!e || !it.typed) return it.value;
    it.typed = false;
    if (auto v = parse_entry_value(e->text().toStdString()))
        it.value = *v;
    else
        e->setText(QString::fromStdString(format_entry_value(it.value, it.decimals)));
    return it.value;
}

QLineEdit* QtBackend::line_edit(int h) { return qobject_cast<QLineEdit*>(at(h).widget.data()); }

// ---------------------------------------------------------------- the wait

int QtBackend::action() {
    auto take = [this] {
        const int c = queue_.front();
        queue_.pop_front();
        return c;
    };
    if (!queue_.empty()) return take();
    if (timer_command_ != 0) {
        // A running timer ticks whenever the window has nothing else to
        // do: an automatic run goes as fast as its fits, with the window
        // kept drawn and its "Stop" heard between reflections.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!queue_.empty()) return take();
        return timer_command_;
    }
    QEventLoop loop;
    loop_ = &loop;
    while (queue_.empty()) loop.exec();
    loop_ = nullptr;
    return take();
}

void QtBackend::define_timer(int /*interval*/, int command) { timer_command_ = command; }

void QtBackend::settle() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void QtBackend::draw_window(int h) {
    Item& it = at(h);
    QWidget* w = it.widget.data();
    if (!w) return;
    if (it.kind == Kind::Dialog && !w->isVisible() && main_ && main_->isVisible()) {
        // Each box opens beside the main window, leaving the plot and the
        // fitting panel in view.
        const ScreenRect screen = screen_rect(main_);
        const QRect m = main_->frameGeometry();
        const QSize frame_extra = w->frameGeometry().size() - w->size();
        const BoxPlacement p = place_beside({m.x(), m.y(), m.width(), m.height()},
                                            w->width() + std::max(0, frame_extra.width()),
                                            w->height() + std::max(0, frame_extra.height()), screen);
        if (p.main_x != m.x() || p.main_y != m.y()) {
            if (main_moved_by_ == 0) {
                main_moved_by_ = h;
                main_home_ = main_->pos();
            }
            main_->move(p.main_x, p.main_y);
            main_placed_ = main_->pos();
        }
        w->move(p.x, p.y);
    }
    if (it.kind == Kind::Window || it.kind == Kind::Dialog) {
        const bool appearing = !w->isVisible();
        w->show();
        w->raise();
        if (appearing) {
            // The wait box is shown just before long work that runs no
            // event loop: give the display a moment to map it and draw it.
            QElapsedTimer waited;
            waited.start();
            while (w->windowHandle() && !w->windowHandle()->isExposed() && waited.elapsed() < 200)
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            if (it.kind == Kind::Window) fit_window_on_screen(w);
            w->repaint();
        }
    } else {
        w->update();
    }
    settle();
}

void QtBackend::set_active_window(int h) {
    QWidget* w = at(h).widget.data();
    if (!w) return;
    w->raise();
    w->activateWindow();
}

void QtBackend::remove_window(int h) {
    if (QWidget* w = at(h).widget.data()) w->hide();
    if (h == main_moved_by_) {
        // Back home, unless the user has moved the window since.
        if (main_ && main_->pos() == main_placed_) main_->move(main_home_);
        main_moved_by_ = 0;
    }
}

void QtBackend::set_widget_status(int h, int status) {
    Item& it = at(h);
    it.status = status;
    if (it.action) {
        it.action->setVisible(status != -1);
        it.action->setEnabled(status == 1);
        return;
    }
    QWidget* w = it.widget.data();
    if (!w) return;
    w->setEnabled(status == 1);
    if (it.kind == Kind::Window || it.kind == Kind::Dialog) {
        if (status == -1) w->hide();
        return;
    }
    w->setVisible(status != -1);
}

void QtBackend::set_text(int h, std::string_view text) {
    Item& it = at(h);
    QWidget* w = it.widget.data();
    if (it.action) {
        it.action->setText(qs(text));
        return;
    }
    if (!w) return;
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(qs(text));
        e->setCursorPosition(0);
        // A display field narrower than its text (a long path or title)
        // shows the whole text when the pointer rests on it.
        if (e->isReadOnly()) e->setToolTip(e->text());
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(qs(text));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(qs(text));
    } else if (it.kind == Kind::Window || it.kind == Kind::Dialog) {
        w->setWindowTitle(qs(text));
    }
}

std::string QtBackend::text(int h) {
    Item& it = at(h);
    QWidget* w = it.widget.data();
    if (it.action) return it.action->text().toStdString();
    if (!w) return {};
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    return w->windowTitle().toStdString();
}

void QtBackend::set_value(int h, double v) {
    Item& it = at(h);
    if (!std::isfinite(v)) return;  // a field never shows garbage
    it.value = v;
    it.typed = false;
    if (QLineEdit* e = line_edit(h)) e->setText(QString::fromStdString(format_entry_value(v, it.decimals)));
}

double QtBackend::value(int h) {
    Item& it = at(h);
    if (it.kind == Kind::ValueEntry) return read_entry(it);
    if (QLineEdit* e = line_edit(h)) return parse_entry_value(e->text().toStdString()).value_or(0.0);
    return it.value;
}

void QtBackend::set_toggle(int h, int state) {
    auto* b = qobject_cast<QAbstractButton*>(at(h).widget.data());
    if (!b) return;
    QButtonGroup* g = b->group();
    if (g && !state && b->isChecked()) {
        // An exclusive group refuses to have its one choice switched off.
        g->setExclusive(false);
        b->setChecked(false);
        g->setExclusive(true);
        return;
    }
    b->setChecked(state != 0);
}

int QtBackend::toggle(int h) {
    auto* b = qobject_cast<QAbstractButton*>(at(h).widget.data());
    return b && b->isChecked() ? 1 : 0;
}

void QtBackend::add_list_entry(int h, std::string_view text) {
    if (auto* l = qobject_cast<QListWidget*>(at(h).widget.data())) l->addItem(qs(text));
}

int QtBackend::list_selection(int h) {
    auto* l = qobject_cast<QListWidget*>(at(h).widget.data());
    if (!l) return 0;
    const auto sel = l->selectedItems();
    return sel.isEmpty() ? 0 : l->row(sel.front()) + 1;
}

void QtBackend::set_font(int h, int size) {
    QWidget* w = at(h).widget.data();
    if (!w) return;
    // Size 10 is the toolkit's small font: a step below the window's own.
    QFont f = w->font();
    const double base = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 9.0;
    f.setPointSizeF(size <= 10 ? std::max(7.0, base - 1.0) : base);
    w->setFont(f);
}

int QtBackend::find_dialog(std::string_view title) const {
    const std::string t = trimmed(title);
    // Two boxes share the title "Tarnivox": the one on screen is meant.
    int found = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Item& it = items_[i];
        const bool container = it.kind == Kind::Window || it.kind == Kind::Dialog || it.kind == Kind::Menu;
        if (!container || !(trimmed(it.label) == t || (t == "main" && it.kind == Kind::Window))) continue;
        if (it.kind == Kind::Dialog && it.widget && it.widget->isVisible()) return static_cast<int>(i + 1);
        if (!found) found = static_cast<int>(i + 1);
    }
    return found;
}

int QtBackend::find(std::string_view dialog, std::string_view label) const {
    const int d = find_dialog(dialog);
    if (!d) return 0;
    std::string name = trimmed(label);
    int nth = 1;
    const auto hash = name.rfind('#');
    if (hash != std::string::npos && hash + 1 < name.size()) {
        const int n = std::atoi(name.c_str() + hash + 1);
        if (n >= 1) {
            nth = n;
            name = trimmed(name.substr(0, hash));
        }
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].parent == d && trimmed(items_[i].label) == name && --nth == 0)
            return static_cast<int>(i + 1);
    return 0;
}

// ---------------------------------------------------------------- boxes

int QtBackend::message_box(std::string_view title, std::string_view text, int icon, int buttons) {
    QMessageBox box(main_.data());
    box.setWindowTitle(qs(title));
    box.setText(qs(text));
    QMessageBox::Icon kind = QMessageBox::Information;
    if (icon == GM_ICON_INFORMATION && buttons != GM_BUTTONS_OK) kind = QMessageBox::Question;
    if (icon == GM_ICON_WARNING) kind = QMessageBox::Warning;
    box.setIcon(kind);
    if (buttons == GM_BUTTONS_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else if (buttons == GM_BUTTONS_YESNOCANCEL) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.exec();
    int answer = GM_YES;
    const auto* clicked = box.clickedButton();
    if (clicked == box.button(QMessageBox::No)) answer = GM_NO;
    if (buttons == GM_BUTTONS_YESNOCANCEL && (clicked == box.button(QMessageBox::Cancel) || !clicked))
        answer = GM_CANCEL;
    if (buttons == GM_BUTTONS_YESNO && !clicked) answer = GM_NO;
    boxes_.push_back({std::string(title), std::string(text), answer});
    return answer;
}

void QtBackend::error_box(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::Critical, qs(title), qs(text), QMessageBox::Ok, main_.data());
    box.exec();
    boxes_.push_back({std::string(title), std::string(text), GM_YES});
}

std::string QtBackend::browse(std::string_view title, std::string_view name, std::string_view dir,
                              std::string_view filter) {
    QFileDialog dlg(main_.data(), qs(trimmed(title)), qs(trimmed(dir)));
    // The browse dialog also names files to be made (a new log or
    // experiment file); the routine that opens the file decides whether it
    // must exist ("Error opening file: Try again").
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    const std::string filters = browse_name_filters(filter);
    if (!filters.empty()) dlg.setNameFilters(qs(filters).split(";;"));
    if (!trimmed(name).empty()) dlg.selectFile(qs(trimmed(name)));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().front().toStdString();
}

namespace {
constexpr int kRecentFiles = 8;

QSettings recent_settings() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "Tarnivox", "recent"); }
}  // namespace

QStringList QtBackend::recent_data_files() const {
    return recent_settings().value("data_files").toStringList();
}

bool QtBackend::open_in_browser(std::string_view path) {
    browser_requests_.emplace_back(path);
    if (record_browser_requests) return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(qs(path)).absoluteFilePath()));
}

void QtBackend::note_data_file(std::string_view path) {
    const QString file = QFileInfo(qs(path)).absoluteFilePath();
    QStringList files = recent_data_files();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > kRecentFiles) files.removeLast();
    recent_settings().setValue("data_files", files);
}

bool QtBackend::idle() const {
    if (!open_data_action_ || !open_data_action_->isEnabled() || timer_command_ != 0) return false;
    // The fitting runs grey the menu titles.
    if (const auto* m = qobject_cast<const QMenu*>(open_data_action_->parent()); m && !m->menuAction()->isEnabled())
        return false;
    for (const Item& it : items_)
        if (it.kind == Kind::Dialog && it.widget && it.widget->isVisible()) return false;
    return true;
}

bool QtBackend::offer_data_file(const QString& path) {
    if (!idle() || !QFileInfo(path).isFile()) {
        if (main_) main_->statusBar()->showMessage("Not opened: " + path +
                                                       (QFileInfo(path).isFile() ? " (finish the present command first)"
                                                                                 : " (not a file)"),
                                                   8000);
        return false;
    }
    pending_data_file_ = path.toStdString();
    post(open_data_command_);
    return true;
}

OpenFileResult QtBackend::open_file(const OpenFileRequest& request) {
    if (request.data_file && !pending_data_file_.empty()) {
        // The file the user dropped or picked from the recent ones.
        OpenFileResult r;
        r.ok = true;
        r.path = std::exchange(pending_data_file_, {});
        r.filter_index = request.filter_index;
        r.ext_offset = extension_offset(r.path);
        return r;
    }
    QFileDialog dlg(main_.data(), qs(request.title), qs(request.initial_dir));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(request.must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The program asks itself whether an existing output is replaced or
    // appended to; the dialog only names the file to be written.
    if (request.for_output) dlg.setLabelText(QFileDialog::Accept, "Save");
    QStringList filters;
    for (const FileFilter& f : request.filters) {
        QString pattern = qs(f.pattern);
        pattern.replace(';', ' ');
        filters << (f.label.empty() ? pattern : qs(f.label) + " (" + pattern + ")");
    }
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        const int n = request.filter_index;
        if (n >= 1 && n <= filters.size()) dlg.selectNameFilter(filters[n - 1]);
    }
    // A name typed without an extension takes the extension of the filter
    // shown when it is accepted.
    const auto suffix_for = [&](const QString& filter) {
        const int n = static_cast<int>(filters.indexOf(filter));
        return qs(extension_for_filter(request, n >= 0 ? n + 1 : request.filter_index));
    };
    dlg.setDefaultSuffix(suffix_for(dlg.selectedNameFilter()));
    QObject::connect(&dlg, &QFileDialog::filterSelected,
                     [&](const QString& filter) { dlg.setDefaultSuffix(suffix_for(filter)); });
    if (!request.preset_name.empty()) dlg.selectFile(qs(request.preset_name));
    OpenFileResult r;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return r;
    r.ok = true;
    r.path = dlg.selectedFiles().front().toStdString();
    const int chosen = static_cast<int>(filters.indexOf(dlg.selectedNameFilter()));
    r.filter_index = chosen >= 0 ? chosen + 1 : request.filter_index;
    const std::string ext = extension_for_filter(request, r.filter_index);
    if (extension_offset(r.path) == 0 && !ext.empty() && r.path.back() != '.') r.path += "." + ext;
    r.ext_offset = extension_offset(r.path);
    return r;
}

// ---------------------------------------------------------------- graphics

void QtBackend::frame_activate(int h) {
    if (frame(h)) active_frame_ = h;
}

void QtBackend::frame_clear(int h) {
    if (FrameWidget* f = frame(h)) {
        f->list.clear();
        f->reset_extents();
        f->update();
    }
}

void QtBackend::frame_extents(int h, double& xmin, double& xmax, double& ymin, double& ymax) {
    xmin = ymin = 0;
    xmax = ymax = 0;
    FrameWidget* f = frame(h);
    if (!f) return;
    settle();
    if (f->list.ops.empty()) f->reset_extents();
    xmax = f->width();
    ymax = f->height();
}

void QtBackend::close_menu() {
    for (Item& it : items_)
        if ((it.kind == Kind::Window || it.kind == Kind::Dialog) && it.widget) it.widget->hide();
    settle();
    // The windows go now, while Qt is whole: at the exit of the process its
    // per-thread data is gone before any static destructor could delete them.
    for (Item& it : items_) {
        it.action = nullptr;
        it.menu = nullptr;
    }
    delete_windows();
}

void QtBackend::draw(DrawOp op) {
    if (FrameWidget* f = frame(active_frame_)) {
        f->list.ops.push_back(std::move(op));
        f->update();
    }
}

void QtBackend::move_to(double x, double y) { draw({DrawOp::Move, x, y, 0, 0, 1, {}}); }
void QtBackend::line_to(double x, double y) { draw({DrawOp::Line, x, y, 0, 0, 1, {}}); }
void QtBackend::fill_rect(double x1, double y1, double x2, double y2) {
    draw({DrawOp::FillRect, x1, y1, x2, y2, 1, {}});
}
void QtBackend::set_line_colour(int colour) { draw({DrawOp::Colour, 0, 0, 0, 0, colour, {}}); }
void QtBackend::display_string(std::string_view text) {
    draw({DrawOp::Text, 0, 0, 0, 0, 1, std::string(text)});
}
void QtBackend::set_char_size(double w, double h) { draw({DrawOp::CharSize, 0, 0, w, h, 1, {}}); }
void QtBackend::flush_graphics() {
    if (FrameWidget* f = frame(active_frame_)) f->update();
}

}  // namespace tarnivox
