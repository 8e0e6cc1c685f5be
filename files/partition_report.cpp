#include "files/partition_report.h"

#include "common/format.h"

namespace tb {

namespace {

std::string line(const std::string& key, const std::string& value) {
    return fmt("%-26s: %s", key, value.empty() ? std::string("-") : value);
}

void add_partition(std::vector<std::string>& out, const PartitionEntry& p, uint32_t sector_size) {
    const std::string k = fmt("Partition%d ", p.number);
    const uint64_t bytes = p.sector_count * sector_size;
    out.push_back(line(k + "Start LBA", fmt("%I64u", p.start_sector)));
    out.push_back(line(k + "Sectors", fmt("%I64u", p.sector_count)));
    out.push_back(line(k + "Size MB", fmt("%I64u", bytes >> 20)));
    out.push_back(line(k + "Type", p.type_name.empty() ? p.type_code : p.type_name));
    out.push_back(line(k + "Type Code", p.type_code));
    out.push_back(line(k + "File System", p.file_system.empty() ? std::string("RAW") : p.file_system));
    out.push_back(line(k + "Drive Letter", p.letter ? fmt("%c:", p.letter) : std::string()));
    out.push_back(line(k + "Mount Point", p.mount_point));
}

}  // namespace

std::vector<std::string> partition_report_lines(const std::string& disk_path, const PartitionLayout& layout) {
    std::vector<std::string> out;
    out.push_back(line("Disk", disk_path));
    out.push_back(line("Partition Style", scheme_name(layout.scheme)));
    out.push_back(line("Sector Size", fmt("%u", layout.sector_size)));
    out.push_back(line("Disk Sectors", fmt("%I64u", layout.disk_sectors)));
    out.push_back(line("Partition Count", fmt("%u", static_cast<uint32_t>(layout.partitions.size()))));
    for (const PartitionEntry& p : layout.partitions) add_partition(out, p, layout.sector_size);
    return out;
}

}  // namespace tb
