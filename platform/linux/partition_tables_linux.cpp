// The partition tables of this Linux machine's disks, named as the disk
// table names them ("\\.\PHYSICALDRIVE%d").
#include <optional>

#include "platform/linux/linux_discovery.h"
#include "platform/linux/linux_partition_table.h"
#include "platform/partition_mkfs.h"
#include "platform/partition_table.h"

namespace tb {

namespace {

std::optional<std::string> device_node(const std::string& disk_path, std::string& error) {
    const linuxdisk::SystemRoots roots;
    std::optional<std::string> node = linuxdisk::resolve_device_path(disk_path, linuxdisk::scan_disks(roots), roots);
    if (!node) error = "No such disk: " + disk_path;
    return node;
}

class LinuxPartitionTables final : public PartitionTables {
public:
    bool read(const std::string& disk_path, PartitionLayout& out, std::string& error) override {
        const auto node = device_node(disk_path, error);
        return node && linuxdisk::read_partition_layout(*node, out, error);
    }
    bool create(const std::string& disk_path, const NewPartition& request, uint32_t& number,
                std::string& error) override {
        const auto node = device_node(disk_path, error);
        return node && linuxdisk::create_partition_table(*node, request, number, error);
    }
    bool format(const std::string& disk_path, uint32_t number, const NewPartition& request,
                std::string& error) override {
        const auto node = device_node(disk_path, error);
        return node && linuxdisk::format_partition(*node, number, request, error);
    }
    bool remove(const std::string& disk_path, std::string& error) override {
        const auto node = device_node(disk_path, error);
        return node && linuxdisk::remove_partition_table(*node, error);
    }
    std::vector<std::string> file_systems() override { return installed_file_systems(); }
};

}  // namespace

std::unique_ptr<PartitionTables> make_native_partition_tables() { return std::make_unique<LinuxPartitionTables>(); }

}  // namespace tb
