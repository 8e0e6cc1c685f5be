#include "disk/ata_commands.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/ata_command.h"
#include "disk/ata_identify.h"
#include "disk/ata_transport.h"
#include "disk/capacity.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "script/sync_commands.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "workload/pattern.h"

namespace tb {

namespace {

constexpr const char* kNotRawText = "Use ChangeDisk() or Partition_Delete() then try again.";
constexpr const char* kCancelText = "---- Cancel Command ----";
constexpr uint32_t kFirmwareChunk = 32768;

// ---------------------------------------------------------------------------
// Hooks and their defaults.

// Rescans and finds the current target again at its location.
bool default_refind() { return refind_current_target(); }

// Removing partitions needs the system's partitioning tool; without it a disk
// that is not RAW cannot be prepared.
int default_delete_partitions(int, DiskRecord&) { return kErrRawModeOnly; }

void default_sleep(int slot, unsigned ms) { sleep_cancellable(slot, ms); }

AtaCommandHooks g_hooks;

bool refind_target() { return (g_hooks.refind_target ? g_hooks.refind_target : default_refind)(); }
int delete_partitions(int slot, DiskRecord& target) {
    return (g_hooks.delete_partitions ? g_hooks.delete_partitions : default_delete_partitions)(slot, target);
}
void pause_ms(int slot, unsigned ms) { (g_hooks.sleep_ms ? g_hooks.sleep_ms : default_sleep)(slot, ms); }

// ---------------------------------------------------------------------------
// Shared pieces.

bool is_raw(const DiskRecord& target) { return target.raw_flag != 0; }

// Writes `data` to a new default ".Hex" file and attaches it as a shown data file.
void save_hex(int slot, std::span<const uint8_t> data, uint32_t line_colour) {
    const std::string path = output_stem(slot) + ".Hex";
    if (!write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()))) {
        raise_error(slot, kErrOutputFile, path);
        return;
    }
    attach_data_file(slot, line_colour, path, true);
}

// One echoed command; the echo goes to the log in grey. Returns the code.
int echoed_command(int slot, uint8_t command, uint16_t feature, uint16_t flags, const AtaLbaBytes& lba,
                   uint32_t count, std::span<uint8_t> data) {
    std::string echo;
    const int rc = ata_command_with_echo(command, feature, flags, lba, count, data, echo);
    log_text(slot, echo, colour::kGrey);
    return rc;
}

// One command on a freshly opened device path of the current target.
int send_on_device_path(uint8_t command, uint16_t feature, uint16_t flags, uint64_t lba,
                        std::span<uint8_t> data) {
    const DiskRecord& target = current_target();
    std::unique_ptr<DiskDevice> device = disk_platform().open(target.device_path);
    if (!device) return kErrOpenDisk;
    return send_ata(target.access_protocol, *device, make_ata_command(command, feature, flags, lba, data)) ? 1
                                                                                                         : 0;
}

// The write pattern as scripts give it: a number, or "AUTO" (random).
constexpr uint32_t kAutoPattern = kPatternAuto;

bool read_pattern(int slot, const ArgPair& pair, uint32_t& out) {
    std::string text;
    if (arg_string(slot, pair.value, text) && iequals(trim(text), "AUTO")) {
        out = kAutoPattern;
        return true;
    }
    return arg_u32(slot, pair.value, out);
}

// Read and write command codes by mode (ATARead / ATAWrite).
struct TransferMode {
    uint8_t code28;  // 0: not allowed with a 28-bit LBA
    uint8_t code48;
    uint16_t flags;
};

TransferMode read_mode(std::string_view mode) {
    if (iequals(mode, "Multiple")) return {ata_op::kReadMultiple, ata_op::kReadMultipleExt, kAtaPioIn};
    if (iequals(mode, "DMA")) return {ata_op::kReadDma, ata_op::kReadDmaExt, kAtaDmaIn};
    // "Normal" and every other text (the FUA modes have no read form).
    return {ata_op::kReadSectors, ata_op::kReadSectorsExt, kAtaPioIn};
}

