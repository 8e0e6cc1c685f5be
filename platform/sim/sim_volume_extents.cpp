#include "platform/sim/sim_volume_extents.h"

#include "common/format.h"
#include "common/text.h"
#include "files/ntfs_file_data.h"
#include "files/ntfs_lookup.h"
#include "files/ntfs_sector_reader.h"
#include "files/ntfs_volume.h"
#include "platform/sim/sim_block_storage.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_volume_layout.h"

namespace tb::sim {

namespace {

struct PlacedFile {
    uint32_t disk = 0;
    char letter = 0;
    std::string inside;  // the path inside the volume
};

// The volume a path lies on: below a volume's root folder (which may itself
// be on a drive of the host, as "C:\..."), else on the volume's drive.
std::optional<PlacedFile> place_of(SimMachine& m, const std::string& path) {
    for (uint32_t n : m.disk_numbers()) {
        for (const VolumeConfig& v : m.disk(n)->config().volumes) {
            const std::string root = fmt("%s/volume_%c", m.config().folder, v.letter);
            std::string inside = ntfs::path_inside_volume(path, root);
            if (inside != path) return PlacedFile{n, v.letter, inside};
        }
    }
    for (uint32_t n : m.disk_numbers())
        for (const VolumeConfig& v : m.disk(n)->config().volumes)
            if (path.size() >= 2 && path[1] == ':' && ascii_upper(path[0]) == v.letter)
                return PlacedFile{n, v.letter, path.substr(2)};
    return std::nullopt;
}

ExtentsStatus fail(std::string* error, ExtentsStatus status, const std::string& why) {
    if (error) *error = why;
    return status;
}

}  // namespace

ExtentsStatus sim_file_extents(SimMachine& machine, const std::string& path, FileExtents& out, std::string* error) {
    out = FileExtents{};
    const std::optional<PlacedFile> place = place_of(machine, path);
    if (!place) return fail(error, ExtentsStatus::NoFile, "no volume of the simulated machine holds " + path);
    StorageAddress address;
    address.disk_number = place->disk;
    address.volume_letter = place->letter;
    address.path = fmt("\\\\.\\%c:", place->letter);
    std::string why;
    std::unique_ptr<IoTarget> target = make_sim_block_storage()->open_disk(address, &why);
    if (!target) return fail(error, ExtentsStatus::Failed, why);
    ntfs::TargetSectorReader reader(*target);
    ntfs::Volume volume(reader);
    if (!volume.open(why))
        return fail(error, ExtentsStatus::Unsupported,
                    fmt("the simulated volume %c: carries no NTFS file system that can be walked (%s)", place->letter, why));
    uint64_t record = 0;
    switch (ntfs::find_record(volume, ntfs::path_parts(place->inside), record, why)) {
        case ntfs::LookupResult::Found: break;
        case ntfs::LookupResult::NotFound: return fail(error, ExtentsStatus::NoFile, place->inside + " is not on the volume");
        case ntfs::LookupResult::Failed: return fail(error, ExtentsStatus::Failed, why);
    }
    ntfs::FileRecord r;
    ntfs::FileData data;
    if (!volume.read_record(record, r, why)) return fail(error, ExtentsStatus::Failed, why);
    if (r.directory()) return fail(error, ExtentsStatus::Failed, place->inside + " is a folder");
    if (!ntfs::file_data(volume, r, data, why)) return fail(error, ExtentsStatus::Failed, why);
    out.file_size = data.size;
    const uint64_t start = sim_volume_start(machine, address).value_or(0);
    const uint32_t cluster = volume.geometry().cluster_size;
    for (const ntfs::Run& run : data.runs) {
        if (run.sparse()) continue;
        out.extents.push_back({run.vcn * cluster, start + static_cast<uint64_t>(run.lcn) * cluster, run.clusters * cluster});
    }
    return ExtentsStatus::Ok;
}

std::optional<uint64_t> sim_volume_start(SimMachine& machine, const StorageAddress& volume) {
    if (!volume.volume_letter) return std::nullopt;
    for (uint32_t n : machine.disk_numbers())
        if (auto at = volume_offset(machine.disk(n)->config(), volume.volume_letter)) return at;
    return std::nullopt;
}

}  // namespace tb::sim
