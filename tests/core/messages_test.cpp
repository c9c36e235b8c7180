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

}  // namespace
}  // namespace tarnivox
