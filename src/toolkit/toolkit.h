#pragma once
// The toolkit interface: every window, widget, dialog and drawing call of
// Tarnivox goes through these functions, named after the toolkit's
// operations.  Widgets are integer handles.  A widget that can fire carries
// a command number, which GMACTION returns when it fires.
//
// Two backends implement ToolkitBackend: `qt` (real Qt 6 windows) and
// `script` (headless, driven by a script; see the README).  The program
// installs one with set_toolkit_backend() before it builds its window.
//
// Layout: positions and sizes are in cells of the grid defined with
// GMDEFINEGUIGRID (32 x 24 pixels); (column, row) with row 0 at the bottom
// of the parent.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnivox {

// Answers of GMDISPLAYMESSAGEBOX.
inline constexpr int GM_YES = 1;  // also the answer of an OK box
inline constexpr int GM_NO = 2;
inline constexpr int GM_CANCEL = 3;

// Icon kinds of GMDISPLAYMESSAGEBOX: information (shown as a question on a
// box with Yes/No buttons), warning, notice.
inline constexpr int GM_ICON_INFORMATION = 1;
inline constexpr int GM_ICON_WARNING = 2;
inline constexpr int GM_ICON_NOTICE = 3;

// Button sets of GMDISPLAYMESSAGEBOX.
inline constexpr int GM_BUTTONS_OK = 0;
inline constexpr int GM_BUTTONS_YESNO = 3;
inline constexpr int GM_BUTTONS_YESNOCANCEL = 4;

// What GMACTION returns when the main window's close control is used.
inline constexpr int GM_CLOSE = -1;

// Text entries: editable, display-only (filled by the program), or a
// caption (fixed text; "a labelled text entry serves as a caption").
enum class EntryKind { Editable, Display, Caption };

struct FileFilter {
    std::string label;    // "Xscans"
    std::string pattern;  // "*.p4t"
};

// The system open-file dialog.
struct OpenFileRequest {
    std::string title;
    std::vector<FileFilter> filters;
    int filter_index = 1;  // preselected filter, from 1
    std::string initial_dir;
    std::string default_ext;  // without the point, e.g. "rfl"
    std::string preset_name;
    bool must_exist = false;
    // A file to be written: the dialog's button says "Save", not "Open".
    bool for_output = false;
    // The input data file: a window may answer with a file the user chose
    // from its recent files or dropped onto it, without showing the dialog.
    bool data_file = false;
};

// The extension a name chosen without one receives (without the point):
// that of the chosen filter when its pattern names one ("Shelx" "*.hkl"
// gives "hkl"), else the request's default ("*.*" and an unknown filter).
// Both backends complete names by it, so the filter the user chose and
// the file's extension agree.
std::string extension_for_filter(const OpenFileRequest& request, int filter_index);

struct OpenFileResult {
    bool ok = false;        // false: cancelled
    std::string path;       // full path
    int filter_index = 0;   // the filter chosen, from 1
    int ext_offset = 0;     // offset of the extension (after the '.') in path; 0 when none
};

class ToolkitBackend {
public:
    virtual ~ToolkitBackend() = default;

