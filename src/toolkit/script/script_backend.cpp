#include "toolkit/script/script_backend.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/exitint.h"
#include "core/internal_error.h"

namespace tarnivox {
namespace {

// After the script is used up, this many close commands in a row mean the
// program waits in a loop that the script can no longer end.
constexpr int kMaxIdleCloses = 1000;

// This many questions and file dialogs in a row given their default answer,
// with neither a script line used nor a wait for an action between them,
// mean the program asks again and again what the script does not answer
// ("No output datafile is open..." answered Yes, its file dialog
// cancelled, the question again).
constexpr int kMaxUnanswered = 50;

bool split_words(std::string_view s, std::vector<std::string>& words, std::string& error) {
    std::size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\r')) ++p;
        if (p >= s.size()) break;
        std::string w;
        if (s[p] == '"') {
            ++p;
            while (p < s.size() && s[p] != '"') w.push_back(s[p++]);
            if (p >= s.size()) {
                error = "unterminated quote";
                return false;
            }
            ++p;
        } else {
            while (p < s.size() && s[p] != ' ' && s[p] != '\t' && s[p] != '\r') w.push_back(s[p++]);
        }
        words.push_back(w);
    }
    return true;
}

bool parse_int(const std::string& s, int& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    const long x = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || x < -1000000 || x > 1000000) return false;
    v = static_cast<int>(x);
    return true;
}

bool parse_real(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    const double x = std::strtod(s.c_str(), &end);
    if (*end != '\0') return false;
    v = x;
    return true;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return std::string(s);
}

}  // namespace

std::unique_ptr<ScriptBackend> ScriptBackend::from_text(std::string_view script, std::string base_dir) {
    auto b = std::make_unique<ScriptBackend>();
    b->load(script, std::move(base_dir));
    return b;
}

void ScriptBackend::load(std::string_view script, std::string base_dir) {
    ScriptBackend* b = this;
    b->base_dir_ = std::move(base_dir);
    b->lines_.clear();
    b->cursor_ = 0;
    std::istringstream in{std::string(script)};
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        Line line;
        line.number = number;
        if (!split_words(text, line.words, line.error)) {
            b->lines_.push_back(line);
            continue;
        }
        if (line.words.empty() || line.words.front().front() == '#') continue;
        if (line.words.front() == "defaults") {
            // A declaration for the whole run, taken before the run starts:
            // the defaults file is read at start-up, before any action.
            const bool on = line.words.size() == 2 && line.words[1] == "on";
            const bool off = line.words.size() == 2 && line.words[1] == "off";
            if (on || off) {
                b->defaults_file_ = on;
                continue;
            }
            line.error = "on or off expected after \"defaults\"";
        }
        b->lines_.push_back(line);
    }
}

std::unique_ptr<ScriptBackend> ScriptBackend::from_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return nullptr;
    std::stringstream ss;
    ss << f.rdbuf();
    // Paths in the script are taken from the script's folder, made absolute
    // so that the program's own joining of directories and names holds.
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(path, ec).parent_path();
    return from_text(ss.str(), ec ? std::string(".") : dir.lexically_normal().string());
}

ScriptBackend* script_backend() { return dynamic_cast<ScriptBackend*>(&toolkit_backend()); }

// ---------------------------------------------------------------- widgets

int ScriptBackend::add(ScriptWidget w) {
    widgets_.push_back(std::move(w));
    return static_cast<int>(widgets_.size());
}

ScriptWidget& ScriptBackend::at(int h) {
    if (h < 1 || h > static_cast<int>(widgets_.size())) {
        internal_error("widget handle " + std::to_string(h) + " does not exist");
    }
    return widgets_[static_cast<std::size_t>(h - 1)];
}

const ScriptWidget& ScriptBackend::widget(int h) const { return const_cast<ScriptBackend*>(this)->at(h); }

void ScriptBackend::define_grid(int cell_w, int cell_h) {
    cell_w_ = cell_w;
    cell_h_ = cell_h;
}

namespace {
ScriptWidget make(ScriptWidget::Kind kind, int parent, int x = 0, int y = 0, int w = 0, int h = 0,
                  std::string_view label = {}, int command = 0) {
    ScriptWidget s;
    s.kind = kind;
    s.parent = parent;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.label = std::string(label);
    s.command = command;
    return s;
}
}  // namespace

