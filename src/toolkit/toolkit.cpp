#include "toolkit/toolkit.h"

#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

std::unique_ptr<ToolkitBackend>& slot() {
    static std::unique_ptr<ToolkitBackend> backend;
    return backend;
}

std::string& browse_title() {
    static std::string title;
    return title;
}

ToolkitBackend& tk() { return toolkit_backend(); }

}  // namespace

void set_toolkit_backend(std::unique_ptr<ToolkitBackend> backend) { slot() = std::move(backend); }

ToolkitBackend& toolkit_backend() {
    if (!slot()) slot() = std::make_unique<ScriptBackend>();
    return *slot();
}

void GMINITIALIZEMENU() { tk().initialize_menu(); }
void GMDEFINEGUIGRID(int cell_w, int cell_h) { tk().define_grid(cell_w, cell_h); }
int GMCREATEMASTERWINDOW(int x, int y, int w, int h, std::string_view title, std::string_view name) {
    return tk().create_master_window(x, y, w, h, title, name);
}
int GMCREATEMENUBAR(int window) { return tk().create_menu_bar(window); }
int GMCREATEPULLDOWNMENU(int bar, std::string_view title) { return tk().create_pulldown_menu(bar, title); }
int GMCREATEMENUENTRY(int menu, std::string_view label, int command) {
    return tk().create_menu_entry(menu, label, command);
}
int GMCREATEMENUSEPARATOR(int menu) { return tk().create_menu_separator(menu); }
int GMCREATESTATUSBAR(int window, std::string_view text) { return tk().create_status_bar(window, text); }
int GMCREATEICON(int parent, int x, int y, int w, int h) { return tk().create_icon(parent, x, y, w, h); }
int GMCREATEGRAPHICSFRAME(int parent, int x, int y, int w, int h) {
    return tk().create_graphics_frame(parent, x, y, w, h);
}
int GMCREATECOMPLEXDIALOGUEBOX(int parent, int x, int y, int w, int h, std::string_view title) {
    return tk().create_dialog(parent, x, y, w, h, title);
}
int GMCREATEPUSHBUTTON(int parent, int x, int y, int w, int h, std::string_view label, int command) {
    return tk().create_push_button(parent, x, y, w, h, label, command);
}
int GMCREATETOGGLEBUTTON(int parent, int x, int y, int w, int h, std::string_view label, int state,
                         int command) {
    return tk().create_toggle_button(parent, x, y, w, h, label, state, command);
}
int GMCREATERADIOBOX(int parent, int x, int y, int w, int h, std::string_view label, int state, int command,
                     int group) {
    return tk().create_radio_button(parent, x, y, w, h, label, state, command, group);
}
int GMCREATELISTBOX(int parent, int x, int y, int w, int h, std::string_view label, int command) {
    return tk().create_list_box(parent, x, y, w, h, label, command);
}
int GMCREATETEXTENTRY(int parent, int x, int y, int w, int h, std::string_view text, int max_chars, int command,
                      EntryKind kind, std::string_view label) {
    return tk().create_text_entry(parent, x, y, w, h, text, max_chars, command, kind, label);
}
int GMCREATEVALUEENTRY_REAL(int parent, int x, int y, int w, int h, double value, int width, int decimals,
                            int command, std::string_view label) {
    return tk().create_value_entry(parent, x, y, w, h, value, width, decimals, command, label);
}

int GMACTION() { return tk().action(); }
int modal_box_action(int box) { return tk().modal_action(box); }
void GMDEFINETIMERCALLBACK(int interval, int command) { tk().define_timer(interval, command); }

void GMDRAWWINDOW(int h) { tk().draw_window(h); }
void GMSETACTIVEWINDOW(int h) { tk().set_active_window(h); }
void GMREMOVEWINDOW(int h) { tk().remove_window(h); }
void GMSETWIDGETSTATUS(int h, int status) { tk().set_widget_status(h, status); }
void GMSETTEXTSETTING(int h, std::string_view text) { tk().set_text(h, text); }
std::string GMENQTEXTSETTING(int h) { return tk().text(h); }
void GMSETVALUESETTING_REAL(int h, double value) { tk().set_value(h, value); }
double GMENQVALUESETTING(int h) { return tk().value(h); }
void GMSETTOGGLESWITCH(int h, int state) { tk().set_toggle(h, state); }
int GMENQTOGGLESWITCH(int h) { return tk().toggle(h); }
int TOGENQ(int h) { return tk().toggle(h); }
void GMSETLISTENTRY(int h, std::string_view text) { tk().add_list_entry(h, text); }
int GMENQLISTSTATUS(int h) { return tk().list_selection(h); }
void GMSETFONTATTRIBS(int h, int size) { tk().set_font(h, size); }

int GMDISPLAYMESSAGEBOX(std::string_view title, std::string_view text, int icon, int buttons) {
    return tk().message_box(title, text, icon, buttons);
}
void GMDISPLAYERRORBOX(std::string_view title, std::string_view text) { tk().error_box(title, text); }
void GUIERR(std::string_view title, std::string_view text) { tk().error_box(title, text); }
void WIDSTR(std::string_view title) { browse_title() = std::string(title); }
void BROWSE(std::string& name, std::string_view directory, std::string_view filter) {
    name = tk().browse(browse_title(), name, directory, filter);
}
OpenFileResult GETOPENFILENAME(const OpenFileRequest& request) { return tk().open_file(request); }
void note_data_file(std::string_view path) { tk().note_data_file(path); }
bool open_in_browser(std::string_view path) { return tk().open_in_browser(path); }

std::string extension_for_filter(const OpenFileRequest& request, int filter_index) {
    if (filter_index >= 1 && filter_index <= static_cast<int>(request.filters.size())) {
        const std::string& pattern = request.filters[static_cast<std::size_t>(filter_index - 1)].pattern;
        if (pattern.size() > 2 && pattern.rfind("*.", 0) == 0 &&
            pattern.find_first_of("*?;[ ", 2) == std::string::npos)
            return pattern.substr(2);
    }
    return request.default_ext;
}

void FRAACT(int frame) { tk().frame_activate(frame); }
void FRACLE(int frame) { tk().frame_clear(frame); }
void FRAENQ(int frame, double& xmin, double& xmax, double& ymin, double& ymax) {
    tk().frame_extents(frame, xmin, xmax, ymin, ymax);
}
void GOPENGINO() { tk().graphics_open(); }
void GGUIWIN() {}
void GCLOSEDEVICE() {}
void GCLOSEGINO() { tk().graphics_close(); }
void GMCLOSEMENU() { tk().close_menu(); }
void GMOVETO2D(double x, double y) { tk().move_to(x, y); }
void GDRAWLINETO2D(double x, double y) { tk().line_to(x, y); }
void GFILLRECT(double x1, double y1, double x2, double y2) { tk().fill_rect(x1, y1, x2, y2); }
void GSETLINECOLOUR(int colour) { tk().set_line_colour(colour); }
void GDISPLAYSTR(std::string_view text) { tk().display_string(text); }
void GSETCHARSIZE(double w, double h) { tk().set_char_size(w, h); }
void GFLUSHGRAPHICS() { tk().flush_graphics(); }

}  // namespace tarnivox
