// The description of a simulated machine, read from an INI text.
//
//   [machine]
//   folder = /tmp/my-sim          ; backing files (default <temp>/tamblor-sim-<user>)
//   persist = 1                   ; keep device state (firmware, counters...) in <folder>/disk<N>.state
//   numbering = fixed             ; fixed: disk N is \\.\PHYSICALDRIVE<N> | place: the disks on the
//                                 ; system are numbered 0, 1, 2... in order (a removed disk's number
//                                 ; goes to the disk after it), as Linux numbers them
//
// The folder holds disk<N>.img, disk<N>.state and volume_<letter>/ of every
// disk. It must be private to the user running the program: it is created
// with mode 0700, and at every start it must be a real folder (no symbolic
// link) owned by the effective user and closed to group and others, and so
// must its volume folders, or the machine is refused (on Windows the folder
// is made owned by the user inside the user's own temporary folder, and an
// existing one must be owned by the user and must not be a reparse point). The images are opened
// without following symbolic links and must be regular files of that user
// with no other hard link. An image of the folder whose size no longer fits
// the disk is resized (it is the machine's own); a `file =` override that
// already exists must have the disk's size, as the machine never resizes a
// file it did not make.
//
// Every mistake in the text (an unknown section or key, a key or a disk
// given twice, a number out of range, a size that overflows, volumes larger
// than their disk...) refuses the whole file with "<file>:<line>: <reason>".
//
//   [disk1]                       ; N of [diskN] is the disk number (\\.\PHYSICALDRIVE<N>)
//   type = nvme                   ; sata | nvme | usb
//   bridge = asm2362              ; usb only: jmicron, asm2362, asm2364, rtl9210b, rtl9210, usb-sata, flash
//   inner = nvme                  ; usb only: what sits behind the bridge (follows from the bridge)
//   model = TAMBLOR SIM NVME 8G
//   serial = SIMN0000000000000001
//   firmware = SN1.0.00
//   capacity = 8GB                ; 8GB (IDEMA decimal), 8GiB, 8000000000, or sectors = 15649200
//   sector_size = 512             ; NVMe: the active LBA format's data size (512 or 4096)
//   volumes = C D:2GiB:1GiB:unaligned   ; letter[:total[:free[:unaligned]]]
//   volume_image = D:/path/ntfs.img     ; letter:image file (mkfs.ntfs, mkfs.ext4...): the volume starts
//                                       ; as a copy of the image at every start of the machine (the image
//                                       ; itself is only read); its size is the volume's unless given
//   service = stornvme            ; parent driver; another one makes the disk an NVMe miniport disk
//   bus = nvme                    ; override: sata, sas, usb, nvme, raid, scsi
//   pci = 2:0.0                   ; NVMe: bus:device.function
//   usb = 1.3                     ; USB: host controller.hub ports....port
//   scsi_port = 1   path_id = 0   target = 0   lun = 0
//   write_cache = 1   cache_size = 64MiB
//   vid = 0x1F9A   ssvid = 0x1F9A   ; NVMe PCI ids
//   fw_slots = 3   slot1_readonly = 0   activate_without_reset = 1
//   vendor_log = 0xE1             ; vendor log pages answered (comma list)
//   power_on_hours = 1200   power_cycles = 50   unsafe_shutdowns = 3   temperature = 35
//   security_frozen = 0           ; ATA: frozen after every power-on
//   trim = 1                      ; 0: no deallocation (NVMe ONCS bit 2, ATA word 169 bit 0 clear; trims refused)
//   bridge_signature = 1          ; 0: the bridge's INQUIRY carries no chip marks (detection must probe)
//   signature = 0x3035            ; INQUIRY bytes 36-37 override
//   present = 1                   ; plugged in at start
//   reconnect = 1                 ; 0: once disabled or removed, enabling or a rescan does not bring it back (only a replug)
//   file = /path/disk1.img        ; backing file override
//   pattern_images = 1            ; identify and SMART data with a distinct value in every field
//
// The maker's vendor command set (see sim_vendor.h):
//   vendor = 1                    ; NVMe: 1 | 192 | 0, the generation spoken; SATA: ata; none (default)
//                                 ; refuses every vendor command with Invalid Opcode / ABORT
//   vendor_soc = 0x2262           ; SoC identifier (drive information, log page 0xE1, ...)
//   vendor_rom = 1                ; start in ROM mode (capacity 0) until a force firmware mode
//   vendor_e1 = 1                 ; log page 0xE1 with 0x5A (default: 1 under selector 1, else absent)
//   vendor_mpinfo = 1768          ; manufacturing record form: 1768 (full), 4096, none (refused)
//   vendor_drive_info = 1         ; 0: the drive information command is refused
//   vendor_id_byte256 = 1         ; Identify Controller byte 256 bit 1 (default: as the controller has it, set)
//   vendor_lock = 0               ; NVMe, 1: vendor commands only after "enable vendor mode" (until power-off)
//   vendor_word = 256             ; the size figure at byte 300 of the manufacturing record
//
// Faults of the medium, on every path that reaches it (the workloads' block
// I/O, NVMe and ATA commands, through bridges); see fault_rules.h:
//   corrupt_writes = 3 @ 0-20479  ; count or chance (1%), optionally @ an inclusive LBA range
//   drop_writes = 1   misdirect_writes = 2 @ 0-1023   stale_reads = 1% @ 0-99   read_errors = 2 @ 50-50
//   fault_seed = 7                ; the seed of every random choice of the disk's faults (default 1)
//   power_loss_after_writes = 500 ; lose power right after that many write commands
//   power_loss_at_ms = 1500       ; lose power at the first command that long after the start
//   power_loss_unflushed = lost   ; lost (every unflushed write) | random (each one landed or not)
//
// The disks' supply (a power hub, a USB relay): [hub], [relay] and the disk
// key `power = hub:1 | relay | none`; see sim_power_config.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/fault_rules.h"
#include "platform/sim/sim_power_config.h"
#include "platform/sim/sim_vendor_config.h"