int ScriptBackend::create_master_window(int x, int y, int w, int h, std::string_view title,
                                        std::string_view name) {
    ScriptWidget s = make(ScriptWidget::Window, 0, x, y, w, h, title);
    s.text = std::string(name);
    s.shown = true;
    const int handle = add(s);
    if (!active_) active_ = handle;
    return handle;
}

int ScriptBackend::create_menu_bar(int window) { return add(make(ScriptWidget::MenuBar, window)); }

int ScriptBackend::create_pulldown_menu(int bar, std::string_view title) {
    return add(make(ScriptWidget::Menu, bar, 0, 0, 0, 0, title));
}

int ScriptBackend::create_menu_entry(int menu, std::string_view label, int command) {
    return add(make(ScriptWidget::MenuEntry, menu, 0, 0, 0, 0, label, command));
}

int ScriptBackend::create_menu_separator(int menu) { return add(make(ScriptWidget::Separator, menu)); }

int ScriptBackend::create_status_bar(int window, std::string_view text) {
    ScriptWidget s = make(ScriptWidget::StatusBar, window);
    s.text = std::string(text);
    return add(s);
}

int ScriptBackend::create_icon(int parent, int x, int y, int w, int h) {
    return add(make(ScriptWidget::Icon, parent, x, y, w, h));
}

int ScriptBackend::create_graphics_frame(int parent, int x, int y, int w, int h) {
    const int handle = add(make(ScriptWidget::Frame, parent, x, y, w, h));
    DisplayList& list = frames_[handle];
    list.width = static_cast<double>(w) * cell_w_;
    list.height = static_cast<double>(h) * cell_h_;
    if (!active_frame_) active_frame_ = handle;
    return handle;
}

int ScriptBackend::create_dialog(int parent, int x, int y, int w, int h, std::string_view title) {
    return add(make(ScriptWidget::Dialog, parent, x, y, w, h, title));
}

int ScriptBackend::create_push_button(int parent, int x, int y, int w, int h, std::string_view label,
                                      int command) {
    return add(make(ScriptWidget::PushButton, parent, x, y, w, h, label, command));
}

int ScriptBackend::create_toggle_button(int parent, int x, int y, int w, int h, std::string_view label,
                                        int state, int command) {
    ScriptWidget s = make(ScriptWidget::Toggle, parent, x, y, w, h, label, command);
    s.state = state ? 1 : 0;
    return add(s);
}

int ScriptBackend::create_radio_button(int parent, int x, int y, int w, int h, std::string_view label,
                                       int state, int command, int group) {
    ScriptWidget s = make(ScriptWidget::Radio, parent, x, y, w, h, label, command);
    s.group = group;
    const int handle = add(s);
    if (state) set_toggle(handle, 1);
    return handle;
}

int ScriptBackend::create_list_box(int parent, int x, int y, int w, int h, std::string_view label, int command) {
    return add(make(ScriptWidget::List, parent, x, y, w, h, label, command));
}

int ScriptBackend::create_text_entry(int parent, int x, int y, int w, int h, std::string_view text,
                                     int max_chars, int command, EntryKind kind, std::string_view label) {
    ScriptWidget s = make(ScriptWidget::TextEntry, parent, x, y, w, h,
                          label.empty() && kind == EntryKind::Caption ? text : label, command);
    s.text = std::string(text);
    s.max_chars = max_chars;
    s.entry = kind;
    return add(s);
}

int ScriptBackend::create_value_entry(int parent, int x, int y, int w, int h, double value, int width,
                                      int decimals, int command, std::string_view label) {
    ScriptWidget s = make(ScriptWidget::ValueEntry, parent, x, y, w, h, label, command);
    s.value = value;
    s.width = width;
    s.decimals = decimals;
    return add(s);
}

void ScriptBackend::draw_window(int h) { at(h).shown = true; }
void ScriptBackend::set_active_window(int h) { active_ = h; }
void ScriptBackend::remove_window(int h) { at(h).shown = false; }
void ScriptBackend::set_widget_status(int h, int status) { at(h).status = status; }

void ScriptBackend::set_text(int h, std::string_view text) {
    ScriptWidget& w = at(h);
    w.text = std::string(text);
    if (w.max_chars > 0 && w.text.size() > static_cast<std::size_t>(w.max_chars))
        w.text.resize(static_cast<std::size_t>(w.max_chars));
}
std::string ScriptBackend::text(int h) { return at(h).text; }
void ScriptBackend::set_value(int h, double v) { at(h).value = v; }
double ScriptBackend::value(int h) { return at(h).value; }

