// What a user reads and installs beside the program: the user's guide, the
// JSON summary's schema, the template parameter file, the shell completion
// and the desktop entry.  Each is checked against the program itself, so
// none can fall behind it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/exitint.h"
#include "core/store.h"
#include "file_commands.h"
#include "io/units.h"
#include "params/parameters.h"
#include "support/scratch.h"
#include "toolkit/script/script_backend.h"

namespace tarnivox {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kSource = TARNIVOX_SOURCE_DIR;
const fs::path kProgram = fs::path(TARNIVOX_BINARY_DIR) / "tarnivox";
const std::vector<std::string> kFormats = {"standard", "huber", "xcalibur", "xscans", "stoe", "febo", "cad4"};

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome shell(const std::string& command) {
    Outcome o;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return o;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) o.out.append(buf, n);
    const int raw = ::pclose(p);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// The keywords the parameter reader compares columns 1-6 with, read from
// its source: the guide must name each of them.
std::vector<std::string> parameter_keywords() {
    const std::string src = test::read_text(kSource / "src/params/parameters.cpp");
    std::vector<std::string> keys;
    const std::regex six(R"re(key == "([A-Z]+) ?")re");
    for (auto it = std::sregex_iterator(src.begin(), src.end(), six); it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1]);
    const std::regex four(R"re(key\.substr\(0, 4\) == "([A-Z]+)")re");
    for (auto it = std::sregex_iterator(src.begin(), src.end(), four); it != std::sregex_iterator(); ++it)
        keys.push_back((*it)[1]);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

// Every message the program can end a run with, as written in the code:
// given to EXITINT, or to the routines that end a run naming the line of a
// file at fault (the readers' and the parameter file's).
std::set<std::string> fatal_messages() {
    std::set<std::string> messages;
    const std::regex call(R"re((?:EXITINT|EXITINT_AT|reader_stop|stop_at_line)\((?:\w+, )?"([^"]+)")re");
    for (const fs::path& root : {kSource / "src", kSource / "app"})
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (e.path().extension() != ".cpp") continue;
            const std::string src = test::read_text(e.path());
            for (auto it = std::sregex_iterator(src.begin(), src.end(), call); it != std::sregex_iterator();
                 ++it)
                messages.insert((*it)[1]);
        }
    return messages;
}

TEST(UsersGuide, NamesEveryParameterKeywordAndEveryFatalMessage) {
    const std::string guide = test::read_text(kSource / "docs/users-guide.md");
    ASSERT_FALSE(guide.empty());
    const auto keys = parameter_keywords();
    // PKPAR FITLIM ATTEN WAVEL RFLAGS TFLAGS PARITY MONO BACKGR GONCON BLAXES
    EXPECT_GE(keys.size(), 11u);
    for (const std::string& k : keys)
        EXPECT_NE(guide.find("| `" + k + "` |"), std::string::npos)
            << k << " has no row in the keyword table";
    const auto messages = fatal_messages();
    EXPECT_GE(messages.size(), 15u);
    for (const std::string& m : messages)
        EXPECT_NE(guide.find("`" + m + "`"), std::string::npos)
            << "\"" << m << "\" is not in the troubleshooting";
    // Every input format has its row in the layouts table.
    for (const std::string& f : kFormats) EXPECT_NE(guide.find("| `" + f + "` |"), std::string::npos) << f;
}

// A validator for the subset of JSON Schema the summary's schema uses.  A
// schema keyword it does not know is an error, so the schema cannot say
// more than is checked.
class SchemaValidator {
public:
    explicit SchemaValidator(json root) : root_(std::move(root)) {}
    std::vector<std::string> errors(const json& doc) {
        errors_.clear();
        check(doc, root_, "$");
        return errors_;
    }

private:
    static bool has_type(const json& v, const std::string& t) {
        if (t == "object") return v.is_object();
        if (t == "array") return v.is_array();
        if (t == "string") return v.is_string();
        if (t == "integer") return v.is_number_integer();
        if (t == "number") return v.is_number();
        if (t == "boolean") return v.is_boolean();
        if (t == "null") return v.is_null();
        return false;
    }
    const json& resolve(const std::string& ref) {
        static const std::string prefix = "#/$defs/";
        if (ref.rfind(prefix, 0) != 0 || !root_["$defs"].contains(ref.substr(prefix.size()))) {
            errors_.push_back("unresolvable $ref " + ref);
            static const json empty = json::object();
            return empty;
        }
        return root_["$defs"][ref.substr(prefix.size())];
    }
    void check(const json& v, const json& s, const std::string& at) {
        static const std::set<std::string> kAnnotations = {"$schema", "$id", "title", "description", "$defs"};
        static const std::set<std::string> kChecked = {
            "type", "properties", "required", "additionalProperties", "items", "enum", "minimum", "$ref"};
        for (const auto& [key, value] : s.items())
            if (!kAnnotations.count(key) && !kChecked.count(key))
                errors_.push_back(at + ": schema keyword " + key);
        if (s.contains("$ref")) return check(v, resolve(s["$ref"]), at);
        if (s.contains("type")) {
            const json types = s["type"].is_array() ? s["type"] : json::array({s["type"]});
            bool ok = false;
            for (const auto& t : types) ok = ok || has_type(v, t.get<std::string>());
            if (!ok) errors_.push_back(at + ": not of type " + s["type"].dump());
        }
        if (s.contains("enum") && std::find(s["enum"].begin(), s["enum"].end(), v) == s["enum"].end())
            errors_.push_back(at + ": " + v.dump() + " not in " + s["enum"].dump());
        if (s.contains("minimum") && v.is_number() && v.get<double>() < s["minimum"].get<double>())
            errors_.push_back(at + ": below its minimum");
        if (v.is_object()) {
            for (const auto& r : s.value("required", json::array()))
                if (!v.contains(r.get<std::string>()))
                    errors_.push_back(at + ": missing " + r.get<std::string>());
            const json props = s.value("properties", json::object());
            for (const auto& [key, value] : v.items()) {
                if (props.contains(key))
                    check(value, props[key], at + "." + key);
                else if (s.contains("additionalProperties") && s["additionalProperties"] == false)
                    errors_.push_back(at + "." + key + ": written but not in the schema");
                else if (s.contains("additionalProperties") && s["additionalProperties"].is_object())
                    check(value, s["additionalProperties"], at + "." + key);
            }
        }
        if (v.is_array() && s.contains("items"))
            for (std::size_t i = 0; i < v.size(); ++i)
                check(v[i], s["items"], at + "[" + std::to_string(i) + "]");
    }
    json root_;
    std::vector<std::string> errors_;
};

// Real batch runs over copies of the examples, one for each kind of field:
// a refinement with CIF, an Rfine run with its own log, a decay
// correction, a conversion, and a data set ended by a fatal message.
TEST(JsonSummary, EveryFieldOfRealRunsIsInTheSchemaAndValid) {
    if (!fs::exists(kProgram)) GTEST_SKIP() << "the program is not built";
    const fs::path dir = test::make_scratch_dir("tarnivox_summary");
    for (const char* f : {"cad4", "cad4_large", "huber", "stoe"}) fs::copy(kSource / "examples" / f, dir / f);
    std::ofstream(dir / "nomono.par") << "PKPAR  0.1 0.02 0.5\n"
                                         "FITLIM 0.0 1.0e5 0.02 1.0 0.0 1.0e8 0.2 0.2 0.0 1.0 0.4 0.6 0.25\n"
                                         "ATTEN  1.0\nWAVEL  2 0.709300 0.713590 0.500000\n"
                                         "RFLAGS 1,1,1,1,1,0\nTFLAGS 1,1,1,1,1,0,1\nPARITY 1,1,1,1\n";
    const std::string p = quoted(kProgram) + " ";
    const std::vector<std::pair<std::string, int>> runs = {
        {"reduce " + quoted(dir / "cad4/cad4.dat") + " --format cad4 --par " + quoted(dir / "cad4/cad4.par") +
             " --refine --offsets --omega-zero --cif --report " + quoted(dir / "cad4.html") + " --laue 2/m",
         0},
        {"reduce " + quoted(dir / "huber/huber.dat") + " --format huber --step 0.02 --par " +
             quoted(dir / "huber/huber.par") + " --form rfine-extended --log " + quoted(dir / "h.log"),
         0},
        {"reduce " + quoted(dir / "cad4_large/cad4_large.dat") + " --format cad4 --par " +
             quoted(dir / "cad4_large/cad4_large.par") + " --decay-correct",
         0},
        {"reduce " + quoted(dir / "cad4/cad4.dat") + " --format cad4 --par " + quoted(dir / "cad4/cad4.par") +
             " --out " + quoted(dir / "sphere.hkl") + " --absorption sphere --radius 0.1 --mu 1.5",
         0},
        {"convert " + quoted(dir / "stoe/stoe.d00") + " --format stoe --par " + quoted(dir / "stoe/stoe.par"),
         0},
        {"reduce " + quoted(dir / "stoe/stoe.d00") + " --format stoe --par " + quoted(dir / "nomono.par"), 1},
    };
    SchemaValidator schema(json::parse(test::read_text(kSource / "docs/tarnivox-summary.schema.json")));
    std::set<std::string> seen;  // the run fields met, to show each kind of run wrote its own
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const fs::path out = dir / ("summary" + std::to_string(i) + ".json");
        const Outcome o = shell(p + runs[i].first + " --quiet --json " + quoted(out) + " 2>&1");
        ASSERT_EQ(o.status, runs[i].second) << runs[i].first << "\n" << o.out;
        const json doc = json::parse(test::read_text(out));
        for (const std::string& e : schema.errors(doc)) ADD_FAILURE() << runs[i].first << ": " << e;
        for (const auto& [key, value] : doc["runs"][0].items()) {
            seen.insert(key);
            if (value.is_object())
                for (const auto& [k2, v2] : value.items()) seen.insert(key + "." + k2);
        }
    }
    for (const char* field : {"message", "outputs.import_log", "outputs.standard_data_file",
                              "refined.offsets", "refined.omega_zero", "counts.rejections_first_pass",
                              "report.wilson_scale", "decay_correction.factor_max",
                              "absorption_correction.transmission_max"})
        EXPECT_TRUE(seen.count(field)) << field << " was not written by any run";

    // The validator itself: a field the schema does not know, a value of
    // the wrong type and a missing required field are each caught.
    json doc = json::parse(test::read_text(dir / "summary0.json"));
    EXPECT_TRUE(schema.errors(doc).empty());
    doc["runs"][0]["counts"]["unheard_of"] = 1;
    EXPECT_EQ(schema.errors(doc).size(), 1u);
    doc["runs"][0]["counts"].erase("unheard_of");
    doc["runs"][0]["refined"]["cell"]["a"]["esd"] = "0.001";
    EXPECT_EQ(schema.errors(doc).size(), 1u);
    doc["runs"][0]["refined"]["cell"]["a"]["esd"] = 0.001;
    doc["runs"][0].erase("input");
    EXPECT_EQ(schema.errors(doc).size(), 1u);
    fs::remove_all(dir);
}

// The template of every format is a parameter file the reader takes whole:
// no message, every keyword line one the reader knows, every keyword there.
TEST(TemplateParameterFile, EveryFormatsTemplateIsReadWithoutAMessage) {
    const auto keys = parameter_keywords();
    for (const std::string& format : kFormats) {
        SCOPED_TRACE(format);
        const fs::path dir = test::fresh_run_in_scratch_dir("tarnivox_template");
        const std::string text = template_parameter_file(format);
        std::set<std::string> given;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_LE(line.size(), 80u) << line;
            if (line.empty() || line[0] == '#') continue;
            const std::string key = line.substr(0, line.find_first_of(" ,"));
            EXPECT_TRUE(std::find(keys.begin(), keys.end(), key) != keys.end()) << line;
            given.insert(key);
        }
        EXPECT_EQ(given.size(), keys.size());
        std::ofstream(dir / "template.par") << text;
        test::install_quiet_script("", dir.string());
        ASSERT_EQ(open_unit(LU_PARAM, (dir / "template.par").string(), OpenMode::Read), 0);
        try {
            READ_PARAMETERS();
        } catch (const ProgramEnd& end) {
            ADD_FAILURE() << end.message;
        }
        EXPECT_TRUE(script_backend()->events().empty());
        EXPECT_DOUBLE_EQ(G.WAVE1, 0.7093);
        EXPECT_EQ(G.NBACK, 5);
        test::end_run_in_scratch_dir(dir);
    }
}

