// The folder layering of the sources, read from their include lines: the
// engine (script/) names no subsystem, and only the platform layer and the
// program's wiring name the machine back-ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Include = std::pair<std::string, std::string>;  // (file, included path), both from the source root

const fs::path kRoot = TAMBLOR_SOURCE_DIR;

bool is_source(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".cpp" || ext == ".h";
}

// Every `#include "..."` of the sources below `folder`.
std::vector<Include> includes_under(const std::string& folder) {
    std::vector<Include> out;
    if (!fs::exists(kRoot / folder)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(kRoot / folder)) {
        if (!entry.is_regular_file() || !is_source(entry.path())) continue;
        std::ifstream in(entry.path());
        std::string file = fs::relative(entry.path(), kRoot).generic_string();
        for (std::string line; std::getline(in, line);) {
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line.compare(start, 8, "#include") != 0) continue;
            size_t open = line.find('"', start);
            size_t close = open == std::string::npos ? open : line.find('"', open + 1);
            if (close != std::string::npos) out.emplace_back(file, line.substr(open + 1, close - open - 1));
        }
    }
    return out;
}

bool starts_with(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

std::string listed(const std::vector<Include>& found) {
    std::string text;
    for (const auto& [file, inc] : found) text += "  " + file + " includes " + inc + "\n";
    return text;
}

TEST(IncludeLayering, EngineIncludesNoSubsystem) {
    const std::vector<std::string> subsystems = {"app/",    "disk/",  "workload/", "power/",
                                                 "ui/",     "vendor/", "files/",   "exttools/"};
    std::vector<Include> found;
    for (const Include& inc : includes_under("script"))
        for (const std::string& sub : subsystems)
            if (starts_with(inc.second, sub)) found.push_back(inc);
    EXPECT_TRUE(found.empty()) << listed(found);
}

TEST(IncludeLayering, OnlyPlatformAndWiringNameTheBackEnds) {
    const std::vector<std::string> folders = {"app",   "common", "disk",  "script",   "workload", "power",
                                              "ui",    "vendor", "files", "exttools", "tools",    "bench"};
    const std::set<std::string> allowed = {
        "app/wiring.cpp",
    };
    std::vector<Include> found;
    for (const std::string& folder : folders)
        for (const Include& inc : includes_under(folder))
            if ((starts_with(inc.second, "platform/sim/") || starts_with(inc.second, "platform/linux/")) &&
                !allowed.count(inc.first))
                found.push_back(inc);
    EXPECT_TRUE(found.empty()) << listed(found);
}

TEST(IncludeLayering, TheScanSeesTheSources) {
    // Guards the two checks above against a wrong source root.
    bool engine = false;
    for (const Include& inc : includes_under("script"))
        engine = engine || (inc.first == "script/interpreter.cpp" && inc.second == "script/command_table.h");
    EXPECT_TRUE(engine);
}

}  // namespace