TransferMode write_mode(std::string_view mode) {
    if (iequals(mode, "Multiple")) return {ata_op::kWriteMultiple, ata_op::kWriteMultipleExt, kAtaPioOut};
    if (iequals(mode, "DMA")) return {ata_op::kWriteDma, ata_op::kWriteDmaExt, kAtaDmaOut};
    if (iequals(mode, "Multiple_Fua")) return {0, ata_op::kWriteMultipleFuaExt, kAtaPioOut};
    if (iequals(mode, "DMA_Fua")) return {0, ata_op::kWriteDmaFuaExt, kAtaDmaOut};
    return {ata_op::kWriteSectors, ata_op::kWriteSectorsExt, kAtaPioOut};
}

bool needs_48bit(uint64_t lba) { return lba > 0x0FFFFFFF; }

// One read or write on the physical path of the current target.
bool transfer_on_physical_path(uint8_t command, uint16_t flags, uint64_t lba, std::span<uint8_t> data,
                               int& open_error) {
    const DiskRecord& target = current_target();
    std::unique_ptr<DiskDevice> device = disk_platform().open(target.physical_path);
    open_error = device ? 0 : kErrOpenDisk;
    if (!device) return false;
    return send_ata(target.access_protocol, *device, make_ata_command(command, 0, flags, lba, data));
}

// ---------------------------------------------------------------------------
// The ".bix" image substitution. The table is the affine byte map
// b -> 167 * b + 0x3B (mod 256); 167 is odd, so every byte has exactly one
// image and the inverse is b -> 23 * (b - 0x3B) (167 * 23 = 3841 = 15 * 256 + 1).
// The packer maps every byte through the forward table and then reverses the
// byte order; restoring reverses the order and maps through the inverse.

constexpr std::array<uint8_t, 256> make_table(bool inverse) {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = inverse ? static_cast<uint8_t>(23 * (b - 0x3B)) : static_cast<uint8_t>(167 * b + 0x3B);
    return t;
}
constexpr std::array<uint8_t, 256> kBixScramble = make_table(false);
constexpr std::array<uint8_t, 256> kBixRestore = make_table(true);

// ---------------------------------------------------------------------------
// UpdateFW steps.

// DOWNLOAD MICROCODE with offsets (feature 0x03) in chunks; -5 when a chunk
// other than the last fails, 1 otherwise.
int download_microcode(int slot, const std::string& image) {
    const DiskRecord& target = current_target();
    std::unique_ptr<DiskDevice> device = disk_platform().open(target.device_path);
    if (!device) return kErrOpenDisk;
    const size_t total = image.size();
    int status_line = -1;
    for (size_t offset = 0; offset < total; offset += kFirmwareChunk) {
        const size_t length = std::min<size_t>(kFirmwareChunk, total - offset);
        // A tail shorter than a block is sent as a whole block padded with zeros.
        std::vector<uint8_t> chunk((length + kAtaSectorBytes - 1) / kAtaSectorBytes * kAtaSectorBytes, 0);
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), length, chunk.begin());
        const uint64_t lba = static_cast<uint64_t>(offset / kAtaSectorBytes) << 8;
        const bool last = offset + length >= total;
        const bool ok = send_ata(target.access_protocol, *device,
                                 make_ata_command(ata_op::kDownloadMicrocode, 0x03, kAtaPioOut, lba, chunk));
        if (!ok && !last) return kErrUpdateFW;
        pause_ms(slot, 10);
        const int percent = static_cast<int>((offset + length) * 100 / total);
        const std::string text = fmt("Update Progress: %d%%", percent);
        set_status_text(slot, text);
        if (status_line < 0) status_line = log_text(slot, text, colour::kGrey);
        else rewrite_line(slot, status_line, text);
    }
    return 1;
}