// From the shell: the template written by the program reduces the CAD4
// example as well as a tuned parameter file does, near enough.
TEST(TemplateParameterFile, WrittenByTheProgramReducesAnExample) {
    if (!fs::exists(kProgram)) GTEST_SKIP() << "the program is not built";
    const fs::path dir = test::make_scratch_dir("tarnivox_template_run");
    fs::copy(kSource / "examples/cad4", dir / "cad4");
    const std::string p = quoted(kProgram) + " ";
    ASSERT_EQ(shell(p + "template-par --format cad4 --out " + quoted(dir / "t.par")).status, 0);
    EXPECT_EQ(shell(p + "template-par --format nosuch 2>&1").status, 2);
    EXPECT_EQ(shell(p + "template-par --out " + quoted(dir / "missing/t.par") + " 2>&1").status, 2);
    // An existing file is replaced only with --force, and never a link, a pipe or a device.
    const std::string data = test::read_text(dir / "cad4/cad4.dat");
    EXPECT_EQ(shell(p + "template-par --out " + quoted(dir / "cad4/cad4.dat") + " 2>&1").status, 2);
    fs::create_symlink(dir / "cad4/cad4.dat", dir / "link.par");
    EXPECT_EQ(shell(p + "template-par --force --out " + quoted(dir / "link.par") + " 2>&1").status, 2);
    EXPECT_EQ(test::read_text(dir / "cad4/cad4.dat"), data);
    ASSERT_EQ(::mkfifo((dir / "fifo.par").c_str(), 0644), 0);
    EXPECT_EQ(shell("timeout 10 " + p + "template-par --force --out " + quoted(dir / "fifo.par") + " 2>&1").status, 2);
    EXPECT_EQ(shell(p + "template-par --format cad4 --force --out " + quoted(dir / "t.par")).status, 0);
    const Outcome o = shell(p + "reduce " + quoted(dir / "cad4/cad4.dat") + " --format cad4 --quiet --par " +
                            quoted(dir / "t.par") + " --json " + quoted(dir / "t.json") + " 2>&1");
    ASSERT_EQ(o.status, 0) << o.out;
    const json counts = json::parse(test::read_text(dir / "t.json"))["runs"][0]["counts"];
    EXPECT_EQ(counts["fitted"], 29);
    EXPECT_GE(counts["passed"].get<int>(), 18);
    fs::remove_all(dir);
}

