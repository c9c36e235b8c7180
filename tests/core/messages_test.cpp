#include "core/messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnivox {
namespace {

TEST(MessageSink, RecordsWithoutASinkAndHandsEveryMessageToAWiredOne) {
    set_message_sink({});
    clear_recorded_messages();
    report_error("Tarnivox", "Singular matrix in LUDCMP");
    ASSERT_EQ(recorded_messages().size(), 1u);
    EXPECT_EQ(recorded_messages()[0].title, "Tarnivox");
    EXPECT_EQ(recorded_messages()[0].text, "Singular matrix in LUDCMP");

    std::vector<Message> shown;
    set_message_sink([&](const Message& m) { shown.push_back(m); });
    report_error("Tarnivox", "Error in CALCB");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Error in CALCB");
    EXPECT_EQ(recorded_messages().size(), 1u);  // a wired sink records nothing

    set_message_sink({});
    report_error("Tarnivox", "Invalid Orientation Matrix in OMTOB");
    EXPECT_EQ(recorded_messages().size(), 2u);
    clear_recorded_messages();
    EXPECT_TRUE(recorded_messages().empty());
}

TEST(MessageSink, KeepsTheKindOfEveryBoxAndCanBeRoutedAwayAndBack) {
    set_message_sink({});
    clear_recorded_messages();
    report_message(MessageKind::Notice, "TARNIVOX", "Data File read in successfully");
    report_message(MessageKind::Information, "TARNIVOX", "End of File");
    report_error("Tarnivox", "Too many standards");
    ASSERT_EQ(recorded_messages().size(), 3u);
    EXPECT_EQ(recorded_messages()[0].kind, MessageKind::Notice);
    EXPECT_EQ(recorded_messages()[0].title, "TARNIVOX");
    EXPECT_EQ(recorded_messages()[1].kind, MessageKind::Information);
    EXPECT_EQ(recorded_messages()[2].kind, MessageKind::Error);

    // A caller that routes the messages for a while puts the sink back as
    // it found it, and the sink may do so while it shows a box.
    std::vector<Message> outer, inner;
    set_message_sink([&](const Message& m) { outer.push_back(m); });
    const MessageSink before = current_message_sink();
    set_message_sink([&](const Message& m) {
        inner.push_back(m);
        set_message_sink(before);
    });
    report_message(MessageKind::Notice, "Tarnivox", "first");
    report_message(MessageKind::Notice, "Tarnivox", "second");
    ASSERT_EQ(inner.size(), 1u);
    ASSERT_EQ(outer.size(), 1u);
    EXPECT_EQ(outer[0].text, "second");
    set_message_sink({});
    clear_recorded_messages();
}

TEST(BusySink, ShowsNothingUntilWiredAndThenEveryChange) {
    set_busy_sink({});
    report_busy(true);  // no window: nothing to show, no failure
    std::vector<bool> shown;
    set_busy_sink([&](bool b) { shown.push_back(b); });
    report_busy(true);
    report_busy(false);
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
    set_busy_sink({});
    EXPECT_FALSE(current_busy_sink());
}

}  // namespace
}  // namespace tarnivox