void ScriptBackend::set_toggle(int h, int state) {
    ScriptWidget& w = at(h);
    w.state = state ? 1 : 0;
    if (w.kind == ScriptWidget::Radio && w.state) {
        for (std::size_t i = 0; i < widgets_.size(); ++i) {
            ScriptWidget& o = widgets_[i];
            if (static_cast<int>(i + 1) != h && o.kind == ScriptWidget::Radio && o.parent == w.parent &&
                o.group == w.group)
                o.state = 0;
        }
    }
}
int ScriptBackend::toggle(int h) { return at(h).state; }
void ScriptBackend::add_list_entry(int h, std::string_view text) { at(h).entries.emplace_back(text); }
int ScriptBackend::list_selection(int h) { return at(h).selection; }
void ScriptBackend::set_font(int h, int size) { at(h).font = size; }

namespace {
bool is_container(const ScriptWidget& w) {
    return w.kind == ScriptWidget::Window || w.kind == ScriptWidget::Dialog || w.kind == ScriptWidget::Menu;
}
}  // namespace

int ScriptBackend::find_dialog(std::string_view title) const {
    const std::string t = trimmed(title);
    for (std::size_t i = 0; i < widgets_.size(); ++i) {
        const ScriptWidget& w = widgets_[i];
        if (!is_container(w)) continue;
        if (trimmed(w.label) == t || (t == "main" && w.kind == ScriptWidget::Window))
            return static_cast<int>(i + 1);
    }
    return 0;
}

int ScriptBackend::find(std::string_view dialog, std::string_view label) const {
    // Several dialogs may share a title ("Tarnivox"): the label is looked
    // for in each of them, in the order they were created.
    const std::string title = trimmed(dialog);
    std::string name = trimmed(label);
    int nth = 1;
    const std::size_t hash = name.rfind('#');
    if (hash != std::string::npos && hash + 1 < name.size()) {
        int n = 0;
        if (parse_int(name.substr(hash + 1), n) && n >= 1) {
            nth = n;
            name = trimmed(name.substr(0, hash));
        }
    }
    for (std::size_t i = 0; i < widgets_.size(); ++i) {
        const ScriptWidget& w = widgets_[i];
        if (w.parent < 1 || trimmed(w.label) != name) continue;
        const ScriptWidget& p = widgets_[static_cast<std::size_t>(w.parent - 1)];
        if (!is_container(p)) continue;
        const bool titled = trimmed(p.label) == title || (title == "main" && p.kind == ScriptWidget::Window);
        if (titled && --nth == 0) return static_cast<int>(i + 1);
    }
    return 0;
}

// ---------------------------------------------------------------- the script

void ScriptBackend::fail(const Line& line, const std::string& what) const {
    end_script_run("SCRIPT LINE " + std::to_string(line.number) + ": " + what);
}

void ScriptBackend::end_script_run(const std::string& message) const {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    end_run(message, EXIT_STATUS_SCRIPT);
}

void ScriptBackend::unanswered(std::string_view what, bool question) {
    if (cursor_ != unanswered_at_ || unanswered_ == 0) {
        unanswered_at_ = cursor_;
        unanswered_ = 0;
        unanswered_question_.clear();
    }
    // The message names the question the program keeps asking, else the
    // file dialog it keeps showing.
    if (question) unanswered_question_ = std::string(what);
    if (++unanswered_ <= kMaxUnanswered) return;
    const std::string quoted =
        "NO ANSWER TO \"" + (unanswered_question_.empty() ? std::string(what) : unanswered_question_) + "\"";
    if (const Line* line = peek()) fail(*line, quoted);
    end_script_run("SCRIPT ENDED WITH " + quoted);
}

std::string ScriptBackend::resolve(const std::string& path) const {
    std::filesystem::path p(path);
    if (p.is_absolute() || base_dir_.empty()) return path;
    return (std::filesystem::path(base_dir_) / p).lexically_normal().string();
}

std::string ScriptBackend::given_path(const Line& line) const {
    int n = 0;
    if (line.words.size() < 2 || !parse_int(line.words[1], n) || n < 1 ||
        n > static_cast<int>(given_paths_.size()))
        fail(line, "no given path " + (line.words.size() < 2 ? std::string() : line.words[1]));
    return resolve(given_paths_[static_cast<std::size_t>(n - 1)]);
}

