#pragma once
// The headless toolkit backend.  It runs the program from a script: every
// wait for an action takes the next command of the script, every file
// dialog and message box takes its answer from it, widgets keep their
// values (readable and settable by dialog title and label), timer ticks are
// delivered while the program keeps its timer running, and every drawing
// call is recorded in a display list per graphics frame.
//
// Script lines (blank lines and lines starting with '#' are ignored; an
// argument with blanks is written in double quotes):
//   command N | N              the next action is command number N
//   close                      the main window's close control (command -1)
//   press DIALOG LABEL         the button, toggle, radio button or menu entry
//                              LABEL of DIALOG (a dialog title, a menu title,
//                              or "main") fires; a toggle flips, a radio
//                              button is switched on
//   enter DIALOG LABEL TEXT    types TEXT into an entry and presses Enter
//   set DIALOG LABEL VALUE     types VALUE into an entry (no action)
//   toggle DIALOG LABEL on|off sets a toggle or radio button (no action)
//   select DIALOG LABEL N|TEXT selects a list entry (no action)
//   ticks N                    while the timer runs, N ticks pass and then
//                              the next line is used; without it, ticks take
//                              precedence until the program stops its timer
//   file PATH [FILTER]         answers the next open-file dialog
//   browse NAME                answers the next browse dialog
//   file-given N [FILTER]      answers the next open-file dialog with the
//                              N-th path given by give_paths()
//   browse-given N             the same for the next browse dialog
//   cancel                     cancels the next file or browse dialog
//   answer yes|no|cancel|ok    answers the next message box
//   svg PATH                   writes the graphics frame as SVG
//   defaults on|off            whether the run reads and writes the
//                              defaults file (a declaration for the whole
//                              run, wherever it stands; off without one)
// A LABEL that occurs more than once in a dialog is addressed as LABEL#2,
// LABEL#3, ...  Relative paths are taken from the script's folder.
// A message box without a scripted answer takes OK / Yes; a file dialog
// without one is cancelled.  When the script is used up, the wait for an
// action returns the close command, as if the user closed the window.
// A run the script cannot drive ends with EXIT_STATUS_SCRIPT and a message
// naming the script line: a line the program cannot use, a question or
// file dialog asked again and again without an answer in the script, a
// wait for an action that the close command does not end, a modal box
// still waiting when the script is used up.

#include <map>
#include <string>
#include <vector>

#include "toolkit/display_list.h"
#include "toolkit/toolkit.h"

namespace tarnivox {

struct ScriptWidget {
    enum Kind {
        Window, MenuBar, Menu, MenuEntry, Separator, StatusBar, Icon, Frame, Dialog,
        PushButton, Toggle, Radio, List, TextEntry, ValueEntry
    };
    Kind kind = Window;
    int parent = 0;
    int x = 0, y = 0, w = 0, h = 0;
    std::string label;
    std::string text;
    double value = 0.0;
    int state = 0;
    int status = 1;  // 1 selectable, 0 greyed, -1 hidden
    int command = 0;
    int group = 0;
    int width = 0, decimals = 0, max_chars = 0;
    EntryKind entry = EntryKind::Editable;
    std::vector<std::string> entries;
    int selection = 0;
    bool shown = false;  // windows and dialogs
    int font = 0;
};

// What the program showed or asked, in order, for tests and batch logs.
struct ScriptEvent {
    // OpenInBrowser: the file (in `result`) the program asked a browser to show.
    enum Kind { Message, Error, OpenFile, Browse, OpenInBrowser } kind = Message;
    std::string title;
    std::string text;
    int answer = 0;      // message boxes: GM_YES / GM_NO / GM_CANCEL
    std::string result;  // file dialogs: the chosen path or name, empty when cancelled
};

class ScriptBackend : public ToolkitBackend {
public:
    ScriptBackend() = default;
    // base_dir: where relative paths of the script are taken from.
    static std::unique_ptr<ScriptBackend> from_text(std::string_view script, std::string base_dir = ".");
    // nullptr when the file cannot be read.
    static std::unique_ptr<ScriptBackend> from_file(const std::string& path);

