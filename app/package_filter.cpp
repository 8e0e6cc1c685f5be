#include "app/package_filter.h"

#include "common/format.h"
#include "common/text.h"

namespace tb {

int parse_protocol_filter(std::string_view value) {
    if (iequals(value, "SATA")) return kProtocolSata;
    if (iequals(value, "NVME")) return kProtocolNvme;
    return kProtocolAll;
}

int parse_disk_type(std::string_view value) { return iequals(value, "Drive") ? 0 : 1; }

bool model_filter_accepts(std::string_view model_filter, const DiskIdentity& disk) {
    if (model_filter.empty() || model_filter == "**") return true;
    if (!disk.model_read) return false;
    std::string_view model = trim_view(disk.model, " ");
    // A blank model would match any filter text; it matches none.
    if (model.empty()) return false;
    return model_filter.find(model) != std::string_view::npos;
}

bool soc_filter_accepts(std::string_view soc_filter, const DiskIdentity& disk) {
    if (disk.soc_id == -1) return false;
    if (soc_filter == "*") return true;
    if (iequals(soc_filter, "KORVANTE")) return disk.soc_id > 0;
    if (iequals(soc_filter, "_WithOutDrv")) return true;
    std::string id = fmt("%04X", disk.soc_id);
    return ifind(soc_filter, id) != std::string_view::npos;
}

bool protocol_filter_accepts(int protocol_filter, const DiskIdentity& disk) {
    switch (protocol_filter) {
        case kProtocolSata: return disk.access_protocol == 1 || disk.access_protocol == 2;
        case kProtocolNvme:
            return disk.access_protocol >= 10 && disk.access_protocol <= 17 &&
                   disk.access_protocol != 15;
        default: return true;
    }
}

bool package_accepts_disk(std::string_view model_filter, std::string_view soc_filter,
                          const DiskIdentity& disk) {
    if (model_filter == "**") return true;
    return model_filter_accepts(model_filter, disk) && soc_filter_accepts(soc_filter, disk);
}

bool no_disk_command_requested(std::string_view no_disk_cmd, std::string_view sub_params) {
    int words = 0;
    for (const std::string& item : split(no_disk_cmd, ',')) {
        if (++words > 16) break;
        std::string word = trim(item);
        if (word.empty()) continue;
        if (icontains(sub_params, word + "$")) return true;
    }
    return false;
}

std::string effective_model_filter(std::string_view model_name, std::string_view soc_filter,
                                   std::string_view no_disk_cmd, std::string_view sub_params) {
    if (iequals(soc_filter, "_WithOutDrv")) return "**";
    if (no_disk_command_requested(no_disk_cmd, sub_params)) return "**";
    return std::string(model_name);
}

}  // namespace tb