int ScriptBackend::widget_for(const Line& line, std::size_t dialog_arg) const {
    if (line.words.size() <= dialog_arg + 1) fail(line, "dialog and label expected");
    const std::string& dialog = line.words[dialog_arg];
    const std::string& label = line.words[dialog_arg + 1];
    if (!find_dialog(dialog)) fail(line, "unknown dialog \"" + dialog + "\"");
    const int h = find(dialog, label);
    if (!h) fail(line, "unknown label \"" + label + "\" in \"" + dialog + "\"");
    return h;
}

void ScriptBackend::apply_settings() {
    while (const Line* line = peek()) {
        if (!line->error.empty()) fail(*line, line->error);
        const std::string& verb = line->words[0];
        if (verb == "set") {
            const int h = widget_for(*line, 1);
            if (line->words.size() < 4) fail(*line, "value expected");
            ScriptWidget& w = at(h);
            if (w.kind == ScriptWidget::ValueEntry) {
                double v = 0;
                if (parse_real(line->words[3], v))
                    w.value = v;
                else if (echo)
                    std::printf("Tarnivox script: \"%s\" is not a number; the field keeps %g\n",
                                line->words[3].c_str(), w.value);
            } else if (w.kind == ScriptWidget::TextEntry) {
                set_text(h, line->words[3]);
            } else {
                fail(*line, "\"" + line->words[2] + "\" is not an entry");
            }
        } else if (verb == "toggle") {
            const int h = widget_for(*line, 1);
            if (line->words.size() < 4 || (line->words[3] != "on" && line->words[3] != "off"))
                fail(*line, "on or off expected");
            const ScriptWidget& w = at(h);
            if (w.kind != ScriptWidget::Toggle && w.kind != ScriptWidget::Radio)
                fail(*line, "\"" + line->words[2] + "\" is not a toggle");
            set_toggle(h, line->words[3] == "on" ? 1 : 0);
        } else if (verb == "select") {
            const int h = widget_for(*line, 1);
            if (line->words.size() < 4) fail(*line, "entry expected");
            ScriptWidget& w = at(h);
            if (w.kind != ScriptWidget::List) fail(*line, "\"" + line->words[2] + "\" is not a list");
            int n = 0;
            if (!parse_int(line->words[3], n)) {
                n = 0;
                for (std::size_t i = 0; i < w.entries.size(); ++i)
                    if (w.entries[i] == line->words[3]) n = static_cast<int>(i + 1);
            }
            if (n < 1 || n > static_cast<int>(w.entries.size())) fail(*line, "no such list entry");
            w.selection = n;
        } else if (verb == "svg") {
            if (line->words.size() < 2) fail(*line, "file name expected");
            std::ofstream out(resolve(line->words[1]), std::ios::binary);
            out << to_svg(display_list(active_frame_));
        } else {
            return;
        }
        ++cursor_;
    }
}

int ScriptBackend::modal_action(int box) {
    // The close command would answer a box with a quit control and let the
    // run go on as if the user had chosen it; a box without one would wait
    // for ever (with the timer running, ticks never end its wait).  Either
    // way the script has nothing left to say to the box.
    apply_settings();
    if (!peek()) end_script_run("SCRIPT ENDED IN THE BOX \"" + trimmed(at(box).label) + "\"");
    return action();
}

