// FWbin_SetFWconfig: one configuration item changed inside a firmware image
// file, the record resealed and the image's part checksums brought up to
// date, saved to SaveFile or in place. MergeFW: firmware parts joined into
// one image.
#include <optional>

#include "common/file_handle.h"
#include "common/format.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/fw_image.h"
#include "vendor/parse_commands.h"
#include "vendor/parse_support.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

constexpr ArgSpec kSetConfig[] = {
    {"File", "", ArgType::Text, ""},
    {"FWCfgItem", "Item", ArgType::Text, ""},
    {"SetValue", "Value", ArgType::Text, ""},
    {"SaveFile", "Save", ArgType::Text, ""},
};

constexpr ArgSpec kMerge[] = {
    {"File1", "", ArgType::Text, ""},
    {"File2", "", ArgType::Text, ""},
    {"SaveFile", "Save", ArgType::Text, ""},
};

// The path to write to: SaveFile placed as a saved file, or `fallback`.
std::optional<std::string> output_path(int slot, std::string save_name, std::string_view fallback) {
    if (save_name.empty()) {
        if (!fallback.empty()) return std::string(fallback);
    }
    switch (resolve_file_argument(slot, save_name, true, "bin", "Firmware File")) {
        case FileResolve::Chosen: return save_name;
        case FileResolve::Cancelled: set_cancel(slot); return std::nullopt;
        case FileResolve::NotFound: raise_error(slot, kErrOutputFile, save_name); return std::nullopt;
    }
    return std::nullopt;
}

bool write_output(int slot, const std::string& path, std::span<const uint8_t> bytes) {
    if (write_file_bytes(native_path(path), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        return true;
    raise_error(slot, kErrOutputFile, path);
    return false;
}

}  // namespace

void cmd_FWbin_SetFWconfig(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "FWbin_SetFWconfig", kSetConfig);
    if (!a) return;
    const FwConfigItem* item = find_fw_config_item(a->text("FWCfgItem"));
    if (!item) {
        raise_error(slot, kErrKeywordNotFound,
                    fmt("FWbin_SetFWconfig: no configuration item %s", a->text("FWCfgItem")));
        return;
    }
    std::optional<LoadedFile> file = load_vendor_file(slot, a->text("File"), "bin", "Firmware File");
    if (!file) return;
    const std::optional<size_t> at = find_fw_config(file->bytes);
    if (!at) {
        raise_bad_record(slot, *file, "firmware image (no configuration record with a matching checksum)");
        return;
    }
    const std::span<uint8_t> record = std::span<uint8_t>(file->bytes).subspan(*at, kVendorRecordBytes);
    const std::string before = fw_config_item_text(record, *item);
    if (set_fw_config_item(record, *item, a->text("SetValue")) != 0) {
        raise_error(slot, kErrParam,
                    fmt("FWbin_SetFWconfig: %s does not take \"%s\" (%d bytes, %s)", item->name, a->text("SetValue"),
                        item->size,
                        item->kind == FwConfigItem::Text ? "text" : item->kind == FwConfigItem::Hex ? "hex" : "number"));
        return;
    }
    seal_fw_config(record);
    refresh_fw_image_checksums(file->bytes);
    const std::optional<std::string> out = output_path(slot, a->text("SaveFile"), file->path);
    if (!out || !write_output(slot, *out, file->bytes)) return;
    log_text(slot, fmt("%-24s : %s -> %s", item->name, before, fw_config_item_text(record, *item)));
    log_text(slot, fmt("Config Offset            : 0x%08X", *at));
    log_text(slot, fmt("Checksum                 : 0x%08X", fw_config_checksum(record)));
    log_text(slot, fmt("Save File                : %s", *out));
    set_result_number(slot, name, fw_config_checksum(record), ValueType::Hex);
}

void cmd_MergeFW(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "MergeFW", kMerge);
    if (!a) return;
    const std::optional<LoadedFile> first = load_vendor_file(slot, a->text("File1"), "bin", "Firmware Part 1");
    if (!first) return;
    const std::optional<LoadedFile> second = load_vendor_file(slot, a->text("File2"), "bin", "Firmware Part 2");
    if (!second) return;
    if (first->bytes.empty() || second->bytes.empty()) {
        raise_error(slot, kErrFileSize, fmt("MergeFW: %s is empty", first->bytes.empty() ? first->path : second->path));
        return;
    }
    std::vector<std::span<const uint8_t>> parts;
    if (const auto existing = fw_image_parts(first->bytes)) {  // an image: its parts, then the new one
        for (const FwPart& p : *existing) parts.push_back(std::span<const uint8_t>(first->bytes).subspan(p.offset, p.size));
    } else {
        parts.push_back(first->bytes);
    }
    parts.push_back(second->bytes);
    const std::optional<std::vector<uint8_t>> image = build_fw_image(parts);
    if (!image) {
        raise_error(slot, kErrParam, fmt("MergeFW: an image holds 1 to %d parts of at most 4 GiB", kFwImageMaxParts));
        return;
    }
    const std::optional<std::string> out = output_path(slot, a->text("SaveFile"), "");
    if (!out || !write_output(slot, *out, *image)) return;
    const auto merged = fw_image_parts(*image);
    for (size_t i = 0; i < merged->size(); ++i) {
        const FwPart& p = (*merged)[i];
        log_text(slot, fmt("Part %d : %-6s offset 0x%08X size %9d checksum 0x%08X", i + 1,
                           p.kind == FwPartKind::Config ? "Config" : "Code", p.offset, p.size, p.checksum));
    }
    log_text(slot, fmt("Image Size : %d bytes", image->size()));
    log_text(slot, fmt("Save File  : %s", *out));
    set_result_number(slot, name, static_cast<int64_t>(image->size()));
}

}  // namespace tb
