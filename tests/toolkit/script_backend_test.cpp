#include "toolkit/script/script_backend.h"

#include <gtest/gtest.h>

#include "core/exitint.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

ScriptBackend& install(std::string_view script) {
    auto b = ScriptBackend::from_text(script, "/data");
    b->echo = false;
    ScriptBackend& ref = *b;
    set_toolkit_backend(std::move(b));
    return ref;
}

std::string end_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProgramEnd& e) {
        return e.message;
    }
    return "(no end)";
}

// The exit status the end carries; -1 when the run did not end.
int end_status(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProgramEnd& e) {
        return e.status;
    }
    return -1;
}

TEST(ScriptBackend, CommandsComeInOrderAndAnExhaustedScriptClosesTheWindow) {
    install("# a comment\n\n312\ncommand 999\nclose\n");
    EXPECT_EQ(GMACTION(), 312);
    EXPECT_EQ(GMACTION(), 999);
    EXPECT_EQ(GMACTION(), GM_CLOSE);
    EXPECT_EQ(GMACTION(), GM_CLOSE);
}

TEST(ScriptBackend, WidgetsAreFoundByDialogTitleAndLabel) {
    ScriptBackend& b = install(
        "set \"Output Format\" Width 7.5\n"
        "toggle \"Output Format\" \"Shelx hkl\" on\n"
        "select \"Output Format\" Systems Cubic\n"
        "press \"Output Format\" \"Save + Exit\"\n"
        "enter main hkl \"1 2 3\"\n"
        "press File \"Open data file\"\n"
        "set \"Output Format\" Width abc\n"
        "press \"Output Format\" Go#2\n");
    const int win = GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V3.53", "Tarnivox");
    const int bar = GMCREATEMENUBAR(win);
    const int file = GMCREATEPULLDOWNMENU(bar, "File");
    GMCREATEMENUENTRY(file, "Open data file", 312);
    const int hkl = GMCREATETEXTENTRY(win, 5, 1, 3, 1, "", 20, 106, EntryKind::Editable, "hkl");
    const int dlg = GMCREATECOMPLEXDIALOGUEBOX(win, 1, 1, 8, 6, "Output Format");
    const int r1 = GMCREATERADIOBOX(dlg, 1, 4, 4, 1, "Rfine", 1, 594, 1);
    const int r3 = GMCREATERADIOBOX(dlg, 1, 2, 4, 1, "Shelx hkl", 0, 596, 1);
    const int width = GMCREATEVALUEENTRY_REAL(dlg, 1, 1, 2, 1, 1.0, 6, 1, 0, "Width");
    const int list = GMCREATELISTBOX(dlg, 5, 1, 3, 3, "Systems", 0);
    for (const char* s : {"Monoclinic-b", "Cubic"}) GMSETLISTENTRY(list, s);
    GMCREATEPUSHBUTTON(dlg, 1, 0, 2, 1, "Save + Exit", 593);
    GMCREATEPUSHBUTTON(dlg, 3, 0, 2, 1, "Go", 1);
    GMCREATEPUSHBUTTON(dlg, 5, 0, 2, 1, "Go", 2);
    EXPECT_EQ(GMACTION(), 593);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(width), 7.5);
    EXPECT_EQ(TOGENQ(r1), 0);
    EXPECT_EQ(TOGENQ(r3), 1);
    EXPECT_EQ(GMENQLISTSTATUS(list), 2);
    EXPECT_EQ(GMACTION(), 106);
    EXPECT_EQ(GMENQTEXTSETTING(hkl), "1 2 3");
    EXPECT_EQ(GMACTION(), 312);
    EXPECT_EQ(GMACTION(), 2);  // the second "Go"; "abc" left the value as it was
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(width), 7.5);
    EXPECT_EQ(b.find("Output Format", "Nothing"), 0);
}

TEST(ScriptBackend, DialogsSharingATitleAreAllSearchedForALabel) {
    ScriptBackend& b = install("set Tarnivox \"Input omega step size:\" 0.05\npress Tarnivox Ok\n");
    const int win = GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V3.53", "Tarnivox");
    const int wait = GMCREATECOMPLEXDIALOGUEBOX(win, 1, 1, 8, 2, "Tarnivox");
    GMCREATETEXTENTRY(wait, 1, 1, 6, 1, "Working; Please wait...", 30, 0, EntryKind::Caption);
    const int step = GMCREATECOMPLEXDIALOGUEBOX(win, 1, 1, 8, 3, "Tarnivox");
    const int value = GMCREATEVALUEENTRY_REAL(step, 1, 1, 2, 1, 0.02, 6, 4, 0, "Input omega step size:");
    GMCREATEPUSHBUTTON(step, 1, 0, 2, 1, "Ok", 672);
    EXPECT_EQ(GMACTION(), 672);
    EXPECT_DOUBLE_EQ(GMENQVALUESETTING(value), 0.05);
    EXPECT_EQ(b.find("Tarnivox", "Working; Please wait..."), 3);
}

