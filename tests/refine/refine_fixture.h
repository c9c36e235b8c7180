#pragma once
// Clean store and a silent headless toolkit for every refinement test, so
// that error boxes are recorded instead of shown.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/store.h"
#include "refine/geometry.h"
#include "support/geometry_builder.h"
#include "ui/toolkit/script/script_backend.h"

namespace tarnivox {

class RefineTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_store();
        set_toolkit_backend(ScriptBackend::from_text(""));
        script_backend()->echo = false;
        set_ub_inverse_cache(true);
    }
    // Texts of the error boxes shown so far.
    static std::vector<std::string> error_boxes() {
        std::vector<std::string> out;
        for (const auto& e : script_backend()->events())
            if (e.kind == ScriptEvent::Error) out.push_back(e.text);
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