    virtual void initialize_menu() = 0;
    virtual void define_grid(int cell_w, int cell_h) = 0;
    virtual int create_master_window(int x, int y, int w, int h, std::string_view title,
                                     std::string_view name) = 0;
    virtual int create_menu_bar(int window) = 0;
    virtual int create_pulldown_menu(int bar, std::string_view title) = 0;
    virtual int create_menu_entry(int menu, std::string_view label, int command) = 0;
    virtual int create_menu_separator(int menu) = 0;
    virtual int create_status_bar(int window, std::string_view text) = 0;
    virtual int create_icon(int parent, int x, int y, int w, int h) = 0;
    virtual int create_graphics_frame(int parent, int x, int y, int w, int h) = 0;
    virtual int create_dialog(int parent, int x, int y, int w, int h, std::string_view title) = 0;
    virtual int create_push_button(int parent, int x, int y, int w, int h, std::string_view label,
                                   int command) = 0;
    virtual int create_toggle_button(int parent, int x, int y, int w, int h, std::string_view label,
                                     int state, int command) = 0;
    virtual int create_radio_button(int parent, int x, int y, int w, int h, std::string_view label,
                                    int state, int command, int group) = 0;
    virtual int create_list_box(int parent, int x, int y, int w, int h, std::string_view label,
                                int command) = 0;
    virtual int create_text_entry(int parent, int x, int y, int w, int h, std::string_view text,
                                  int max_chars, int command, EntryKind kind, std::string_view label) = 0;
    virtual int create_value_entry(int parent, int x, int y, int w, int h, double value, int width,
                                   int decimals, int command, std::string_view label) = 0;

    virtual int action() = 0;
    // The wait for an action while the modal box `box` is up; a backend
    // that cannot answer the box any more ends the run here.
    virtual int modal_action(int /*box*/) { return action(); }
    virtual void define_timer(int interval, int command) = 0;

    virtual void draw_window(int h) = 0;
    virtual void set_active_window(int h) = 0;
    virtual void remove_window(int h) = 0;
    virtual void set_widget_status(int h, int status) = 0;
    virtual void set_text(int h, std::string_view text) = 0;
    virtual std::string text(int h) = 0;
    virtual void set_value(int h, double v) = 0;
    virtual double value(int h) = 0;
    virtual void set_toggle(int h, int state) = 0;
    virtual int toggle(int h) = 0;
    virtual void add_list_entry(int h, std::string_view text) = 0;
    virtual int list_selection(int h) = 0;
    virtual void set_font(int h, int size) = 0;

    virtual int message_box(std::string_view title, std::string_view text, int icon, int buttons) = 0;
    virtual void error_box(std::string_view title, std::string_view text) = 0;
    virtual std::string browse(std::string_view title, std::string_view name, std::string_view dir,
                               std::string_view filter) = 0;
    virtual OpenFileResult open_file(const OpenFileRequest& request) = 0;
    // A data file was opened: the window offers it again among its recent
    // files.  Headless backends keep no such list.
    virtual void note_data_file(std::string_view /*path*/) {}
    // Shows a file the program wrote (a report page) in the system's
    // browser.  false: no browser could be asked.
    virtual bool open_in_browser(std::string_view /*path*/) { return false; }

    virtual void frame_activate(int h) = 0;
    virtual void frame_clear(int h) = 0;
    virtual void frame_extents(int h, double& xmin, double& xmax, double& ymin, double& ymax) = 0;
    virtual void graphics_open() = 0;
    virtual void graphics_close() = 0;
    virtual void close_menu() = 0;
    virtual void move_to(double x, double y) = 0;
    virtual void line_to(double x, double y) = 0;
    virtual void fill_rect(double x1, double y1, double x2, double y2) = 0;
    virtual void set_line_colour(int colour) = 0;
    virtual void display_string(std::string_view text) = 0;
    virtual void set_char_size(double w, double h) = 0;
    virtual void flush_graphics() = 0;
};

// Installs the backend every toolkit call goes to (the previous one is
// destroyed).  Without one, calls go to a headless script backend with an
// empty script.
void set_toolkit_backend(std::unique_ptr<ToolkitBackend> backend);
ToolkitBackend& toolkit_backend();