TEST(ScriptBackend, UnknownDialogsLabelsAndKeywordsEndTheRunNamingTheLine) {
    install("press Nowhere OK\n");
    EXPECT_EQ(end_message([] { GMACTION(); }), "SCRIPT LINE 1: unknown dialog \"Nowhere\"");
    install("\npress main Missing\n");
    GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V3.53", "Tarnivox");
    EXPECT_EQ(end_message([] { GMACTION(); }), "SCRIPT LINE 2: unknown label \"Missing\" in \"main\"");
    install("frobnicate\n");
    EXPECT_EQ(end_message([] { GMACTION(); }), "SCRIPT LINE 1: unknown keyword \"frobnicate\"");
    install("answer yes\n");
    EXPECT_NE(end_message([] { GMACTION(); }).find("no dialog or message box is waiting"), std::string::npos);
    // Every such end tells a calling program that its script was at fault.
    for (const char* script : {"press Nowhere OK\n", "frobnicate\n", "answer yes\n", "command x\n", "\"open\n"}) {
        install(script);
        EXPECT_EQ(end_status([] { GMACTION(); }), EXIT_STATUS_SCRIPT) << script;
    }
}

TEST(ScriptBackend, AQuestionAskedAgainAndAgainWithoutAnAnswerEndsTheRun) {
    // The script is used up: Yes is the default, the file dialog that
    // follows is cancelled, and the program asks again.
    install("");
    int asked = 0;
    const auto ask_until_a_file_is_open = [&asked] {
        for (;;) {
            ++asked;
            GMDISPLAYMESSAGEBOX("TARNIVOX", "Open a file?", 1, GM_BUTTONS_YESNOCANCEL);
            GETOPENFILENAME(OpenFileRequest{"Open Output Data File", {}, 1, "", "int", "", false});
        }
    };
    EXPECT_EQ(end_message(ask_until_a_file_is_open), "SCRIPT ENDED WITH NO ANSWER TO \"Open a file?\"");
    EXPECT_LE(asked, 30);
    install("");
    EXPECT_EQ(end_status(ask_until_a_file_is_open), EXIT_STATUS_SCRIPT);
    // A script line that answers neither is named; so is the dialog when
    // no question comes between its showings.
    install("\n\ncommand 322\n");
    EXPECT_EQ(end_message(ask_until_a_file_is_open), "SCRIPT LINE 3: NO ANSWER TO \"Open a file?\"");
    install("");
    EXPECT_EQ(end_message([] {
                  for (;;) {
                      std::string name;
                      WIDSTR("Open Log File");
                      BROWSE(name, "", "*.log");
                  }
              }),
              "SCRIPT ENDED WITH NO ANSWER TO \"Open Log File\"");
    // Answers given by the script, notices with OK only, and a wait for an
    // action between the questions are all progress.
    std::string answers;
    for (int i = 0; i < 200; ++i) answers += "answer yes\n";
    install(answers);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(GMDISPLAYMESSAGEBOX("T", "Q?", 1, GM_BUTTONS_YESNO), GM_YES);
    install("");
    EXPECT_EQ(end_status([] {
                  for (int i = 0; i < 200; ++i) {
                      GMDISPLAYMESSAGEBOX("Tarnivox", "End of File", 3, GM_BUTTONS_OK);
                      GUIERR("Tarnivox", "Output format exceeded");
                  }
                  for (int i = 0; i < 200; ++i) {
                      GMDISPLAYMESSAGEBOX("T", "Q?", 1, GM_BUTTONS_YESNO);
                      GMACTION();
                  }
              }),
              -1);
}

TEST(ScriptBackend, TheDefaultsFileIsUsedOnlyWhenTheScriptDeclaresIt) {
    EXPECT_FALSE(install("312\n").wants_defaults_file());
    // A declaration for the whole run, wherever it stands: not an action.
    ScriptBackend& on = install("312\ndefaults on\n313\n");
    EXPECT_TRUE(on.wants_defaults_file());
    EXPECT_EQ(GMACTION(), 312);
    EXPECT_EQ(GMACTION(), 313);
    EXPECT_FALSE(install("defaults on\ndefaults off\n").wants_defaults_file());
    install("defaults maybe\n");
    EXPECT_EQ(end_message([] { GMACTION(); }), "SCRIPT LINE 1: on or off expected after \"defaults\"");
}

TEST(ScriptBackend, MessageBoxesTakeScriptedAnswersOrOkAndAreRecorded) {
    ScriptBackend& b = install("answer no\nanswer cancel\n");
    EXPECT_EQ(GMDISPLAYMESSAGEBOX("TARNIVOX", "Exit?", 1, GM_BUTTONS_YESNO), GM_NO);
    EXPECT_EQ(GMDISPLAYMESSAGEBOX("Open output file", "Overwrite?", 1, GM_BUTTONS_YESNOCANCEL), GM_CANCEL);
    EXPECT_EQ(GMDISPLAYMESSAGEBOX("TARNIVOX", "Again?", 1, GM_BUTTONS_YESNO), GM_YES);
    GMDISPLAYERRORBOX("Tarnivox", "Error opening file: Try again");
    ASSERT_EQ(b.events().size(), 4u);
    EXPECT_EQ(b.events()[1].title, "Open output file");
    EXPECT_EQ(b.events()[3].kind, ScriptEvent::Error);
    EXPECT_EQ(b.events()[3].text, "Error opening file: Try again");
}

