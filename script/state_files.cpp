#include "script/state_files.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/format.h"
#include "platform/host/replace_file.h"
#include "platform/host/sync_file.h"
#include "platform/paths.h"
#include "script/state_records.h"

namespace tb {

namespace {

constexpr const char* kVarFile = "VarList.sct";
constexpr const char* kMainFile = "MainList.sct";
constexpr const char* kSubFile = "SubList.sct";
constexpr const char* kLoopFile = "LoopList.sct";
constexpr const char* kInfoFile = "ScriptInfo.sct";
constexpr std::array<const char*, 5> kAllFiles = {kVarFile, kMainFile, kSubFile, kLoopFile, kInfoFile};

// Larger files are no state this program wrote.
constexpr uintmax_t kMaxStateFile = 256ull << 20;

bool write_whole(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(fs_path(temporary), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            error = fmt("cannot write %s", temporary);
            return false;
        }
    }
    host::sync_path(fs_path(temporary));
    std::string why;
    if (!host::replace_file(fs_path(temporary), fs_path(path), &why)) {
        std::error_code ec;
        std::filesystem::remove(fs_path(temporary), ec);
        error = fmt("cannot write %s: %s", path, why);
        return false;
    }
    return true;
}

bool read_whole(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(fs_path(path), ec);
    if (ec) {
        error = fmt("%s is missing", path);
        return false;
    }
    if (size > kMaxStateFile) {
        error = fmt("%s is too large to be a state file", path);
        return false;
    }
    std::ifstream in(fs_path(path), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        error = fmt("cannot read %s", path);
        return false;
    }
    return true;
}

}  // namespace

std::string state_file_path(std::string_view folder, uint32_t frame, std::string_view name) {
    return native_path(fmt("%s\\ScreenAPId%d_%s", std::string(folder), static_cast<int>(frame), std::string(name)));
}

bool save_run_state(const std::string& folder, uint32_t frame, const SavedRunState& state, std::string& error) {
    // ScriptInfo.sct last: a set without it is never taken for a whole one.
    // The folder is synced too: an abrupt restart may follow at once.
    const bool saved = write_whole(state_file_path(folder, frame, kVarFile), encode_var_list(state.vars), error) &&
           write_whole(state_file_path(folder, frame, kMainFile), encode_block_list(state.main_list), error) &&
           write_whole(state_file_path(folder, frame, kSubFile), encode_block_list(state.sub_list), error) &&
           write_whole(state_file_path(folder, frame, kLoopFile), encode_block_list(state.loop_list), error) &&
           write_whole(state_file_path(folder, frame, kInfoFile), encode_script_info(state.info), error);
    if (saved) host::sync_path(fs_path(folder));
    return saved;
}

std::optional<SavedRunState> load_run_state(const std::string& folder, uint32_t frame, std::string& error) {
    SavedRunState s;
    std::vector<uint8_t> bytes;
    std::string why;
    auto failed = [&](const char* name) {
        error = why.find(name) != std::string::npos ? why : fmt("%s: %s", state_file_path(folder, frame, name), why);
        return std::nullopt;
    };
    if (!read_whole(state_file_path(folder, frame, kInfoFile), bytes, why) ||
        !decode_script_info(bytes, s.info, why))
        return failed(kInfoFile);
    if (!read_whole(state_file_path(folder, frame, kVarFile), bytes, why) || !decode_var_list(bytes, s.vars, why))
        return failed(kVarFile);
    if (!read_whole(state_file_path(folder, frame, kMainFile), bytes, why) ||
        !decode_block_list(bytes, s.main_list, why))
        return failed(kMainFile);
    if (!read_whole(state_file_path(folder, frame, kSubFile), bytes, why) ||
        !decode_block_list(bytes, s.sub_list, why))
        return failed(kSubFile);
    if (!read_whole(state_file_path(folder, frame, kLoopFile), bytes, why) ||
        !decode_block_list(bytes, s.loop_list, why))
        return failed(kLoopFile);
    return s;
}

void remove_run_state(const std::string& folder, uint32_t frame) {
    for (const char* name : kAllFiles) {
        std::error_code ec;
        std::filesystem::remove(fs_path(state_file_path(folder, frame, name)), ec);
    }
}

}  // namespace tb
