// Every #include "..." of the tree against the layer table of README.md,
// read from the README itself so that the table and the tree cannot drift
// apart: the includes of shipped code run down the layers, never up; the
// folders that may use less than their layer list what they may use; and
// shipped code never includes test code. Tests may include anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zelvan_tts {
namespace {

namespace fs = std::filesystem;

struct LayerTable {
    std::map<std::string, int> layer;                           // "engine/" -> 4
    std::map<std::string, std::vector<std::string>> only;  // "client/" -> "text/", "core/settings.h"
};

// The backquoted names of a table cell.
std::vector<std::string> quoted(const std::string& cell) {
    std::vector<std::string> out;
    static const std::regex name("`([^`]+)`");
    for (auto it = std::sregex_iterator(cell.begin(), cell.end(), name);
         it != std::sregex_iterator(); ++it) {
        out.push_back((*it)[1]);
    }
    return out;
}

// The rows under the header line that starts with `header`: first cell, second cell.
std::vector<std::pair<std::string, std::string>> table_rows(const std::string& text,
                                                            const std::string& header) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::istringstream in(text);
    std::string line;
    bool inside = false;
    static const std::regex row(R"(^\|\s*([^|]*?)\s*\|\s*([^|]*?)\s*\|\s*$)");
    while (std::getline(in, line)) {
        if (!inside) {
            inside = line.rfind(header, 0) == 0;
            continue;
        }
        std::smatch m;
        if (!std::regex_match(line, m, row)) break;
        if (m[1].str().find("---") == std::string::npos) rows.emplace_back(m[1], m[2]);
    }
    return rows;
}

LayerTable read_layer_table(const std::string& readme) {
    LayerTable table;
    for (const auto& [layer, folders] : table_rows(readme, "| layer | folders |"))
        for (const std::string& folder : quoted(folders)) table.layer[folder] = std::stoi(layer);
    for (const auto& [folder, allowed] : table_rows(readme, "| folder | includes only |"))
        for (const std::string& name : quoted(folder)) table.only[name] = quoted(allowed);
    return table;
}

// The folder that places a file in the table: its first path component.
std::string folder_of(const std::string& path) {
    const auto slash = path.find('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Tests, their fixtures, model builders and benchmarks, by name.
bool named_as_test_code(const std::string& path) {
    static const std::regex test_name(R"((^|/)(test_|bench_)[^/]*$|_test[._]|_fixture\.|_checks?\.)");
    const std::string folder = folder_of(path);
    return folder == "bench/" || folder == "fuzz/" || std::regex_search(path, test_name);
}

struct Include {
    std::string from;  // path of the including file, relative to the tree
    std::string to;    // as written between the quotes
    int line;
};

struct Tree {
    std::set<std::string> files;  // every source file, relative to the tree
    std::vector<Include> includes;
};

Tree read_tree(const fs::path& root) {
    Tree tree;
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    static const std::set<std::string> sources{".h", ".hpp", ".c", ".cc", ".cpp", ".in"};
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && (name[0] == '.' || name.rfind("build", 0) == 0) &&
            it.depth() == 0) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file() || sources.count(it->path().extension().string()) == 0)
            continue;
        const std::string path = fs::relative(it->path(), root).generic_string();
        if (folder_of(path).empty()) continue;
        tree.files.insert(path);
        std::ifstream in(it->path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            std::smatch m;
            if (std::regex_search(line, m, include)) tree.includes.push_back({path, m[1], number});
        }
    }
    return tree;
}

// Test code by name, and the headers that only test code includes.
std::set<std::string> test_code(const Tree& tree) {
    std::set<std::string> tests;
    for (const std::string& f : tree.files)
        if (named_as_test_code(f)) tests.insert(f);
    for (bool grew = true; grew;) {
        grew = false;
        std::map<std::string, bool> only_tests;  // header -> all its includers are tests
        for (const Include& i : tree.includes) {
            if (tree.files.count(i.to) == 0) continue;
            auto [at, fresh] = only_tests.emplace(i.to, true);
            at->second = at->second && tests.count(i.from) > 0;
        }
        for (const auto& [header, by_tests] : only_tests)
            if (by_tests && tests.insert(header).second) grew = true;
    }
    return tests;
}

TEST(IncludeLayers, EveryIncludeRunsDownTheReadmeTable) {
    const fs::path root = ZELVAN_SOURCE_DIR;
    std::ifstream readme(root / "README.md");
    const std::string text{std::istreambuf_iterator<char>(readme), std::istreambuf_iterator<char>()};
    const LayerTable table = read_layer_table(text);
    ASSERT_GE(table.layer.size(), 10u) << "no layer table in README.md";
    ASSERT_EQ(table.layer.count("engine/"), 1u);

    const Tree tree = read_tree(root);
    const std::set<std::string> tests = test_code(tree);
    std::set<std::string> unplaced;
    for (const std::string& f : tree.files)
        if (table.layer.count(folder_of(f)) == 0) unplaced.insert(folder_of(f));
    for (const std::string& folder : unplaced) ADD_FAILURE() << folder << " has no layer in README.md";

    for (const Include& i : tree.includes) {
        const std::string from = folder_of(i.from);
        const std::string to = folder_of(i.to);
        // A name of the folder itself, or of a folder outside the tree.
        if (to.empty() || to == from || !fs::is_directory(root / to)) continue;
        const std::string where = i.from + ":" + std::to_string(i.line) + " includes " + i.to;
        if (table.layer.count(to) == 0 || table.layer.count(from) == 0) continue;  // told above
        // A test may reach up to whatever it drives: fixtures, model
        // builders, the programs.
        if (tests.count(i.from) > 0) continue;
        if (tests.count(i.to) > 0) {
            ADD_FAILURE() << where << ": test code in shipped code";
            continue;
        }
        if (table.layer.at(to) > table.layer.at(from)) {
            ADD_FAILURE() << where << ": layer " << table.layer.at(to) << " above layer "
                          << table.layer.at(from);
            continue;
        }
        const auto narrow = table.only.find(from);
        if (narrow == table.only.end()) continue;
        bool allowed = false;
        for (const std::string& name : narrow->second)
            allowed = allowed || name == i.to || (name.back() == '/' && i.to.rfind(name, 0) == 0);
        if (!allowed) ADD_FAILURE() << where << ": not among what " << from << " may include";
    }
}

TEST(IncludeLayers, ReadsTheTableAsWritten) {
    const std::string readme =
        "Some text\n\n| layer | folders |\n|---|---|\n| 1 | `shared/`, `platform/` |\n"
        "| 2 | `core/` |\nNot a row\n| 9 | `later/` |\n\n"
        "| folder | includes only |\n|---|---|\n| `client/` | `text/`, `core/settings.h` |\n";
    const LayerTable table = read_layer_table(readme);
    EXPECT_EQ(table.layer, (std::map<std::string, int>{{"shared/", 1}, {"platform/", 1}, {"core/", 2}}));
    EXPECT_EQ(table.only.at("client/"), (std::vector<std::string>{"text/", "core/settings.h"}));
    for (const auto& [path, is_test] : std::vector<std::pair<std::string, bool>>{
             {"engine/pipeline_test.cpp", true}, {"tools/test_models.h", true},
             {"sapi/plugin_fixture.h", true}, {"library/c_api_checks.c", true},
             {"bench/bench_report.cpp", true}, {"platform/module_probe_test_lib.cpp", true},
             {"engine/pipeline.cpp", false}, {"core/data_files.h", false},
             {"text/contest.h", false}}) {
        EXPECT_EQ(named_as_test_code(path), is_test) << path;
    }
}

}  // namespace
}  // namespace zelvan_tts
