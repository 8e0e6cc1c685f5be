#include "platform/sim/sim_partition_table.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/host/random_bytes.h"
#include "platform/host/temp_folder.h"
#include "platform/partition_file_system.h"
#include "platform/partition_mkfs.h"
#include "platform/partition_on_disk.h"
#include "platform/partition_types.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {

constexpr uint64_t kCopyChunk = 1ull << 20;

std::optional<uint32_t> drive_number(const std::string& path) {
    unsigned n = 0;
    char tail = 0;
    std::string upper = path;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (std::sscanf(upper.c_str(), "\\\\.\\PHYSICALDRIVE%u%c", &n, &tail) != 1) return std::nullopt;
    return n;
}

// One disk of the simulated machine as the tables need it.
struct DiskView {
    std::shared_ptr<SimDisk> disk;
    DiscoveredDisk found;
};

bool view_disk(const std::string& path, DiskView& view, std::string& error) {
    SimMachine* machine = current_sim_machine();
    const std::optional<uint32_t> number = drive_number(path);
    if (!machine || !number) {
        error = "No such disk: " + path;
        return false;
    }
    view.disk = machine->system_disk(*number);
    std::optional<DiscoveredDisk> found = view.disk ? view.disk->discovered() : std::nullopt;
    if (!found || found->length_bytes == 0) {
        error = "The disk is not on the system: " + path;
        return false;
    }
    view.found = std::move(*found);
    return true;
}

// Reads the image file itself, beside the disk's medium: looking at the
// table neither counts as the disk's reads nor meets its injected faults.
bool read_image(const std::string& path, uint64_t offset, std::vector<uint8_t>& out) {
    std::ifstream in(host_path(path), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return in.gcount() == static_cast<std::streamsize>(out.size());
}

SectorReader store_reader(BackingStore& store, uint32_t sector_size) {
    const std::string path = store.path();
    return [path, sector_size](uint64_t lba, uint32_t count, std::vector<uint8_t>& out) {
        out.assign(static_cast<size_t>(count) * sector_size, 0);
        return read_image(path, lba * sector_size, out);
    };
}

uint64_t disk_sectors(const DiskView& v) { return v.found.length_bytes / v.found.bytes_per_sector; }

bool read_image_table(DiskView& v, PartitionLayout& out, std::string& error) {
    const uint32_t ss = v.found.bytes_per_sector;
    return read_table(ss, disk_sectors(v), store_reader(v.disk->store(), ss), out, error);
}

// The volumes of the machine file, shown as the partitions of a table the
// machine holds: one after another from the first aligned sector.
void configured_layout(const DiskView& v, PartitionLayout& out) {
    const uint32_t ss = v.found.bytes_per_sector;
    out.scheme = PartitionScheme::Gpt;
    uint64_t next = aligned_first_sector(ss);
    uint32_t number = 1;
    for (const DiscoveredVolume& vol : v.found.volumes) {
        PartitionEntry p;
        p.number = number++;
        p.start_sector = next;
        p.sector_count = vol.total_bytes / ss;
        p.type_code = std::string(kGptBasicData);
        p.type_name = partition_type_name(p.type_code, PartitionScheme::Gpt);
        p.file_system = "NTFS";
        p.letter = vol.letter;
        p.mount_point = std::string(1, vol.letter) + ":\\";
        p.in_use = true;
        next += p.sector_count;
        out.partitions.push_back(p);
    }
}

std::string probe(BackingStore& store, uint64_t offset) {
    std::vector<uint8_t> start(kFileSystemProbeBytes, 0);
    if (!read_image(store.path(), offset, start)) return {};
    return probe_file_system(start);
}

Guid random_guid() {
    Guid g{};
    host::random_bytes(g.data(), g.size());
    g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);  // version 4
    g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);  // variant 1
    return g;
}

bool is_zero(const std::vector<uint8_t>& bytes, size_t n) {
    return std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), [](uint8_t b) { return b == 0; });
}