int ScriptBackend::action() {
    unanswered_ = 0;  // the program has come back to waiting
    for (;;) {
        apply_settings();
        const Line* line = peek();
        if (timer_command_ != 0 && !release_) {
            if (line && line->words[0] == "ticks") {
                if (ticks_left_ < 0) {
                    int n = 0;
                    if (line->words.size() < 2 || !parse_int(line->words[1], n) || n < 0)
                        fail(*line, "number of ticks expected");
                    ticks_left_ = n;
                }
                if (ticks_left_ > 0) {
                    --ticks_left_;
                    return timer_command_;
                }
                ticks_left_ = -1;
                ++cursor_;
                release_ = true;  // the next line is used although the timer runs
                continue;
            }
            return timer_command_;
        }
        if (!line) {
            if (++idle_closes_ > kMaxIdleCloses)
                end_script_run("SCRIPT ENDED WHILE THE PROGRAM WAITS FOR AN ACTION");
            return GM_CLOSE;
        }
        idle_closes_ = 0;
        const std::string& verb = line->words[0];
        int n = 0;
        if (verb == "ticks") {
            if (timer_command_ != 0) {
                release_ = false;  // served by the timer branch
            } else {
                ++cursor_;  // no timer runs: nothing to wait for
            }
            continue;
        }
        release_ = false;
        if (verb == "command" || parse_int(verb, n)) {
            if (verb == "command" && (line->words.size() < 2 || !parse_int(line->words[1], n)))
                fail(*line, "command number expected");
            ++cursor_;
            return n;
        }
        if (verb == "close") {
            ++cursor_;
            return GM_CLOSE;
        }
        if (verb == "press") {
            const int h = widget_for(*line, 1);
            ScriptWidget& w = at(h);
            if (w.status != 1) fail(*line, "\"" + line->words[2] + "\" is not selectable");
            if (w.kind == ScriptWidget::Toggle) set_toggle(h, w.state ? 0 : 1);
            if (w.kind == ScriptWidget::Radio) set_toggle(h, 1);
            ++cursor_;
            return w.command;
        }
        if (verb == "enter") {
            const int h = widget_for(*line, 1);
            ScriptWidget& w = at(h);
            if (line->words.size() < 4) fail(*line, "text expected");
            if (w.kind == ScriptWidget::TextEntry) {
                set_text(h, line->words[3]);
            } else if (w.kind == ScriptWidget::ValueEntry) {
                double v = 0;
                if (parse_real(line->words[3], v)) w.value = v;
            } else {
                fail(*line, "\"" + line->words[2] + "\" is not an entry");
            }
            ++cursor_;
            return w.command;
        }
        if (verb == "file" || verb == "browse" || verb == "file-given" || verb == "browse-given" ||
            verb == "cancel" || verb == "answer")
            fail(*line, "no dialog or message box is waiting for \"" + verb + "\"");
        fail(*line, "unknown keyword \"" + verb + "\"");
    }
}

void ScriptBackend::define_timer(int /*interval*/, int command) {
    timer_command_ = command;
    if (command == 0) ticks_left_ = -1;
}

void ScriptBackend::record(const ScriptEvent& e) {
    events_.push_back(e);
    if (!echo) return;
    switch (e.kind) {
        case ScriptEvent::Message:
            std::printf("Tarnivox message [%s] %s -> %s\n", e.title.c_str(), e.text.c_str(),
                        e.answer == GM_YES ? "Yes/OK" : e.answer == GM_NO ? "No" : "Cancel");
            break;
        case ScriptEvent::Error:
            std::printf("Tarnivox error [%s] %s\n", e.title.c_str(), e.text.c_str());
            break;
        case ScriptEvent::OpenFile:
        case ScriptEvent::Browse:
            std::printf("Tarnivox file dialog [%s] -> %s\n", e.title.c_str(),
                        e.result.empty() ? "(cancelled)" : e.result.c_str());
            break;
        case ScriptEvent::OpenInBrowser: std::printf("Tarnivox browser -> %s\n", e.result.c_str()); break;
    }
    std::fflush(stdout);
}

bool ScriptBackend::open_in_browser(std::string_view path) {
    ScriptEvent e;
    e.kind = ScriptEvent::OpenInBrowser;
    e.result = std::string(path);
    record(e);
    return true;
}

int ScriptBackend::message_box(std::string_view title, std::string_view text, int /*icon*/, int buttons) {
    apply_settings();
    int answer = GM_YES;
    const Line* line = peek();
    if (line && line->words[0] == "answer") {
        if (line->words.size() < 2) fail(*line, "yes, no, cancel or ok expected");
        const std::string& a = line->words[1];
        if (a == "yes" || a == "ok")
            answer = GM_YES;
        else if (a == "no" && buttons != GM_BUTTONS_OK)
            answer = GM_NO;
        else if (a == "cancel" && buttons == GM_BUTTONS_YESNOCANCEL)
            answer = GM_CANCEL;
        else
            fail(*line, "the box \"" + std::string(text) + "\" has no answer \"" + a + "\"");
        ++cursor_;
    } else if (buttons != GM_BUTTONS_OK) {
        unanswered(text, true);
    }
    record({ScriptEvent::Message, std::string(title), std::string(text), answer, {}});
    return answer;
}