// Waits for the new firmware to come up: the capacity the storage stack
// reports for the refound target must equal the one IDENTIFY DEVICE gives.
bool wait_firmware_active(int slot) {
    log_text(slot, "Wait FW Active...", colour::kGrey);
    pause_ms(slot, 5000);
    for (int round = 0; round < 5 && !cancel_requested(slot); ++round) {
        if (refind_target()) {
            const DiskRecord& target = current_target();
            AtaIdentifySummary id;
            if (read_identify_summary(target, id) == 1 &&
                capacity_gb(target.bytes_per_sector, target.size_b) == id.capacity_gb)
                return true;
        }
        pause_ms(slot, 5000);
    }
    return false;
}

}  // namespace

void set_ata_command_hooks(const AtaCommandHooks& hooks) { g_hooks = hooks; }

void restore_bix_image(std::string& image) {
    std::reverse(image.begin(), image.end());
    for (char& c : image) c = static_cast<char>(kBixRestore[static_cast<uint8_t>(c)]);
}

void scramble_bix_image(std::string& image) {
    for (char& c : image) c = static_cast<char>(kBixScramble[static_cast<uint8_t>(c)]);
    std::reverse(image.begin(), image.end());
}

// ATA( IO, ATACmd, Feature, SectorCount, Low, Mid, High, ExLow, ExMid, ExHigh ), by position.
void cmd_ATA(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string io;
    uint32_t v[9] = {};
    if (!r.get_string(0, io)) return;
    for (size_t i = 0; i < 9; ++i)
        if (!r.get_u32(i + 1, v[i])) return;
    const uint8_t command = static_cast<uint8_t>(v[0]);
    const uint16_t feature = static_cast<uint16_t>(v[1]);
    const uint32_t count = v[2];
    const AtaLbaBytes lba{static_cast<uint8_t>(v[3]), static_cast<uint8_t>(v[4]), static_cast<uint8_t>(v[5]),
                          static_cast<uint8_t>(v[6]), static_cast<uint8_t>(v[7]), static_cast<uint8_t>(v[8])};
    const DiskRecord& target = current_target();
    const size_t sector_size = std::max<uint32_t>(target.bytes_per_sector, kAtaSectorBytes);

    if (iequals(io, "IN") || iequals(io, "IN_NOSHOW")) {
        std::vector<uint8_t> data(sector_size * count, 0);
        const int rc = echoed_command(slot, command, feature, kAtaPioIn, lba, count, data);
        if (rc != 1) {
            raise_error(slot, rc, name);
            return;
        }
        if (iequals(io, "IN")) save_hex(slot, data, colour::kOlive);
        return;
    }
    if (iequals(io, "OUT") || iequals(io, "OUT_NOSHOW")) {
        if (!is_raw(target) && (command == ata_op::kWriteSectors || command == ata_op::kWriteSectorsExt)) {
            raise_error(slot, kErrRawModeOnly, kNotRawText);
            return;
        }
        std::string file;
        switch (resolve_file_argument(slot, file, false, "hex", "Hex File")) {
            case FileResolve::Chosen: break;
            case FileResolve::Cancelled: set_cancel(slot); return;
            case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
        }
        std::string content;
        if (!read_file_bytes(file, content)) {
            raise_error(slot, kErrFileOpen, file);
            return;
        }
        // A file shorter than the transfer is sent padded with zeros.
        std::vector<uint8_t> data(static_cast<size_t>(count) * kAtaSectorBytes, 0);
        std::copy_n(content.begin(), std::min(content.size(), data.size()), data.begin());
        const int rc = echoed_command(slot, command, feature, kAtaPioOut, lba, count, data);
        if (rc != 1) {
            raise_error(slot, rc, name);
            return;
        }
        if (iequals(io, "OUT")) save_hex(slot, data, colour::kOrange);
        return;
    }
    if (iequals(io, "NODATA")) {
        const int rc = echoed_command(slot, command, feature, kAtaNoData, lba, count, {});
        if (rc != 1) raise_error(slot, rc, name);
        return;
    }
    raise_error(slot, kErrParam, "IO Parameter Error ");
}