// Copies a scratch image into the disk at `offset`: the range is trimmed
// first, so only the image's non-zero pieces need writing.
bool copy_image(const std::filesystem::path& image, BackingStore& store, uint64_t offset, uint64_t length,
                std::string& error) {
    if (!store.trim(offset, length)) {
        error = "Cannot clear the partition";
        return false;
    }
    std::ifstream in(image, std::ios::binary);
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint64_t at = 0; at < length && in; at += kCopyChunk) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(std::min(kCopyChunk, length - at)));
        const size_t got = static_cast<size_t>(in.gcount());
        if (got == 0) break;
        if (is_zero(chunk, got)) continue;
        if (!store.write(offset + at, std::span<const uint8_t>(chunk.data(), got), true)) {
            error = "Cannot write the file system into the disk";
            return false;
        }
    }
    return true;
}

// A scratch image file removed with the object.
class ScratchImage {
public:
    explicit ScratchImage(uint64_t size) {
        uint32_t tag = 0;
        host::random_bytes(&tag, sizeof tag);
        path_ = host::temp_folder() / ("tamblor-sim-fs-" + std::to_string(tag) + ".img");
        std::ofstream(path_, std::ios::binary | std::ios::trunc).close();
        std::error_code ec;
        std::filesystem::resize_file(path_, size, ec);
        ok_ = !ec;
    }
    ~ScratchImage() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ScratchImage(const ScratchImage&) = delete;
    ScratchImage& operator=(const ScratchImage&) = delete;
    bool ok() const { return ok_; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool ok_ = false;
};

class SimPartitionTables final : public PartitionTables {
public:
    bool read(const std::string& disk_path, PartitionLayout& out, std::string& error) override {
        DiskView v;
        if (!view_disk(disk_path, v, error)) return false;
        if (!read_image_table(v, out, error)) return false;
        if (out.scheme == PartitionScheme::None && !v.found.volumes.empty()) {
            configured_layout(v, out);
            return true;
        }
        const uint32_t ss = v.found.bytes_per_sector;
        const std::vector<DiscoveredVolume> lettered = table_volumes(v);
        for (size_t i = 0; i < out.partitions.size(); ++i) {
            PartitionEntry& p = out.partitions[i];
            p.file_system = probe(v.disk->store(), p.start_sector * ss);
            // Discovery letters the table's partitions in their order.
            if (i < lettered.size()) {
                p.letter = lettered[i].letter;
                p.mount_point = std::string(1, p.letter) + ":\\";
            }
        }
        return true;
    }

    bool create(const std::string& disk_path, const NewPartition& request, uint32_t& number,
                std::string& error) override {
        DiskView v;
        if (!view_disk(disk_path, v, error)) return false;
        if (!v.disk->config().volumes.empty()) {
            error = "The disk's volumes are fixed by the machine file";
            return false;
        }
        TablePlan plan;
        plan.scheme = request.scheme;
        plan.sector_size = v.found.bytes_per_sector;
        plan.disk_sectors = disk_sectors(v);
        plan.size_bytes = request.size_bytes;
        plan.type_code = partition_type_for(request.file_system, request.scheme);
        plan.disk_id = random_guid();
        plan.partition_id = random_guid();
        std::vector<SectorRun> runs;
        PartitionEntry made;
        if (!build_table(plan, runs, made, error)) return false;
        if (!clear_table(v)) {
            error = "Cannot write the partition table";
            return false;
        }
        for (const SectorRun& run : runs) {
            if (!v.disk->store().write(run.lba * plan.sector_size, run.bytes, true)) {
                error = "Cannot write the partition table";
                return false;
            }
        }
        if (SimMachine* machine = current_sim_machine()) machine->set_partition_letter(v.disk->number(), request.letter);
        number = made.number;
        return true;
    }