namespace tb::sim {

enum class DiskType { Sata, Nvme, Usb };
enum class BridgeKind { None, JMicron, Asm2362, Asm2364, Rtl9210B, Rtl9210, UsbSata, Flash };
enum class InnerKind { Ata, Nvme, Block };

struct VolumeConfig {
    char letter = 'C';
    uint64_t total_bytes = 0;  // 0: a share of the disk
    uint64_t free_bytes = 0;   // 0: half of the total
    bool aligned_4k = true;
    std::string image;         // a file-system image the volume starts as (empty: none)
};

// A `volume_image =` line before it is matched with its volume.
struct VolumeImage {
    char letter = 0;
    std::string path;
    int line = 0;
};

struct DiskConfig {
    uint32_t number = 0;
    DiskType type = DiskType::Sata;
    BridgeKind bridge = BridgeKind::None;
    std::string model;
    std::string serial;
    std::string firmware;
    uint64_t capacity_bytes = 0;
    uint32_t sector_size = 512;
    std::vector<VolumeConfig> volumes;
    std::vector<VolumeImage> volume_images;
    std::string service;      // empty: the default of the disk type
    int bus_override = -1;    // a BusType value
    uint32_t pci_bus = 0, pci_device = 0, pci_function = 0;
    std::vector<uint32_t> usb_path;  // controller, hub ports..., port
    int scsi_port = -1;       // -1: the disk number
    uint32_t path_id = 0, target = 0, lun = 0;
    bool write_cache = true;
    uint64_t cache_size = 64ull << 20;
    uint16_t vid = 0x1F9A, ssvid = 0x1F9A;
    uint32_t fw_slots = 3;
    bool slot1_readonly = false;
    bool activate_without_reset = true;
    std::vector<uint8_t> vendor_logs;
    uint64_t power_on_hours = 0;
    uint64_t power_cycles = 0;
    uint64_t unsafe_shutdowns = 0;
    int temperature_c = 35;
    bool security_frozen = false;
    bool trim = true;
    bool bridge_signature = true;
    int signature = -1;       // INQUIRY bytes 36-37 as a 16-bit value (36 high), -1: the bridge's own
    bool present = true;
    bool reconnect = true;
    std::string file;
    bool pattern_images = false;  // see sim_pattern_images.h
    SimVendorConfig vendor;
    std::vector<FaultRule> fault_rules;
    uint64_t fault_seed = 1;
    PowerLossRule power_loss;
    PowerFeed power_feed;
    // Lines of the machine file, for messages (0: not written there).
    int section_line = 0;
    int file_line = 0;
    int volumes_line = 0;

    InnerKind inner() const;
    // Whether the disk sits on the USB bus behind a bridge.
    bool behind_bridge() const { return type == DiskType::Usb; }
};

struct SimConfig {
    std::string folder;
    bool persist = true;
    bool number_by_place = false;   // numbering = place
    std::vector<DiskConfig> disks;  // sorted by number
    SimPowerConfig power;
    std::string source;   // the machine file's name, for messages (empty: a text of the program)
    int folder_line = 0;  // the line of `folder =`
};

// Parses an INI text; nullopt with "<source>:<line>: <reason>" on the first
// mistake ("line <n>: <reason>" without a source).
std::optional<SimConfig> parse_sim_config(const std::string& text, std::string* error = nullptr,
                                          const std::string& source = {});
// Reads a file; nullopt with a message when unreadable or bad.
std::optional<SimConfig> load_sim_config(const std::string& path, std::string* error = nullptr);
// The built-in machine: disk 0 a SATA system disk (C:), disk 1 a raw NVMe SSD on
// the inbox driver, disk 2 an NVMe SSD behind an ASM2362 bridge, disk 3 a SATA
// SSD behind a USB-SATA bridge.
SimConfig default_sim_config();
const char* default_sim_config_text();
// <temp folder>/tamblor-sim-<user tag>: $TMPDIR (or /tmp) and the effective
// user id on Linux, the user's temporary folder and SID on Windows.
std::string default_sim_folder();
// "<source>:<line>: ", "<source>: " or "line <n>: " to put before a message
// about the machine described by `config`.
std::string config_place(const SimConfig& config, int line);

// "8GB" (IDEMA LBA count for 512-byte sectors), "8GiB", "64MiB", "4096", "1T"...
std::optional<uint64_t> parse_size(const std::string& text, uint32_t sector_size = 512);

}  // namespace tb::sim
