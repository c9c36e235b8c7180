// The input formats as the window offers them: the file dialog's filter of
// each format matches the files the simulator writes in it and is chosen
// for the format in use, and the format box preselects the format of a
// file named with that extension.
#include <gtest/gtest.h>

#include <memory>

#include "core/store.h"
#include "import/formats.h"
#include "simulate.h"
#include "ui/dialogs.h"
#include "ui/files.h"
#include "ui/graphics.h"
#include "toolkit/script/script_backend.h"
#include "toolkit/toolkit.h"

namespace tarnivox {
namespace {

// The script backend, keeping the last open-file request it answered.
class RequestKeepingBackend : public ScriptBackend {
public:
    explicit RequestKeepingBackend(const std::string& script) {
        load(script, ".");
        echo = false;
    }
    OpenFileRequest last;
    OpenFileResult open_file(const OpenFileRequest& request) override {
        last = request;
        return ScriptBackend::open_file(request);
    }
};

RequestKeepingBackend& headless_window(const std::string& script) {
    reset_store();
    auto owned = std::make_unique<RequestKeepingBackend>(script);
    RequestKeepingBackend& b = *owned;
    set_toolkit_backend(std::move(owned));
    GRAPHICS_SETUP();
    return b;
}

TEST(InputFormats, FileDialogAndFormatBoxAgreeWithTheFilesOfEachFormat) {
    const sim::Format all[] = {sim::Format::Standard, sim::Format::Huber, sim::Format::Xcalibur,
                               sim::Format::Xscans,   sim::Format::Stoe,  sim::Format::Febo,
                               sim::Format::Cad4};
    for (sim::Format f : all) {
        const int code = static_cast<int>(f);
        const std::string ext = sim::extension_of(f);
        RequestKeepingBackend& b = headless_window("cancel\npress \"Input Data file Format\" OK\n");
        G.INFMT = code;
        OPEN_IN();
        ASSERT_EQ(b.last.filters.size(), 8u);
        EXPECT_EQ(b.last.filter_index, code);
        EXPECT_EQ(b.last.filters[static_cast<std::size_t>(code - 1)].pattern, "*." + ext) << code;
        EXPECT_EQ(b.last.filters.back().pattern, "*.*");

        // Huber files share ".dat" with CAD4, which the box takes them for.
        G.INFMT = 0;
        G.INFILE = "/data/crystal." + ext;
        GETFORMAT();
        EXPECT_EQ(G.INFMT, f == sim::Format::Huber ? FORMAT_CAD4 : code) << ext;
        ASSERT_NE(input_format(code), nullptr);
        EXPECT_EQ(input_format(code)->asks_step, f == sim::Format::Huber || f == sim::Format::Febo);
    }
    reset_store();
}

}  // namespace
}  // namespace tarnivox