void ScriptBackend::error_box(std::string_view title, std::string_view text) {
    apply_settings();
    const Line* line = peek();
    if (line && line->words[0] == "answer" && line->words.size() >= 2 && line->words[1] == "ok") ++cursor_;
    record({ScriptEvent::Error, std::string(title), std::string(text), GM_YES, {}});
}

std::string ScriptBackend::browse(std::string_view title, std::string_view /*name*/, std::string_view /*dir*/,
                                  std::string_view /*filter*/) {
    apply_settings();
    std::string result;
    const Line* line = peek();
    if (line && line->words[0] == "browse") {
        if (line->words.size() >= 2) result = resolve(line->words[1]);
        ++cursor_;
    } else if (line && line->words[0] == "browse-given") {
        result = given_path(*line);
        ++cursor_;
    } else if (line && line->words[0] == "cancel") {
        ++cursor_;
    } else {
        unanswered(title, false);
    }
    record({ScriptEvent::Browse, std::string(title), {}, 0, result});
    return result;
}

OpenFileResult ScriptBackend::open_file(const OpenFileRequest& request) {
    apply_settings();
    OpenFileResult r;
    const Line* line = peek();
    if (line && (line->words[0] == "file" || line->words[0] == "file-given")) {
        if (line->words.size() < 2) fail(*line, "file name expected");
        r.ok = true;
        r.path = line->words[0] == "file" ? resolve(line->words[1]) : given_path(*line);
        r.filter_index = request.filter_index;
        if (line->words.size() >= 3) {
            int n = 0;
            if (!parse_int(line->words[2], n) || n < 1 || n > static_cast<int>(request.filters.size()))
                fail(*line, "no filter " + line->words[2] + " in \"" + request.title + "\"");
            r.filter_index = n;
        }
        // A name typed without an extension takes the chosen filter's.
        const std::size_t slash = r.path.find_last_of("/\\");
        const std::size_t dot = r.path.rfind('.');
        const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        const std::string ext = extension_for_filter(request, r.filter_index);
        if (!has_ext && !ext.empty()) r.path += "." + ext;
        const std::size_t d2 = r.path.rfind('.');
        r.ext_offset = d2 == std::string::npos ? 0 : static_cast<int>(d2 + 1);
        if (request.must_exist && !std::filesystem::exists(r.path)) {
            // The system dialog does not return a file that must exist and does not.
            r = OpenFileResult{};
        }
        ++cursor_;
    } else if (line && line->words[0] == "cancel") {
        ++cursor_;
    } else {
        unanswered(request.title, false);
    }
    record({ScriptEvent::OpenFile, request.title, {}, 0, r.ok ? r.path : std::string()});
    return r;
}

// ---------------------------------------------------------------- graphics

const DisplayList& ScriptBackend::display_list(int frame) const {
    static const DisplayList empty;
    auto it = frames_.find(frame);
    return it == frames_.end() ? empty : it->second;
}

void ScriptBackend::frame_activate(int h) { active_frame_ = h; }
void ScriptBackend::frame_clear(int h) { frames_[h].clear(); }
void ScriptBackend::frame_extents(int h, double& xmin, double& xmax, double& ymin, double& ymax) {
    const DisplayList& list = frames_[h];
    xmin = 0;
    ymin = 0;
    xmax = list.width;
    ymax = list.height;
}
void ScriptBackend::close_menu() {
    for (ScriptWidget& w : widgets_) w.shown = false;
}
void ScriptBackend::draw(DrawOp op) {
    if (active_frame_) frames_[active_frame_].ops.push_back(std::move(op));
}
void ScriptBackend::move_to(double x, double y) { draw({DrawOp::Move, x, y, 0, 0, 1, {}}); }
void ScriptBackend::line_to(double x, double y) { draw({DrawOp::Line, x, y, 0, 0, 1, {}}); }
void ScriptBackend::fill_rect(double x1, double y1, double x2, double y2) {
    draw({DrawOp::FillRect, x1, y1, x2, y2, 1, {}});
}
void ScriptBackend::set_line_colour(int colour) { draw({DrawOp::Colour, 0, 0, 0, 0, colour, {}}); }
void ScriptBackend::display_string(std::string_view text) {
    draw({DrawOp::Text, 0, 0, 0, 0, 1, std::string(text)});
}
void ScriptBackend::set_char_size(double w, double h) { draw({DrawOp::CharSize, 0, 0, w, h, 1, {}}); }

}  // namespace tarnivox
