#pragma once
// A fresh folder per test for the files the output tests write, and a
// headless toolkit whose boxes the tests read back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/store.h"
#include "io/units.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox::testing_output {

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline std::vector<std::string> lines_of(const std::filesystem::path& path) {
    std::vector<std::string> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) out.push_back(line);
    return out;
}

inline ScriptBackend& install_script(std::string_view script, const std::string& base = ".") {
    auto b = ScriptBackend::from_text(script, base);
    b->echo = false;
    ScriptBackend& ref = *b;
    set_toolkit_backend(std::move(b));
    return ref;
}

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("tarnivox_out_" + std::string(info->test_suite_name()) + "_" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        reset_store();
        install_script("");
    }
    void TearDown() override {
        close_all_units();
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
        std::filesystem::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

}  // namespace tarnivox::testing_output
