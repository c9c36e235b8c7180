#include "ui/message_boxes.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"
#include "toolkit/toolkit.h"
#include "ui/widgets.h"
#include "ui/window_state.h"

namespace tarnivox {
namespace {

// The script backend, also noting each box's icon and button set and the
// window made active, which the plain backend does not keep.
class IconNotingBackend : public ScriptBackend {
public:
    struct Box {
        int icon, buttons;
    };
    std::vector<Box> boxes;
    std::vector<int> activated;
    int message_box(std::string_view title, std::string_view text, int icon, int buttons) override {
        boxes.push_back({icon, buttons});
        return ScriptBackend::message_box(title, text, icon, buttons);
    }
    void set_active_window(int h) override {
        activated.push_back(h);
        ScriptBackend::set_active_window(h);
    }
};

TEST(MessageBoxes, TheWindowShowsEachKindInItsBoxAndTheWaitBoxOnBusy) {
    reset_store();
    auto owned = std::make_unique<IconNotingBackend>();
    owned->echo = false;
    IconNotingBackend& b = *owned;
    set_toolkit_backend(std::move(owned));
    GRAPHICS_SETUP();  // building the window wires the sinks

    report_message(MessageKind::Information, "TARNIVOX", "End of File");
    report_message(MessageKind::Notice, "Tarnivox", "No reflection read from data file");
    report_error("Tarnivox", "Singular matrix in LUDCMP");
    EXPECT_TRUE(recorded_messages().empty());
    const auto& e = b.events();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].kind, ScriptEvent::Message);
    EXPECT_EQ(e[0].title, "TARNIVOX");
    EXPECT_EQ(e[0].text, "End of File");
    EXPECT_EQ(e[1].kind, ScriptEvent::Message);
    EXPECT_EQ(e[1].text, "No reflection read from data file");
    EXPECT_EQ(e[2].kind, ScriptEvent::Error);
    EXPECT_EQ(e[2].text, "Singular matrix in LUDCMP");
    ASSERT_EQ(b.boxes.size(), 2u);
    EXPECT_EQ(b.boxes[0].icon, GM_ICON_INFORMATION);
    EXPECT_EQ(b.boxes[1].icon, GM_ICON_NOTICE);
    for (const auto& box : b.boxes) EXPECT_EQ(box.buttons, GM_BUTTONS_OK);

    b.activated.clear();
    report_busy(true);
    report_busy(false);
    EXPECT_EQ(b.activated, (std::vector<int>{wid(DLG_WAIT), WS.MAINWIN}));
    reset_store();
}

}  // namespace
}  // namespace tarnivox
