// The external tools of the package's ExtCmd.ini: one section per tool,
// read into what the generated commands need. A section is taken only when
// its program exists and every value it gives can be used; anything else is
// left out, so that a bad entry never becomes a command that does the wrong
// thing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tb {

class IniFile;

// Which disk state a tool needs.
enum class ToolDiskMode { All = 0, Raw = 1, Partition = 2 };

struct ToolSection {
    std::string name;        // the section name: the command's name
    std::string program;     // the program file, as found
    std::string parameter;   // typical parameters, for the sample text
    ToolDiskMode mode = ToolDiskMode::All;
    std::string check_file;  // a file proving the tool is installed (empty: no check)
    std::string download;    // "remote path#local file and installer arguments"
    std::string base_folder; // relative paths of the section are taken from here
};

// Limits of the values a section may give.
constexpr size_t kToolNameChars = 55;      // "Is" NAME "Running" stays within 64
constexpr size_t kToolPathChars = 256;
constexpr size_t kToolValueChars = 1023;

// Whether a section name can be called as a script command.
bool usable_tool_name(std::string_view name);

// The tools of `ini`, in section order; a program path is used as written
// when that file exists, else taken relative to `base_folder`.
std::vector<ToolSection> read_tool_sections(const IniFile& ini, const std::string& base_folder);

}  // namespace tb