    // Inspection for tests and batch use.
    const std::vector<ScriptEvent>& events() const { return events_; }
    const ScriptWidget& widget(int h) const;
    int find(std::string_view dialog, std::string_view label) const;  // 0 when absent
    int find_dialog(std::string_view title) const;                   // 0 when absent
    const DisplayList& display_list(int frame) const;
    bool timer_running() const { return timer_command_ != 0; }
    int active_window() const { return active_; }
    bool echo = true;  // print message boxes and dialogs on standard output
    // The script asks for the defaults file to be read and written.
    bool wants_defaults_file() const { return defaults_file_; }
    // Paths for `file-given N` and `browse-given N` (N from 1), handed over
    // as they are: a path is never part of the script's text, so any byte
    // in it (blanks, quotes, a newline) stays data.
    void give_paths(std::vector<std::string> paths) { given_paths_ = std::move(paths); }

    // ToolkitBackend
    void initialize_menu() override {}
    void define_grid(int cell_w, int cell_h) override;
    int create_master_window(int x, int y, int w, int h, std::string_view title, std::string_view name) override;
    int create_menu_bar(int window) override;
    int create_pulldown_menu(int bar, std::string_view title) override;
    int create_menu_entry(int menu, std::string_view label, int command) override;
    int create_menu_separator(int menu) override;
    int create_status_bar(int window, std::string_view text) override;
    int create_icon(int parent, int x, int y, int w, int h) override;
    int create_graphics_frame(int parent, int x, int y, int w, int h) override;
    int create_dialog(int parent, int x, int y, int w, int h, std::string_view title) override;
    int create_push_button(int parent, int x, int y, int w, int h, std::string_view label, int command) override;
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
    // As action(), but a script used up while the box waits ends the run
    // (EXIT_STATUS_SCRIPT, the box named) instead of closing the window.
    int modal_action(int box) override;
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
    // Headless: the request is recorded, and counts as made.
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
    void flush_graphics() override {}

protected:
    // Takes the lines of a script (what from_text does for a new backend):
    // for backends built on this one.
    void load(std::string_view script, std::string base_dir);

private:
    struct Line {
        int number = 0;
        std::vector<std::string> words;
        std::string error;  // a line that could not be split
    };

    int add(ScriptWidget w);
    ScriptWidget& at(int h);
    [[noreturn]] void fail(const Line& line, const std::string& what) const;
    [[noreturn]] void end_script_run(const std::string& message) const;
    // A question or file dialog took its default answer; ends the run when
    // that repeats without the script or the program moving on.
    void unanswered(std::string_view what, bool question);
    const Line* peek() const { return cursor_ < lines_.size() ? &lines_[cursor_] : nullptr; }
    void apply_settings();  // the set/toggle/select/svg lines at the cursor
    int widget_for(const Line& line, std::size_t dialog_arg) const;
    void record(const ScriptEvent& e);
    std::string resolve(const std::string& path) const;
    // The path a `file-given` or `browse-given` line names.
    std::string given_path(const Line& line) const;
    void draw(DrawOp op);

    std::vector<ScriptWidget> widgets_;  // handle h is widgets_[h-1]
    std::vector<Line> lines_;
    std::size_t cursor_ = 0;
    std::string base_dir_ = ".";
    std::vector<ScriptEvent> events_;
    std::map<int, DisplayList> frames_;
    int active_frame_ = 0;
    int active_ = 0;
    int cell_w_ = 32, cell_h_ = 24;
    int timer_command_ = 0;
    int ticks_left_ = -1;  // of a `ticks N` line being served; -1 none
    bool release_ = false; // a `ticks N` line has been served: the script speaks next
    int idle_closes_ = 0;  // close commands returned after the script ended
    int unanswered_ = 0;   // default answers in a row (see unanswered())
    std::size_t unanswered_at_ = 0;  // the script line they were given at
    std::string unanswered_question_;
    bool defaults_file_ = false;
    std::vector<std::string> given_paths_;
};

// The script backend in use, or nullptr when another backend is installed.
ScriptBackend* script_backend();

}  // namespace tarnivox
