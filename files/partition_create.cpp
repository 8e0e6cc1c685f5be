#include "files/partition_create.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "common/format.h"
#include "disk/disk_record.h"
#include "files/partition_target.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr const char* kNotRawText = "Use ChangeDisk() or Partition_Delete() then try again.";
constexpr int64_t kMaxSizeMB = int64_t(1) << 32;  // 4 PiB

constexpr ArgSpec kSpecs[] = {
    {"SizeMB", "Size", ArgType::Number, "0", 0, kMaxSizeMB},
    {"FileSystem", "FS", ArgType::Text, ""},
    {"Letter", "DriveLetter", ArgType::Text, ""},
    {"Style", "Scheme|PartitionStyle", ArgType::Text, "GPT"},
    {"Label", "VolumeLabel", ArgType::Text, ""},
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out.empty() ? "none" : out;
}

// The request the arguments describe; raises -2 and gives nullopt when one
// of them names nothing this machine can do.
std::optional<NewPartition> read_request(int slot, const CommandArgs& a, const std::vector<std::string>& systems) {
    NewPartition r;
    const std::string style = upper(a.text("Style"));
    if (style == "GPT") {
        r.scheme = PartitionScheme::Gpt;
    } else if (style == "MBR") {
        r.scheme = PartitionScheme::Mbr;
    } else {
        raise_error(slot, kErrParam, "Style must be GPT or MBR");
        return std::nullopt;
    }
    r.size_bytes = static_cast<uint64_t>(a.number("SizeMB")) << 20;
    std::string fs = upper(a.text("FileSystem"));
    if (!a.given("FileSystem") || fs.empty()) fs = systems.empty() ? std::string() : systems.front();
    if (fs == "NONE" || fs == "RAW") {
        fs.clear();
    } else if (std::find(systems.begin(), systems.end(), fs) == systems.end()) {
        raise_error(slot, kErrParam, "FileSystem " + (fs.empty() ? std::string("(none)") : fs) +
                                         " cannot be made on this machine (it makes: " + joined(systems) + ", NONE)");
        return std::nullopt;
    }
    r.file_system = fs;
    std::string letter = upper(a.text("Letter"));
    if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
    if (letter.size() > 1 || (letter.size() == 1 && (letter[0] < 'D' || letter[0] > 'Z'))) {
        raise_error(slot, kErrParam, "Letter must be one of D to Z");
        return std::nullopt;
    }
    r.letter = letter.empty() ? 0 : letter[0];
    r.label = a.text("Label");
    return r;
}

}  // namespace

void cmd_Partition_Create(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    PartitionTables& tables = partition_tables();
    const std::optional<NewPartition> request = read_request(slot, *a, tables.file_systems());
    if (!request) return;
    const std::optional<std::string> disk = partition_disk_path(slot);
    if (!disk) return;
    const std::optional<PartitionLayout> layout = read_partitions(slot, *disk);
    if (!layout || !table_may_change(slot, *disk, *layout, kErrPartitionControl)) return;
    if (!current_target().raw_flag || !layout->partitions.empty()) {
        raise_error(slot, kErrRawModeOnly, kNotRawText);
        return;
    }
    uint32_t number = 0;
    std::string error;
    if (!tables.create(*disk, *request, number, error)) {
        raise_error(slot, kErrPartitionControl, error);
        take_up_disk_change(slot, *disk);
        return;
    }
    log_text(slot, fmt("%-26s: %s", "Partition Style", scheme_name(request->scheme)));
    log_text(slot, fmt("%-26s: %d", "New Partition", number));
    if (!request->file_system.empty()) {
        log_text(slot, fmt("Format partition %d as %s ...", number, request->file_system), colour::kCyan);
        if (!tables.format(*disk, number, *request, error)) {
            raise_error(slot, kErrFormat, error);
            take_up_disk_change(slot, *disk);
            return;
        }
    }
    log_text(slot, fmt("%-26s: %s", "File System", request->file_system.empty() ? "RAW" : request->file_system));
    take_up_disk_change(slot, *disk);
    set_result_number(slot, name, number);
}

}  // namespace tb
