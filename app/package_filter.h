// The package's disk restriction: which disks a packaged script may test.
// Every discovered disk is checked before it is offered for selection; one
// that fails is neither listed nor accepted as a target.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

// What the restriction looks at of a discovered disk.
struct DiskIdentity {
    // Model string as read for the filter: the ATA IDENTIFY model, the NVMe
    // IDENTIFY CONTROLLER model number, or "UNKNOW" when neither applies.
    std::string model;
    // False when the identify command for the model failed.
    bool model_read = true;
    // SoC identifier from the vendor identification; 0 = not read or not one
    // of the maker's controllers, -1 = identification failed.
    int64_t soc_id = 0;
    // Access protocol: 1 ATA, 2 USBATA, 10..17 the NVMe family (15 ASM2364).
    int access_protocol = 0;
};

// ProtocolType values.
enum PackageProtocolFilter : int { kProtocolAll = 0, kProtocolSata = 1, kProtocolNvme = 2 };

// "ALL" 0, "SATA" 1, "NVME" 2 (any case); anything else 0.
int parse_protocol_filter(std::string_view value);
// DiskType: 0 for "Drive" (any case), else 1.
int parse_disk_type(std::string_view value);

// The model filter alone: `model_filter` empty or "**" accepts every disk;
// otherwise the disk's model, blanks trimmed, must occur in it
// (case-sensitive), so several models may be listed separated by ';'.
bool model_filter_accepts(std::string_view model_filter, const DiskIdentity& disk);
// The controller filter alone: -1 fails; "*", "_WithOutDrv" accept every
// disk; "KORVANTE" accepts SoC identifiers above 0; any other value accepts
// the disk when its identifier written "%04X" occurs in it.
bool soc_filter_accepts(std::string_view soc_filter, const DiskIdentity& disk);
// The protocol filter of the disk list: SATA keeps protocols 1-2, NVME keeps
// 10..17 except 15 (behind the ASM2364 bridge), ALL keeps every disk.
bool protocol_filter_accepts(int protocol_filter, const DiskIdentity& disk);

// The package restriction: the model filter, then (unless the model filter
// is "**") the controller filter.
bool package_accepts_disk(std::string_view model_filter, std::string_view soc_filter,
                          const DiskIdentity& disk);

// Start-up: whether a word of the NoDiskCmd list (comma-separated, at most
// 16 words), followed by '$', occurs in the sub-parameter list.
bool no_disk_command_requested(std::string_view no_disk_cmd, std::string_view sub_params);

// The model filter in force after start-up: "**" when SOCID is
// "_WithOutDrv" or a NoDiskCmd word was given, else ModelName.
std::string effective_model_filter(std::string_view model_name, std::string_view soc_filter,
                                   std::string_view no_disk_cmd, std::string_view sub_params);

}  // namespace tb
