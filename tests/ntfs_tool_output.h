// Reading what the NTFS commands print and what the ntfs-3g tools print, for
// the tests that hold one against the other.
#pragma once

#include <cstdint>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace tb::test {

// One row of GetFileLBA's table, in bytes and LBAs.
struct MapRow {
    uint64_t file_offset = 0;
    uint64_t lba = 0;
    uint64_t length = 0;
    bool operator==(const MapRow&) const = default;
};

// What GetFileByLBA said about one sector.
struct OwnerAnswer {
    uint64_t lba = 0;
    bool found = false;
    bool mft_area = false;
    uint64_t record = 0;
    std::string path;
};

inline std::vector<std::string> output_lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// The table rows GetFileLBA printed after each "MAP <name>" line of the script.
inline std::vector<std::pair<std::string, std::vector<MapRow>>> map_tables(const std::string& output) {
    std::vector<std::pair<std::string, std::vector<MapRow>>> out;
    const std::regex row("Area[0-9]+ +: 0x([0-9A-F]+) +\\| 0x([0-9A-F]+) +\\| ([0-9]+)");
    const std::regex name("MAP (.+)$");
    for (const std::string& line : output_lines(output)) {
        std::smatch m;
        if (std::regex_search(line, m, name)) out.push_back({m[1].str(), {}});
        else if (!out.empty() && std::regex_search(line, m, row))
            out.back().second.push_back({std::stoull(m[1].str(), nullptr, 16), std::stoull(m[2].str(), nullptr, 16),
                                         std::stoull(m[3].str())});
    }
    return out;
}

// Every GetFileByLBA answer, in order.
inline std::vector<OwnerAnswer> owner_answers(const std::string& output) {
    std::vector<OwnerAnswer> out;
    const std::regex target("Search Target VLBA:0x[0-9A-F]+  \\(LBA:0x([0-9A-F]+)\\)");
    const std::regex run("Found MftItem in Attribute RunList \\(MftId:0x([0-9A-F]+)\\)");
    const std::regex mft("Found MftItem \\(MftId:0x([0-9A-F]+)\\)");
    const std::regex path("Found LBA:0x[0-9A-F]+ in Path: (.*)$");
    for (const std::string& line : output_lines(output)) {
        std::smatch m;
        if (std::regex_search(line, m, target)) {
            out.push_back({});
            out.back().lba = std::stoull(m[1].str(), nullptr, 16);
        } else if (out.empty()) {
            continue;
        } else if (std::regex_search(line, m, run)) {
            out.back().found = true;
            out.back().record = std::stoull(m[1].str(), nullptr, 16);
        } else if (std::regex_search(line, m, mft)) {
            out.back().found = out.back().mft_area = true;
            out.back().record = std::stoull(m[1].str(), nullptr, 16);
        } else if (std::regex_search(line, m, path)) {
            out.back().path = m[1].str();
        }
    }
    return out;
}

// ntfscluster --sector: the inode and path it names ("Inode 66 /f10.bin"),
// nullopt for "no inode found".
struct ToolOwner {
    uint64_t inode = 0;
    std::string path;
};
inline std::optional<ToolOwner> ntfscluster_owner(const std::string& output) {
    std::smatch m;
    if (!std::regex_search(output, m, std::regex("Inode ([0-9]+) ([^\\n]*)"))) return std::nullopt;
    return ToolOwner{std::stoull(m[1].str()), m[2].str()};
}

// ntfscluster --filename: the runs of the unnamed $DATA (VCN, LCN, length).
struct ToolRun {
    uint64_t vcn = 0;
    int64_t lcn = 0;
    uint64_t clusters = 0;
};
inline std::vector<ToolRun> ntfscluster_runs(const std::string& output) {
    std::vector<ToolRun> out;
    bool in_data = false;
    const std::regex run("^ +([0-9]+) +(-?[0-9]+) +([0-9]+)$");
    for (const std::string& line : output_lines(output)) {
        if (line.find("0x80 - non-resident") != std::string::npos) {
            in_data = line.find("(") == std::string::npos;  // a named stream carries its name
            continue;
        }
        if (line.find(" - ") != std::string::npos) in_data = false;
        std::smatch m;
        if (in_data && std::regex_search(line, m, run))
            out.push_back({std::stoull(m[1].str()), std::stoll(m[2].str()), std::stoull(m[3].str())});
    }
    return out;
}

}  // namespace tb::test