// ATARead( LBA, SectorCount, ATA_RMode ), by position.
void cmd_ATARead(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    int64_t lba = 0;
    uint32_t count = 0;
    std::string mode;
    if (!r.get_i64(0, lba) || !r.get_u32(1, count) || !r.get_string(2, mode)) return;
    const uint64_t address = static_cast<uint64_t>(lba);
    const TransferMode m = read_mode(mode);
    const uint8_t command = needs_48bit(address) ? m.code48 : m.code28;
    std::vector<uint8_t> data(static_cast<size_t>(count) * kAtaSectorBytes, 0);
    int open_error = 0;
    if (!transfer_on_physical_path(command, m.flags, address, data, open_error)) {
        raise_error(slot, open_error ? open_error : kErrReadIO, name);
        return;
    }
    save_hex(slot, data, colour::kOlive);
}

// ATAWrite( LBA, SectorCount, WritePattern, MarkSectorHeader, ATA_WMode ), by position.
void cmd_ATAWrite(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    int64_t lba = 0;
    uint32_t count = 0, pattern = 0;
    bool mark = false;
    std::string mode;
    if (!r.get_i64(0, lba) || !r.get_u32(1, count) || !r.has(2) || !read_pattern(slot, r.pair(2), pattern) ||
        !r.get_bool(3, mark) || !r.get_string(4, mode))
        return;
    const uint64_t address = static_cast<uint64_t>(lba);
    const TransferMode m = write_mode(mode);
    if (m.code28 == 0 && !needs_48bit(address)) {
        raise_error(slot, kErrParam, "FUA only support iSectorS > 0x0FFFFFFF");
        return;
    }
    if (!is_raw(current_target())) {
        raise_error(slot, kErrRawModeOnly, kNotRawText);
        return;
    }
    const uint8_t command = needs_48bit(address) ? m.code48 : m.code28;
    std::vector<uint8_t> data(static_cast<size_t>(count) * kAtaSectorBytes, 0);
    pattern_fill(data, pattern);
    if (mark) sector_stamp(data, address * kAtaSectorBytes, kAtaSectorBytes);
    int open_error = 0;
    if (!transfer_on_physical_path(command, m.flags, address, data, open_error)) {
        raise_error(slot, open_error ? open_error : kErrWriteIO, name);
        return;
    }
    save_hex(slot, data, colour::kOrange);
}

// SMART_Offline( SelfTest ): SMART EXECUTE OFF-LINE IMMEDIATE.
void cmd_SMART_Offline(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string test;
    if (!r.get_string(0, test)) return;
    uint8_t value;
    if (iequals(test, "Short")) value = 1;
    else if (iequals(test, "Extend")) value = 2;
    else if (iequals(test, "Abort")) value = 127;
    else {
        raise_error(slot, kErrParam, "SelfTest Parameter Error ");
        return;
    }
    const AtaLbaBytes lba{value, 0x4F, 0xC2, 0, 0, 0};
    const int rc = echoed_command(slot, ata_op::kSmart, 0xD4, kAtaNoData, lba, 0, {});
    if (rc != 1) raise_error(slot, rc, name);
}

void cmd_STBI(int slot, const std::string&, const std::string& name) {
    const int rc = echoed_command(slot, ata_op::kStandbyImmediate, 0, kAtaNoData, {}, 0, {});
    if (rc != 1) raise_error(slot, rc, name);
}

void cmd_IDLE(int slot, const std::string&, const std::string& name) {
    const int rc = echoed_command(slot, ata_op::kIdleImmediate, 0, kAtaNoData, {}, 0, {});
    if (rc != 1) raise_error(slot, rc, name);
}

// FWActive(): DOWNLOAD MICROCODE, activate (feature 0x0F).
void cmd_ata_FWActive(int slot, const std::string&, const std::string& name) {
    const int rc = send_on_device_path(ata_op::kDownloadMicrocode, 0x0F, kAtaNoData, 0, {});
    if (rc == kErrOpenDisk) raise_error(slot, kErrOpenDisk, name);
    else if (rc != 1) raise_error(slot, kErrActiveFW, name);
}

