#pragma once
// The toolkit interface on Qt 6 Widgets.  Every handle names one item: a
// window, dialog, menu, menu entry or widget.  GMACTION runs a nested event
// loop until an item posts its command number.

#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <string>
#include <vector>

#include "toolkit/qt/qt_widgets.h"
#include "toolkit/toolkit.h"

class QAction;
class QMenu;
class QMenuBar;
class QLabel;
class QLineEdit;
class QButtonGroup;
class QEventLoop;

namespace tarnivox {

// What the program showed in a box, in order (tests read it).
struct QtBoxEvent {
    std::string title, text;
    int answer = 0;
};

class QtBackend : public ToolkitBackend {
public:
    QtBackend();
    ~QtBackend() override;

    enum class Kind {
        Window,
        MenuBar,
        Menu,
        MenuEntry,
        Separator,
        StatusBar,
        Icon,
        Frame,
        Dialog,
        PushButton,
        Toggle,
        Radio,
        List,
        TextEntry,
        ValueEntry
    };
    struct Item {
        Kind kind = Kind::Window;
        int parent = 0;
        QPointer<QWidget> widget;
        QAction* action = nullptr;  // menu entries and menu titles
        QMenu* menu = nullptr;
        int command = 0;
        std::string label;  // what scripts and tests call the item
        // Value entries: the exact number the program put there (the field
        // shows it rounded to `decimals`), read back unchanged until the
        // user edits the field; then the text as typed is read.
        double value = 0.0;
        bool typed = false;
        int decimals = 0;
        int max_chars = 0;
        EntryKind entry = EntryKind::Editable;
        int status = 1;
    };

    // Inspection for tests.
    const Item& item(int h) const;
    int handles() const { return static_cast<int>(items_.size()); }
    int find(std::string_view dialog, std::string_view label) const;  // 0 when absent
    int find_dialog(std::string_view title) const;
    QWidget* main_window() const;
    const std::vector<QtBoxEvent>& box_events() const { return boxes_; }
    bool timer_running() const { return timer_command_ != 0; }
    FrameWidget* frame(int h) const;
    void post(int command);
    // A data file chosen outside the file dialog (dropped onto the window or
    // picked from "Open recent"): while the window is idle it opens as
    // "Open data file" would; false (nothing done) while a command runs.
    bool offer_data_file(const QString& path);
    // The recent data files, newest first (kept in the user's
    // configuration folder).
    QStringList recent_data_files() const;
    // The files the program asked a browser to show, in order.  With
    // `record_browser_requests` set (tests) no browser is started.
    const std::vector<std::string>& browser_requests() const { return browser_requests_; }
    bool record_browser_requests = false;

    // ToolkitBackend
    void initialize_menu() override {}
    void define_grid(int cell_w, int cell_h) override;
    int create_master_window(int x, int y, int w, int h, std::string_view title,
                             std::string_view name) override;
    int create_menu_bar(int window) override;
    int create_pulldown_menu(int bar, std::string_view title) override;
    int create_menu_entry(int menu, std::string_view label, int command) override;
    int create_menu_separator(int menu) override;
    int create_status_bar(int window, std::string_view text) override;
    int create_icon(int parent, int x, int y, int w, int h) override;
    int create_graphics_frame(int parent, int x, int y, int w, int h) override;
    int create_dialog(int parent, int x, int y, int w, int h, std::string_view title) override;
    int create_push_button(int parent, int x, int y, int w, int h, std::string_view label,
                           int command) override;
    int create_toggle_button(int parent, int x, int y, int w, int h, std::string_view label, int state,
                             int command) override;
    int create_radio_button(int parent, int x, int y, int w, int h, std::string_view label, int state,
                            int command, int group) override;
    int create_list_box(int parent, int x, int y, int w, int h, std::string_view label, int command) override;
    int create_text_entry(int parent, int x, int y, int w, int h, std::string_view text, int max_chars,
                          int command, EntryKind kind, std::string_view label) override;
    int create_value_entry(int parent, int x, int y, int w, int h, double value, int width, int decimals,
                           int command, std::string_view label) override;
    int action() override;
    void define_timer(int interval, int command) override;
    void draw_window(int h) override;
    void set_active_window(int h) override;
    void remove_window(int h) override;
    void set_widget_status(int h, int status) override;
    void set_text(int h, std::string_view text) override;
    std::string text(int h) override;
    void set_value(int h, double v) override;
    double value(int h) override;
    void set_toggle(int h, int state) override;
    int toggle(int h) override;
    void add_list_entry(int h, std::string_view text) override;
    int list_selection(int h) override;
    void set_font(int h, int size) override;
    int message_box(std::string_view title, std::string_view text, int icon, int buttons) override;
    void error_box(std::string_view title, std::string_view text) override;
    std::string browse(std::string_view title, std::string_view name, std::string_view dir,
                       std::string_view filter) override;
    OpenFileResult open_file(const OpenFileRequest& request) override;
    void note_data_file(std::string_view path) override;
    bool open_in_browser(std::string_view path) override;
    void frame_activate(int h) override;
    void frame_clear(int h) override;
    void frame_extents(int h, double& xmin, double& xmax, double& ymin, double& ymax) override;
    void graphics_open() override {}
    void graphics_close() override {}
    void close_menu() override;
    void move_to(double x, double y) override;
    void line_to(double x, double y) override;
    void fill_rect(double x1, double y1, double x2, double y2) override;
    void set_line_colour(int colour) override;
    void display_string(std::string_view text) override;
    void set_char_size(double w, double h) override;
    void flush_graphics() override;

private:
    Item& at(int h);
    int add(Item item);
    // Remembers a widget under a new handle: its kind, the box it is in,
    // the command it posts and the label scripts and tests find it by.
    int add_widget(Kind kind, int parent, QWidget* w, int command = 0, std::string_view label = {});
    static Item item_of(Kind kind, int parent, int command = 0, std::string_view label = {});
    // Posts `command` (when there is one) each time `sender` emits `signal`.
    template <class Sender, class Signal>
    void post_on(Sender* sender, Signal signal, int command) {
        if (command) QObject::connect(sender, signal, [this, command] { post(command); });
    }
    GridCanvas* canvas_of(int parent);
    void place(int parent, QWidget* w, int x, int y, int cw, int ch, Growth growth);
    void draw(DrawOp op);
    void settle();
    // Deletes the main window and the boxes that have no owner window.
    void delete_windows();
    double read_entry(Item& it);
    QLineEdit* line_edit(int h);

    std::vector<Item> items_;  // handle h is items_[h-1]
    std::deque<int> queue_;
    QEventLoop* loop_ = nullptr;
    int timer_command_ = 0;
    int active_frame_ = 0;
    int cell_w_ = 32, cell_h_ = 24;  // the program's grid
    int px_w_ = 32, px_h_ = 24;      // one cell on this screen
    int margin_ = 8;
    std::vector<std::pair<long long, QButtonGroup*>> groups_;
    std::vector<QtBoxEvent> boxes_;
    std::vector<std::string> browser_requests_;
    QPointer<MainWindow> main_;
    // A box too wide to stand beside the main window moves the window aside;
    // when that box closes the window goes back where the user had it.
    int main_moved_by_ = 0;
    QPoint main_home_, main_placed_;
    std::vector<QPointer<QWidget>> top_levels_;
    // "Open data file" and the file that answers its next dialog.
    QAction* open_data_action_ = nullptr;
    int open_data_command_ = 0;
    std::string pending_data_file_;
    bool idle() const;
};

}  // namespace tarnivox
