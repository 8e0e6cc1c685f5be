#include "common/format.h"
#include "disk/disk_record.h"
#include "disk/nvme_command.h"
#include "disk/report_lines.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/record_report.h"
#include "vendor/vendor_send.h"
#include "vendor/vsc_chunked_read.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"
#include "vendor/vsc_send.h"

namespace tb {

namespace {

// The chunk reader of an operation whose chunks come one after another.
ChunkReader next_chunk(int slot, const std::string& name, VendorOp op) {
    return [slot, &name, op](uint32_t, std::span<uint8_t> chunk) { return vsc_send(slot, name, op, {}, chunk); };
}

// The event log's chunks at their byte positions (ATA disks only).
ChunkReader event_log_chunk(int slot, const std::string& name) {
    return [slot, &name](uint32_t index, std::span<uint8_t> chunk) {
        const int code = send_ata_only(slot, current_target(), AtaOnlyOp::ReadEventLog, chunk, index * kLogChunkBytes);
        if (code >= 0) return true;
        const bool nvme = is_nvme_protocol(current_target().access_protocol);
        raise_error(slot, find_error(code) ? code : kErrIoControl,
                    nvme ? name + ": the event log is read through the vendor ATA protocol only"
                         : vsc_failure_detail(name, "event log read", false));
        return false;
    };
}

uint64_t event_log_chunks(std::span<const uint8_t> chunk0) {
    if (get_le32(chunk0, 0) != kEventLogMagic) return 0;
    const uint64_t bytes = get_le32(chunk0, 8);
    return bytes % kLogChunkBytes ? 0 : bytes / kLogChunkBytes;
}

uint64_t crash_dump_chunks(std::span<const uint8_t> chunk0) { return crash_dump_total_bytes(chunk0) / kLogChunkBytes; }

}  // namespace

void cmd_VSC_GetEventLog(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"SaveFile", "", ArgType::Text, ""},
        {"DecodeType", "", ArgType::Number, "0", 0, 2},
        {"TarFile", "", ArgType::Text, ""},
        {"ByCmd", "", ArgType::Number, "0", 0, 0xFFFFFFFF},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const auto path = vsc_record_path(slot, a->text("SaveFile"), ".eraw");
    if (!path) return;
    const auto log = read_chunked_log(slot, name, "Eventlog", event_log_chunk(slot, name), event_log_chunks);
    if (!log) return;
    const auto events = decode_event_log(*log);
    const uint64_t used = kEventHeaderBytes + (events ? events->size() : 0) * kEventEntryBytes;
    log_text(slot, fmt("Eventlog Size : %s", megabytes_text(used)));
    log_text(slot, fmt("Dump Size     : %s", megabytes_text(log->size())));
    if (!vsc_write_record(slot, *path, *log)) return;
    log_text(slot, fmt("Eventlog File : %s", *path));
    if (!events) {
        raise_error(slot, kErrInvalidData, name + ": event log entries past its end");
        return;
    }
    if (write_report(slot, event_log_lines(*events, static_cast<int>(a->number("DecodeType")))))
        set_result_number(slot, name, static_cast<int64_t>(events->size()));
}

void cmd_VSC_CriticalLog(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"SaveFile", "", ArgType::Text, ""},
        {"Decode", "", ArgType::Bool, "TRUE"},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const auto path = vsc_record_path(slot, a->text("SaveFile"), ".cri");
    if (!path) return;
    const ChunkReader chunk_i = [slot, &name](uint32_t index, std::span<uint8_t> chunk) {
        VendorArgs which;
        which.a = index;
        return vsc_send(slot, name, VendorOp::CriticalLogChunk, which, chunk);
    };
    const auto log = read_chunked_log(slot, name, "Critical Log", chunk_i,
                                      [](std::span<const uint8_t> c) -> uint64_t { return critical_log_chunks(c); });
    if (!log || !vsc_write_record(slot, *path, *log)) return;
    log_text(slot, fmt("Critical Log File : %s", *path));
    if (!a->flag("Decode")) return;
    const auto entries = decode_critical_log(*log);
    if (!entries) {
        raise_error(slot, kErrInvalidData, name + ": critical log entries past its end");
        return;
    }
    if (write_report(slot, critical_log_lines(*entries)))
        set_result_number(slot, name, static_cast<int64_t>(entries->size()));
}

// The SPI debug information as a data file the hex viewer shows.
void cmd_VSC_GetSPIDbgInfo(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {{"SaveFile", "", ArgType::Text, ""}};
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const auto path = vsc_record_path(slot, a->text("SaveFile"), ".Hex");
    if (!path) return;
    const auto record = vsc_read(slot, name, VendorOp::SpiDebugInfo);
    if (!record || !vsc_write_record(slot, *path, *record)) return;
    log_text(slot, fmt("SPI Debug File : %s", *path));
    write_report(slot, {{fmt("SPI Debug Info : %s", hex_bytes_text(std::span(*record).first(64))), colour::kWhite}});
}

// The crash dump chunk by chunk; with Encode the file is kept as the drive
// gave it without printing its decoded sections.
void cmd_VSC_Cdump(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"SaveFile", "", ArgType::Text, ""},
        {"Encode", "", ArgType::Bool, "FALSE"},
    };
    const auto a = read_args(slot, args, name, kSpecs);
    if (!a) return;
    const auto path = vsc_record_path(slot, a->text("SaveFile"), ".cdump");
    if (!path) return;
    const auto dump = read_chunked_log(slot, name, "Cdump", next_chunk(slot, name, VendorOp::CrashDumpChunk),
                                       crash_dump_chunks);
    if (!dump) return;
    log_text(slot, fmt("Dump Size     : %5d MB", static_cast<int64_t>(dump->size() / (1024 * 1024))));
    if (!vsc_write_record(slot, *path, *dump)) return;
    log_text(slot, fmt("Cdump File    : %s", *path));
    set_result_string(slot, name, *path);
    if (a->flag("Encode")) return;
    const auto decoded = decode_crash_dump(*dump);
    if (!decoded) {
        raise_error(slot, kErrInvalidData, name + ": crash dump sections past its end");
        return;
    }
    write_report(slot, crash_dump_lines(*decoded));
}

}  // namespace tb