// UpdateFW( File, ActiveNow:FALSE ).
void cmd_ata_UpdateFW(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string file;
    bool active_now = false;
    const ArgPair* file_arg = keyed_arg(r, {"File"}, 0);
    if (!file_arg || !arg_string(slot, file_arg->value, file) ||
        !opt_bool(r, keyed_arg(r, {"ActiveNow"}, 1), active_now, false))
        return;

    switch (resolve_file_argument(slot, file, false, "bin", "FW File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
    }
    log_text(slot, fmt("FW File : %s", file), colour::kCyan);
    std::string image;
    if (!read_file_bytes(file, image) || image.empty()) {
        raise_error(slot, kErrFileOpen, file);
        return;
    }
    if (iequals(path_extension(file), ".bix")) restore_bix_image(image);

    const int rc = download_microcode(slot, image);
    if (rc != 1) {
        raise_error(slot, rc, name);
        return;
    }
    pause_ms(slot, 1000);
    bool activated = true;
    if (active_now) {
        if (send_on_device_path(ata_op::kDownloadMicrocode, 0x0F, kAtaNoData, 0, {}) == 1) {
            pause_ms(slot, 1000);
        } else {
            activated = false;
            raise_error(slot, kErrActiveFW, name);
        }
    }
    // The download went through: meet the other instances of a synchronised run.
    sync_wait(slot, 30, true);
    if (!active_now || !activated) return;
    if (!wait_firmware_active(slot)) raise_error(slot, kErrWaitFWActiveTimeout, name);
}

// SecurErase( ConfirmMsg ).
void cmd_ata_SecurErase(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool confirm = false;
    const ArgPair* confirm_arg = keyed_arg(r, {"ConfirmMsg"}, 0);
    if (!confirm_arg || !arg_bool(slot, confirm_arg->value, confirm)) return;
    if (confirm && !operator_dialogs()->confirm(slot, "Security Erase?")) {
        log_text(slot, kCancelText, colour::kCyan);
        return;
    }

    for (;;) {
        AtaIdentifySummary id;
        const int rc = read_identify_summary(current_target(), id);
        if (rc != 1) {
            raise_error(slot, rc, name);
            return;
        }
        if (!id.security_frozen) break;
        if (!operator_dialogs()->confirm(slot, "RePlug SSD again \r\nthen push [OK] button",
                                         MessageButtons::OkCancel)) {
            log_text(slot, "Secure Erase Cancel");
            return;
        }
    }

    DiskRecord& target = current_target();
    if (!is_raw(target)) {
        const bool was_volume = target.record_kind == kRecordVolume;
        const int rc = delete_partitions(slot, target);
        if (rc != 1) {
            raise_error(slot, rc, kNotRawText);
            return;
        }
        if (was_volume) log_text(slot, fmt("Change to Disk: %s", target.physical_path), colour::kBlue);
    }

    // The user password: four ASCII characters from byte 0, the rest zero.
    std::array<uint8_t, 512> block{};
    std::copy_n("TBSE", 4, block.begin());
    struct Step {
        uint8_t command;
        bool data_out;
        int32_t failure;
    };
    constexpr Step kSteps[] = {
        {ata_op::kSecuritySetPassword, true, kErrSecuritySetPassword},
        {ata_op::kSecurityUnlock, true, kErrSecurityUnlock},
        {ata_op::kSecurityErasePrepare, false, kErrSecurityErasePrepare},
        {ata_op::kSecurityEraseUnit, true, kErrSecurityErase},
        {ata_op::kSecurityFreezeLock, false, kErrSecurityLock},
        {ata_op::kSecurityDisablePassword, true, kErrSecurityDisable},
    };
    for (const Step& step : kSteps) {
        std::array<uint8_t, 512> data = block;
        const int rc = step.data_out ? send_on_device_path(step.command, 0, kAtaPioOut, 0, data)
                                     : send_on_device_path(step.command, 0, kAtaNoData, 0, {});
        if (rc != 1) {
            raise_error(slot, rc == kErrOpenDisk ? kErrOpenDisk : step.failure, name);
            return;
        }
    }
    pause_ms(slot, 1000);
    log_text(slot, "Secure Erase OK");
}

}  // namespace tb
