#include "platform/partition_types.h"

#include <array>
#include <utility>

#include "common/text.h"

namespace tb {

namespace {

bool windows_file_system(std::string_view fs) {
    const std::string u = to_upper(fs);
    return u.empty() || u == "NTFS" || u == "EXFAT" || u == "FAT32" || u == "FAT" || u == "VFAT";
}

using Name = std::pair<std::string_view, std::string_view>;

constexpr std::array<Name, 8> kGptNames{{
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
    {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows recovery environment"},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
    {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
}};

constexpr std::array<Name, 11> kMbrNames{{
    {"07", "HPFS/NTFS/exFAT"},
    {"0B", "W95 FAT32"},
    {"0C", "W95 FAT32 (LBA)"},
    {"0E", "W95 FAT16 (LBA)"},
    {"05", "Extended"},
    {"0F", "W95 Ext'd (LBA)"},
    {"82", "Linux swap / Solaris"},
    {"83", "Linux"},
    {"8E", "Linux LVM"},
    {"EE", "GPT"},
    {"EF", "EFI (FAT-12/16/32)"},
}};

}  // namespace

std::string partition_type_for(std::string_view file_system, PartitionScheme scheme) {
    const bool windows = windows_file_system(file_system);
    const std::string u = to_upper(file_system);
    if (scheme == PartitionScheme::Mbr) {
        if (u == "FAT32" || u == "FAT" || u == "VFAT") return "0C";
        return windows ? "07" : "83";
    }
    return std::string(windows ? kGptBasicData : kGptLinuxData);
}

std::string partition_type_name(std::string_view type_code, PartitionScheme scheme) {
    const std::string code = to_upper(type_code);
    if (scheme == PartitionScheme::Gpt) {
        for (const auto& [guid, name] : kGptNames)
            if (guid == code) return std::string(name);
    } else if (scheme == PartitionScheme::Mbr) {
        for (const auto& [hex, name] : kMbrNames)
            if (hex == code) return std::string(name);
    }
    return {};
}

}  // namespace tb
