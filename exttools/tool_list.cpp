#include "exttools/tool_list.h"

#include <cctype>
#include <optional>

#include "common/ini_file.h"
#include "common/text.h"
#include "platform/paths.h"

namespace tb {

namespace {

std::optional<ToolDiskMode> disk_mode(std::string_view text) {
    if (text.empty() || iequals(text, "ALL")) return ToolDiskMode::All;
    if (iequals(text, "RAW")) return ToolDiskMode::Raw;
    if (iequals(text, "PARTITION")) return ToolDiskMode::Partition;
    return std::nullopt;  // a typo must not let a raw-disk tool loose on a partitioned disk
}

bool regular_file(const std::string& path) { return file_exists(path) && !folder_exists(path); }

// The program file a section names, or empty when there is none.
std::string find_program(const std::string& written, const std::string& base_folder) {
    if (written.empty()) return {};
    if (regular_file(written)) return written;
    const std::string under_base = path_join(base_folder, written);
    return regular_file(under_base) ? under_base : std::string();
}

}  // namespace

bool usable_tool_name(std::string_view name) {
    if (name.empty() || name.size() > kToolNameChars) return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

std::vector<ToolSection> read_tool_sections(const IniFile& ini, const std::string& base_folder) {
    std::vector<ToolSection> tools;
    for (const std::string& name : ini.sections()) {
        if (!usable_tool_name(name)) continue;
        bool repeated = false;
        for (const ToolSection& t : tools) repeated = repeated || iequals(t.name, name);
        if (repeated) continue;  // the first section of a name is the one read
        auto value = [&](std::string_view key) { return trim(ini.get(name, key).value_or("")); };
        ToolSection t;
        t.name = name;
        t.base_folder = base_folder;
        const std::string written = value("EXE_PATH");
        t.parameter = value("PARAMETER");
        t.check_file = value("APP_CHKEXIST");
        t.download = value("APP_DOWNLOAD");
        const auto mode = disk_mode(value("SUPPORTMODE"));
        if (!mode || written.size() > kToolPathChars || t.parameter.size() > kToolValueChars ||
            t.check_file.size() > kToolPathChars || t.download.size() > kToolValueChars)
            continue;
        t.mode = *mode;
        t.program = find_program(written, base_folder);
        if (t.program.empty() || t.program.size() > kToolPathChars) continue;
        tools.push_back(std::move(t));
    }
    return tools;
}

}  // namespace tb
