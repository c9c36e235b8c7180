#include <gtest/gtest.h>

#include "core/store.h"
#include "tarnivox_main.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

ScriptBackend& install(std::string_view script) {
    auto b = ScriptBackend::from_text(script);
    b->echo = false;
    ScriptBackend& ref = *b;
    set_toolkit_backend(std::move(b));
    return ref;
}

// Runs the command loop until the run ends; returns the end's message.
std::string run_loop() {
    try {
        command_loop();
    } catch (const ProgramEnd& e) {
        finish_run(e);
        return e.message;
    }
}

TEST(CommandLoop, CloseAsksAndNoKeepsTheLoopRunningUntilYes) {
    ScriptBackend& b = install("close\nanswer no\n999\n-7\n101\nanswer no\nclose\nanswer yes\n312\n");
    EXPECT_EQ(run_loop(), "");
    ASSERT_EQ(b.events().size(), 3u);  // three questions, no error box for an empty message
    for (const ScriptEvent& e : b.events()) {
        EXPECT_EQ(e.kind, ScriptEvent::Message);
        EXPECT_EQ(e.title, "TARNIVOX");
        EXPECT_EQ(e.text, "Are you sure you want to exit the program?");
    }
}

TEST(CommandLoop, ExitMenuEntryAsksLikeTheCloseControl) {
    ScriptBackend& b = install("316\n");
    EXPECT_EQ(run_loop(), "");
    ASSERT_EQ(b.events().size(), 1u);
    EXPECT_EQ(b.events()[0].answer, GM_YES);
}

TEST(CommandLoop, FatalMessageIsShownCutAtTheFirstCharacterOutsideTheShownRange) {
    ScriptBackend& b = install("");
    finish_run(ProgramEnd{"READ ERROR|ON SCAN FILE"});
    ASSERT_EQ(b.events().size(), 1u);
    EXPECT_EQ(b.events()[0].kind, ScriptEvent::Error);
    EXPECT_EQ(b.events()[0].title, "Tarnivox");
    EXPECT_EQ(b.events()[0].text, "READ ERROR");
}

TEST(CommandLoop, StartWithoutAnInputFileEndsWithEndOfProgram) {
    reset_store();
    ScriptBackend& b = install("cancel\n");
    EXPECT_EQ(run_program(), 0);
    ASSERT_FALSE(b.events().empty());
    EXPECT_EQ(b.events().back().text, "END OF PROGRAM");
}

}  // namespace
}  // namespace tarnivox