TEST(ScriptBackend, FileDialogsTakePathsFiltersAndDefaultExtensions) {
    install("file out 2\nfile out 3\nfile out.dat 2\ncancel\nbrowse inst.par\nbrowse\n");
    OpenFileRequest req;
    req.title = "Open Output Data File";
    req.filters = {{"Rfine", "*.int"}, {"Shelx", "*.hkl"}, {"All Formats", "*.*"}};
    req.default_ext = "int";
    // A name without an extension takes the chosen filter's; "*.*" gives
    // the default; a typed extension stays.
    OpenFileResult r = GETOPENFILENAME(req);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.path, "/data/out.hkl");
    EXPECT_EQ(r.filter_index, 2);
    EXPECT_EQ(r.path.substr(static_cast<std::size_t>(r.ext_offset)), "hkl");
    EXPECT_EQ(GETOPENFILENAME(req).path, "/data/out.int");
    EXPECT_EQ(GETOPENFILENAME(req).path, "/data/out.dat");
    EXPECT_FALSE(GETOPENFILENAME(req).ok);
    std::string name = "old.par";
    WIDSTR("Open Instrument Parameter File");
    BROWSE(name, "/data/", "*.par|(Parameter File)|*.*|(All Files)");
    EXPECT_EQ(name, "/data/inst.par");
    BROWSE(name, "/data/", "*.par|(Parameter File)");
    EXPECT_EQ(name, "");
    EXPECT_FALSE(GETOPENFILENAME(req).ok);  // no scripted answer: cancelled
}

TEST(ScriptBackend, TimerTicksRunUntilStoppedOrForAScriptedCount) {
    ScriptBackend& b = install("119\n");
    GMDEFINETIMERCALLBACK(50, 990);
    EXPECT_TRUE(b.timer_running());
    EXPECT_EQ(GMACTION(), 990);
    EXPECT_EQ(GMACTION(), 990);  // the program keeps its timer: ticks go on
    GMDEFINETIMERCALLBACK(50, 0);
    EXPECT_EQ(GMACTION(), 119);
    install("ticks 2\n119\n118\n");
    GMDEFINETIMERCALLBACK(50, 990);
    EXPECT_EQ(GMACTION(), 990);
    EXPECT_EQ(GMACTION(), 990);
    EXPECT_EQ(GMACTION(), 119);  // after two ticks the script speaks again
    EXPECT_EQ(GMACTION(), 990);  // and the timer takes over again
}

TEST(ScriptBackend, DrawingIsRecordedPerFrameAndRendersAsSvg) {
    ScriptBackend& b = install("");
    const int win = GMCREATEMASTERWINDOW(5, 5, 20, 19, "TARNIVOX V3.53", "Tarnivox");
    const int frame = GMCREATEGRAPHICSFRAME(win, 1, 4, 18, 12);
    double x1, x2, y1, y2;
    FRAENQ(frame, x1, x2, y1, y2);
    EXPECT_EQ(x2, 18 * 32.0);
    EXPECT_EQ(y2, 12 * 24.0);
    FRAACT(frame);
    GSETLINECOLOUR(3);
    GMOVETO2D(0, 20);
    GDRAWLINETO2D(100, 20);
    GDISPLAYSTR("Max Counts = 1234");
    GFILLRECT(1, 1, 3, 3);
    const auto segments = b.display_list(frame).segments();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].colour, 3);
    EXPECT_EQ(segments[0].x2, 100);
    ASSERT_EQ(b.display_list(frame).texts().size(), 1u);
    EXPECT_EQ(b.display_list(frame).texts()[0].x, 100);
    const std::string svg = to_svg(b.display_list(frame));
    EXPECT_NE(svg.find("<line"), std::string::npos);
    EXPECT_NE(svg.find("Max Counts = 1234"), std::string::npos);
    FRACLE(frame);
    EXPECT_TRUE(b.display_list(frame).ops.empty());
}

TEST(ScriptBackend, AProgramWaitingForeverAfterTheScriptEndsIsStopped) {
    install("");
    EXPECT_EQ(end_message([] {
                  for (;;) GMACTION();  // a dialog loop that ignores the close command
              }),
              "SCRIPT ENDED WHILE THE PROGRAM WAITS FOR AN ACTION");
    install("");
    EXPECT_EQ(end_status([] {
                  for (;;) GMACTION();
              }),
              EXIT_STATUS_SCRIPT);
}

}  // namespace
}  // namespace tarnivox