// The completion comes from the parser: bash offers what the parser takes.
TEST(Completion, OffersTheSubcommandsOptionsAndValuesOfTheCommandLine) {
    if (!fs::exists(kProgram)) GTEST_SKIP() << "the program is not built";
    const fs::path dir = test::make_scratch_dir("tarnivox_completion");
    const fs::path script = dir / "tarnivox.bash";
    ASSERT_EQ(shell(quoted(kProgram) + " completion bash > " + quoted(script)).status, 0);
    const auto complete = [&](const std::string& words) {
        const std::string cmd = "bash -c 'source " + script.string() + "; COMP_WORDS=(" + words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                "_tarnivox; printf \"%s \" \"${COMPREPLY[@]}\"'";
        return shell(cmd).out;
    };
    EXPECT_EQ(complete("tarnivox reduce --fo"), "--format --form ");
    EXPECT_EQ(complete("tarnivox reduce a.dat --format c"), "cad4 ");
    EXPECT_EQ(complete("tarnivox reduce a.dat --form rfine"), "rfine rfine-extended ");
    EXPECT_EQ(complete("tarnivox reduce --symmetry c"), "cubic ");
    EXPECT_EQ(complete("tarnivox te"), "template-par ");
    EXPECT_EQ(complete("tarnivox template-par --format st"), "standard stoe ");
    // Names with blanks stay whole; --plots takes a folder, --laue a Laue class.
    fs::create_directory(dir / "my data");
    std::ofstream(dir / "my file.dat") << "x";
    EXPECT_EQ(complete("tarnivox reduce \"" + (dir / "my f").string() + "\""), (dir / "my file.dat").string() + " ");
    EXPECT_EQ(complete("tarnivox reduce --plots " + (dir / "my").string()), (dir / "my data").string() + " ");
    EXPECT_EQ(complete("tarnivox reduce --laue 4"), "4/m 4/mmm ");
    // Every option `reduce --help` lists is offered after "--".
    const std::string help = shell(quoted(kProgram) + " reduce --help").out;
    const std::string offered = complete("tarnivox reduce x --");
    const std::regex option(R"((--[a-z][a-z-]*))");
    int n = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator();
         ++it, ++n)
        EXPECT_NE(offered.find((*it)[1].str() + " "), std::string::npos) << (*it)[1];
    EXPECT_GE(n, 15);
    fs::remove_all(dir);
}

TEST(DesktopEntry, PassesDesktopFileValidateAndNamesTheInstalledIcon) {
    const fs::path entry = kSource / "packaging/tarnivox.desktop";
    const std::string text = test::read_text(entry);
    EXPECT_NE(text.find("\nExec=tarnivox"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=tarnivox\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(kSource / "packaging/tarnivox.svg"));
    if (shell("command -v desktop-file-validate >/dev/null").status != 0)
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
    const Outcome o = shell("desktop-file-validate " + quoted(entry) + " 2>&1");
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(o.out, "");
}

}  // namespace
}  // namespace tarnivox
