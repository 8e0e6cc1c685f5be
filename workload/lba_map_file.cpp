#include "workload/lba_map_file.h"

#include <cstdio>
#include <vector>

#include "common/format.h"
#include "platform/host/replace_file.h"
#include "platform/host/sync_file.h"
#include "platform/paths.h"

namespace tb {

std::string map_folder_name(const std::string& work_folder, const std::tm& t, int ms) {
    return fmt("%s\\[LBAMap_%d%02d%02d-%02d%02d%02d-%03d]", work_folder, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
               t.tm_hour, t.tm_min, t.tm_sec, ms);
}

bool MapFileWriter::create(const std::string& path, const MapHeader& header, std::string& why) {
    file_ = FileHandle::open(path, "wb");
    if (!file_) {
        why = fmt("%s cannot be created", path);
        return false;
    }
    MapHeader h = header;
    h.count = 0;
    uint8_t bytes[kMapHeaderBytes];
    encode_map_header(h, bytes);
    if (std::fwrite(bytes, 1, sizeof bytes, file_.get()) != sizeof bytes) {
        why = fmt("%s cannot be written", path);
        return false;
    }
    return true;
}

bool MapFileWriter::open_for_append(const std::string& path, MapHeader& header, std::string& why) {
    LbaMap existing;
    if (!load_lba_map(path, existing, why)) return false;
    header = existing.header;
    file_ = FileHandle::open(path, "r+b");
    if (!file_ || std::fseek(file_.get(), 0, SEEK_END) != 0) {
        why = fmt("%s cannot be opened for writing", path);
        return false;
    }
    return true;
}

bool MapFileWriter::append(std::span<const MapRecord> records) {
    if (!file_) return false;
    std::vector<uint8_t> bytes(records.size() * kMapRecordBytes);
    for (size_t i = 0; i < records.size(); ++i) encode_map_record(records[i], bytes.data() + i * kMapRecordBytes);
    return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
}

bool MapFileWriter::finish(const MapHeader& header) {
    if (!file_) return false;
    uint8_t bytes[kMapHeaderBytes];
    encode_map_header(header, bytes);
    const bool ok = std::fseek(file_.get(), 0, SEEK_SET) == 0 &&
                    std::fwrite(bytes, 1, sizeof bytes, file_.get()) == sizeof bytes && host::sync_file(file_.get());
    file_.reset();
    return ok;
}

bool replace_file_durably(const std::string& path, std::string_view content) {
    const std::string temp = path + ".new";
    {
        FileHandle f = FileHandle::open(temp, "wb");
        if (!f) return false;
        if (std::fwrite(content.data(), 1, content.size(), f.get()) != content.size() || !host::sync_file(f.get()))
            return false;
    }
    if (!host::replace_file(fs_path(temp), fs_path(path), nullptr)) return false;
    const std::string folder = path_folder(path);
    return host::sync_path(fs_path(folder.empty() ? "." : folder));
}

}  // namespace tb