// ---------------------------------------------------------------- widgets
void GMINITIALIZEMENU();
void GMDEFINEGUIGRID(int cell_w, int cell_h);
int GMCREATEMASTERWINDOW(int x, int y, int w, int h, std::string_view title, std::string_view name);
int GMCREATEMENUBAR(int window);
int GMCREATEPULLDOWNMENU(int bar, std::string_view title);
int GMCREATEMENUENTRY(int menu, std::string_view label, int command);
int GMCREATEMENUSEPARATOR(int menu);
int GMCREATESTATUSBAR(int window, std::string_view text);
int GMCREATEICON(int parent, int x, int y, int w, int h);
int GMCREATEGRAPHICSFRAME(int parent, int x, int y, int w, int h);
int GMCREATECOMPLEXDIALOGUEBOX(int parent, int x, int y, int w, int h, std::string_view title);
int GMCREATEPUSHBUTTON(int parent, int x, int y, int w, int h, std::string_view label, int command);
int GMCREATETOGGLEBUTTON(int parent, int x, int y, int w, int h, std::string_view label, int state,
                         int command);
// Radio buttons created in the same parent with the same group number are
// mutually exclusive.
int GMCREATERADIOBOX(int parent, int x, int y, int w, int h, std::string_view label, int state, int command,
                     int group);
int GMCREATELISTBOX(int parent, int x, int y, int w, int h, std::string_view label, int command);
// command 0: Enter fires nothing.  `label` names an entry for scripts and
// tests (a caption's label is its text).
int GMCREATETEXTENTRY(int parent, int x, int y, int w, int h, std::string_view text, int max_chars, int command,
                      EntryKind kind = EntryKind::Editable, std::string_view label = {});
int GMCREATEVALUEENTRY_REAL(int parent, int x, int y, int w, int h, double value, int width, int decimals,
                            int command, std::string_view label = {});

int GMACTION();
// GMACTION while the modal box `box` waits for one of its controls.
int modal_box_action(int box);
void GMDEFINETIMERCALLBACK(int interval, int command);

void GMDRAWWINDOW(int h);
void GMSETACTIVEWINDOW(int h);
void GMREMOVEWINDOW(int h);
void GMSETWIDGETSTATUS(int h, int status);  // 1 selectable, 0 greyed, -1 hidden
void GMSETTEXTSETTING(int h, std::string_view text);
std::string GMENQTEXTSETTING(int h);
void GMSETVALUESETTING_REAL(int h, double value);
double GMENQVALUESETTING(int h);
void GMSETTOGGLESWITCH(int h, int state);
int GMENQTOGGLESWITCH(int h);
int TOGENQ(int h);
void GMSETLISTENTRY(int h, std::string_view text);  // appends an entry
int GMENQLISTSTATUS(int h);                          // selected entry from 1, 0 when none
void GMSETFONTATTRIBS(int h, int size);

// ---------------------------------------------------------------- boxes
int GMDISPLAYMESSAGEBOX(std::string_view title, std::string_view text, int icon, int buttons);
void GMDISPLAYERRORBOX(std::string_view title, std::string_view text);
void GUIERR(std::string_view title, std::string_view text);
// The browse dialog: WIDSTR sets its title, BROWSE shows it with `name`
// preset; on return `name` holds the chosen file name, blank when cancelled.
void WIDSTR(std::string_view title);
void BROWSE(std::string& name, std::string_view directory, std::string_view filter);
// The system open-file dialog.
OpenFileResult GETOPENFILENAME(const OpenFileRequest& request);
// Remembers an opened data file among the window's recent files.
void note_data_file(std::string_view path);
// Asks the system's browser to show a file; false when it could not be asked.
bool open_in_browser(std::string_view path);

// ---------------------------------------------------------------- graphics
void FRAACT(int frame);
void FRACLE(int frame);
void FRAENQ(int frame, double& xmin, double& xmax, double& ymin, double& ymax);
void GOPENGINO();
void GGUIWIN();
void GCLOSEDEVICE();
void GCLOSEGINO();
void GMCLOSEMENU();
void GMOVETO2D(double x, double y);
void GDRAWLINETO2D(double x, double y);
void GFILLRECT(double x1, double y1, double x2, double y2);
void GSETLINECOLOUR(int colour);
void GDISPLAYSTR(std::string_view text);
void GSETCHARSIZE(double w, double h);
void GFLUSHGRAPHICS();

}  // namespace tarnivox