    bool format(const std::string& disk_path, uint32_t number, const NewPartition& request,
                std::string& error) override {
        DiskView v;
        PartitionLayout layout;
        if (!view_disk(disk_path, v, error) || !read_image_table(v, layout, error)) return false;
        auto it = std::find_if(layout.partitions.begin(), layout.partitions.end(),
                               [&](const PartitionEntry& p) { return p.number == number; });
        if (it == layout.partitions.end()) {
            error = "No partition " + std::to_string(number);
            return false;
        }
        const uint64_t offset = it->start_sector * layout.sector_size;
        const uint64_t length = it->sector_count * layout.sector_size;
        ScratchImage image(length);
        if (!image.ok()) {
            error = "Cannot make a scratch image in " + host::temp_folder().string();
            return false;
        }
        const std::vector<std::string> argv =
            mkfs_command(request.file_system, image.path().string(), request.label, it->start_sector);
        if (argv.empty()) {
            error = "No " + mkfs_program(request.file_system) + " on this machine to make " + request.file_system;
            return false;
        }
        if (!run_mkfs(argv, error)) return false;
        return copy_image(image.path(), v.disk->store(), offset, length, error);
    }

    bool remove(const std::string& disk_path, std::string& error) override {
        DiskView v;
        if (!view_disk(disk_path, v, error)) return false;
        if (!v.disk->config().volumes.empty()) {
            error = "The disk's volumes are fixed by the machine file";
            return false;
        }
        if (!clear_table(v)) {
            error = "Cannot clear the partition table";
            return false;
        }
        if (SimMachine* machine = current_sim_machine()) machine->set_partition_letter(v.disk->number(), 0);
        return true;
    }

    std::vector<std::string> file_systems() override { return installed_file_systems(); }

private:
    // The volumes discovery gives the disk's table (the letters depend on
    // the other disks of the machine).
    static std::vector<DiscoveredVolume> table_volumes(const DiskView& v) {
        SimMachine* machine = current_sim_machine();
        if (!machine) return {};
        for (const DiscoveredDisk& d : machine->discover())
            if (d.native_path == v.found.native_path) return d.volumes;
        return {};
    }

    static bool clear_table(DiskView& v) {
        const uint32_t ss = v.found.bytes_per_sector;
        for (const auto& [first, count] : table_sectors(ss, disk_sectors(v))) {
            std::vector<uint8_t> zeros(static_cast<size_t>(count) * ss, 0);
            if (!v.disk->store().write(first * ss, zeros, true)) return false;
        }
        return true;
    }
};

char first_free_letter(const std::string& taken) {
    for (char c = 'D'; c <= 'Z'; ++c)
        if (taken.find(c) == std::string::npos) return c;
    return 0;
}

}  // namespace

std::unique_ptr<PartitionTables> make_sim_partition_tables() { return std::make_unique<SimPartitionTables>(); }

void add_table_volumes(SimMachine& machine, SimDisk& disk, DiscoveredDisk& found, std::string& taken) {
    for (const DiscoveredVolume& v : found.volumes) taken += v.letter;
    if (!found.volumes.empty() || found.length_bytes == 0 || found.bytes_per_sector == 0) return;
    PartitionLayout layout;
    std::string error;
    const uint32_t ss = found.bytes_per_sector;
    if (!read_table(ss, found.length_bytes / ss, store_reader(disk.store(), ss), layout, error)) return;
    if (layout.partitions.empty()) return;
    found.in_use = true;
    char asked = machine.partition_letter(disk.number());
    for (const PartitionEntry& p : layout.partitions) {
        char letter = asked && taken.find(asked) == std::string::npos ? asked : first_free_letter(taken);
        asked = 0;
        if (!letter) break;
        taken += letter;
        DiscoveredVolume v;
        v.letter = letter;
        v.total_bytes = p.sector_count * ss;
        v.free_bytes = v.total_bytes;
        v.aligned_4k = (p.start_sector * ss) % 4096 == 0;
        v.native_path = "sim:" + std::string(1, letter) + ":";
        found.volumes.push_back(v);
    }
}

}  // namespace tb::sim
