#include "platform/linux/linux_partition_table.h"

#include <fcntl.h>
#include <libfdisk.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/linux/linux_discovery.h"
#include "platform/linux/partition_loop_window.h"
#include "platform/linux/unique_fd.h"
#include "platform/partition_file_system.h"
#include "platform/partition_mkfs.h"
#include "platform/partition_on_disk.h"
#include "platform/partition_types.h"

namespace tb::linuxdisk {

namespace {

namespace fs = std::filesystem;

struct ContextFree {
    void operator()(fdisk_context* c) const { fdisk_unref_context(c); }
};
struct TableFree {
    void operator()(fdisk_table* t) const { fdisk_unref_table(t); }
};
struct PartitionFree {
    void operator()(fdisk_partition* p) const { fdisk_unref_partition(p); }
};
struct TypeFree {
    void operator()(fdisk_parttype* t) const { fdisk_unref_parttype(t); }
};
using Context = std::unique_ptr<fdisk_context, ContextFree>;

std::string failure(const std::string& what, int rc) { return what + ": " + std::strerror(rc < 0 ? -rc : rc); }

Context open_context(const std::string& node, bool read_only, std::string& error) {
    Context c(fdisk_new_context());
    if (!c) {
        error = "libfdisk cannot make a context";
        return nullptr;
    }
    fdisk_disable_dialogs(c.get(), 1);
    if (const int rc = fdisk_assign_device(c.get(), node.c_str(), read_only ? 1 : 0); rc != 0) {
        error = failure("Cannot open " + node, rc);
        return nullptr;
    }
    return c;
}

PartitionScheme scheme_of(fdisk_context* c) {
    if (!fdisk_has_label(c)) return PartitionScheme::None;
    if (fdisk_is_labeltype(c, FDISK_DISKLABEL_GPT)) return PartitionScheme::Gpt;
    if (fdisk_is_labeltype(c, FDISK_DISKLABEL_DOS)) return PartitionScheme::Mbr;
    return PartitionScheme::None;
}

std::string type_code(fdisk_parttype* t, PartitionScheme scheme) {
    if (!t) return {};
    if (scheme == PartitionScheme::Mbr) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", fdisk_parttype_get_code(t) & 0xFF);
        return hex;
    }
    std::string s = fdisk_parttype_get_string(t) ? fdisk_parttype_get_string(t) : "";
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

std::string probe_at(const std::string& node, uint64_t offset) {
    UniqueFd fd(::open(node.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return {};
    std::vector<uint8_t> start(kFileSystemProbeBytes, 0);
    const ssize_t got = ::pread(fd.get(), start.data(), start.size(), static_cast<off_t>(offset));
    if (got <= 0) return {};
    start.resize(static_cast<size_t>(got));
    return probe_file_system(start);
}

// The discovered disk whose device node is `node`.
const LinuxDisk* disk_of(const std::vector<LinuxDisk>& disks, const std::string& node) {
    std::error_code ec;
    const fs::path real = fs::canonical(node, ec);
    for (const LinuxDisk& d : disks)
        if (("/dev/" + d.name) == node || (!ec && fs::canonical("/dev/" + d.name, ec) == real)) return &d;
    return nullptr;
}

bool has_holders(const std::string& disk, const std::string& part) {
    std::error_code ec;
    fs::directory_iterator it("/sys/block/" + disk + "/" + part + "/holders", ec);
    return !ec && it != fs::directory_iterator();
}

void add_mounts(const std::string& node, PartitionLayout& layout) {
    const std::vector<LinuxDisk> disks = scan_disks(SystemRoots{});
    const LinuxDisk* disk = disk_of(disks, node);
    if (!disk) return;
    for (PartitionEntry& p : layout.partitions) {
        for (const LinuxPartition& lp : disk->partitions) {
            if (lp.number != p.number) continue;
            p.mount_point = lp.mount_point;
            p.letter = lp.letter;
            p.in_use = !lp.mount_point.empty() || has_holders(disk->name, lp.name);
        }
    }
}

// Tells the kernel the table changed; a device it cannot re-read (a loop
// device without partition scanning) is no failure.
void reread(const std::string& node) {
    UniqueFd fd(::open(node.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return;
    ::fsync(fd.get());
    ::ioctl(fd.get(), BLKRRPART);
}

// The kernel's node of partition `number` of `node`, waiting a little for
// it to appear; empty when the kernel has no such partition.
std::string partition_node(const std::string& node, uint32_t number) {
    const std::string disk = fs::path(node).filename().string();
    const fs::path block = "/sys/class/block/" + disk;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(block, ec)) {
        std::error_code ec2;
        if (!fs::exists(entry.path() / "partition", ec2)) continue;
        std::FILE* f = std::fopen((entry.path() / "partition").c_str(), "r");
        unsigned n = 0;
        const bool read = f && std::fscanf(f, "%u", &n) == 1;
        if (f) std::fclose(f);
        if (!read || n != number) continue;
        const std::string part = "/dev/" + entry.path().filename().string();
        for (int i = 0; i < 20 && !fs::exists(part, ec2); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return fs::exists(part, ec2) ? part : std::string();
    }
    return {};
}

bool set_type(fdisk_context* c, fdisk_partition* pa, const std::string& code, std::string& error) {
    std::unique_ptr<fdisk_parttype, TypeFree> type(fdisk_label_parse_parttype(fdisk_get_label(c, nullptr), code.c_str()));
    if (!type) {
        error = "libfdisk does not know the partition type " + code;
        return false;
    }
    return fdisk_partition_set_type(pa, type.get()) == 0;
}

}  // namespace

bool read_partition_layout(const std::string& node, PartitionLayout& out, std::string& error) {
    out = PartitionLayout{};
    Context c = open_context(node, true, error);
    if (!c) return false;
    out.sector_size = static_cast<uint32_t>(fdisk_get_sector_size(c.get()));
    out.disk_sectors = fdisk_get_nsectors(c.get());
    out.scheme = scheme_of(c.get());
    if (out.scheme == PartitionScheme::None) return true;
    fdisk_table* raw = nullptr;
    if (const int rc = fdisk_get_partitions(c.get(), &raw); rc != 0) {
        error = failure("Cannot read the partitions of " + node, rc);
        return false;
    }
    std::unique_ptr<fdisk_table, TableFree> table(raw);
    for (size_t i = 0; i < fdisk_table_get_nents(table.get()); ++i) {
        fdisk_partition* pa = fdisk_table_get_partition(table.get(), i);
        if (!pa || !fdisk_partition_is_used(pa)) continue;
        PartitionEntry p;
        p.number = static_cast<uint32_t>(fdisk_partition_get_partno(pa) + 1);
        p.start_sector = fdisk_partition_get_start(pa);
        p.sector_count = fdisk_partition_get_size(pa);
        fdisk_parttype* t = fdisk_partition_get_type(pa);
        p.type_code = type_code(t, out.scheme);
        p.type_name = partition_type_name(p.type_code, out.scheme);
        if (p.type_name.empty() && t && fdisk_parttype_get_name(t)) p.type_name = fdisk_parttype_get_name(t);
        p.file_system = probe_at(node, p.start_sector * out.sector_size);
        out.partitions.push_back(p);
    }
    add_mounts(node, out);
    return true;
}

bool create_partition_table(const std::string& node, const NewPartition& request, uint32_t& number,
                            std::string& error) {
    if (request.scheme == PartitionScheme::None) {
        error = "No partition scheme";
        return false;
    }
    Context c = open_context(node, false, error);
    if (!c) return false;
    fdisk_enable_wipe(c.get(), 1);  // old file-system and table signatures go
    const char* label = request.scheme == PartitionScheme::Gpt ? "gpt" : "dos";
    if (const int rc = fdisk_create_disklabel(c.get(), label); rc != 0) {
        error = failure(std::string("Cannot make a ") + scheme_name(request.scheme) + " table", rc);
        return false;
    }
    std::unique_ptr<fdisk_partition, PartitionFree> pa(fdisk_new_partition());
    fdisk_partition_start_follow_default(pa.get(), 1);
    fdisk_partition_partno_follow_default(pa.get(), 1);
    if (request.size_bytes == 0) {
        fdisk_partition_end_follow_default(pa.get(), 1);
    } else {
        const uint64_t ss = fdisk_get_sector_size(c.get());
        fdisk_partition_set_size(pa.get(), (request.size_bytes + ss - 1) / ss);
    }
    if (!set_type(c.get(), pa.get(), partition_type_for(request.file_system, request.scheme), error)) return false;
    size_t partno = 0;
    if (const int rc = fdisk_add_partition(c.get(), pa.get(), &partno); rc != 0) {
        error = failure("The partition does not fit on the disk", rc);
        return false;
    }
    if (const int rc = fdisk_write_disklabel(c.get()); rc != 0) {
        error = failure("Cannot write the partition table", rc);
        return false;
    }
    if (const int rc = fdisk_deassign_device(c.get(), 0); rc != 0) {
        error = failure("Cannot close " + node, rc);
        return false;
    }
    reread(node);
    number = static_cast<uint32_t>(partno + 1);
    return true;
}

bool format_partition(const std::string& node, uint32_t number, const NewPartition& request, std::string& error) {
    PartitionLayout layout;
    if (!read_partition_layout(node, layout, error)) return false;
    const PartitionEntry* part = nullptr;
    for (const PartitionEntry& p : layout.partitions)
        if (p.number == number) part = &p;
    if (!part) {
        error = "No partition " + std::to_string(number) + " on " + node;
        return false;
    }
    const std::string own = partition_node(node, number);
    std::unique_ptr<LoopWindow> window;
    std::string target = own;
    if (target.empty()) {
        window = std::make_unique<LoopWindow>(node, part->start_sector * layout.sector_size,
                                              part->sector_count * layout.sector_size);
        if (!window->ok()) {
            error = window->error();
            return false;
        }
        target = window->path();
    }
    const std::vector<std::string> argv = mkfs_command(request.file_system, target, request.label, part->start_sector);
    if (argv.empty()) {
        error = "No " + mkfs_program(request.file_system) + " on this machine to make " + request.file_system;
        return false;
    }
    return run_mkfs(argv, error);
}

bool remove_partition_table(const std::string& node, std::string& error) {
    PartitionLayout layout;
    if (!read_partition_layout(node, layout, error)) return false;
    UniqueFd fd(::open(node.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd) {
        error = "Cannot open " + node + ": " + std::strerror(errno);
        return false;
    }
    const uint32_t ss = layout.sector_size;
    for (const auto& [first, count] : table_sectors(ss, layout.disk_sectors)) {
        const std::vector<uint8_t> zeros(static_cast<size_t>(count) * ss, 0);
        if (::pwrite(fd.get(), zeros.data(), zeros.size(), static_cast<off_t>(first * ss)) !=
            static_cast<ssize_t>(zeros.size())) {
            error = "Cannot clear the partition table of " + node + ": " + std::strerror(errno);
            return false;
        }
    }
    if (::fsync(fd.get()) != 0) {
        error = "Cannot sync " + node + ": " + std::strerror(errno);
        return false;
    }
    fd.reset();
    reread(node);
    return true;
}

}  // namespace tb::linuxdisk
