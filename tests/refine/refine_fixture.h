#pragma once
// Clean store and the recording message sink for every refinement test:
// error boxes are recorded, and no window or toolkit is involved.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/messages.h"
#include "core/store.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"

namespace tarnivox {

class RefineTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        set_message_sink({});
        clear_recorded_messages();
        set_ub_inverse_cache(true);
    }
    // Texts of the error boxes shown so far.
    static std::vector<std::string> error_boxes() {
        std::vector<std::string> out;
        for (const auto& m : recorded_messages()) out.push_back(m.text);
        return out;
    }
    static Angles angles(double tth, double om, double chi, double phi) {
        Angles a;
        a(1) = tth, a(2) = om, a(3) = chi, a(4) = phi;
        return a;
    }
    static Indices hkl(int h, int k, int l) {
        Indices i;
        i(1) = h, i(2) = k, i(3) = l;
        return i;
    }
};

}  // namespace tarnivox
