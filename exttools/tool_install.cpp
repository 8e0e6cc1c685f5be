#include "exttools/tool_install.h"

#include <filesystem>

#include "app/zip_archive.h"
#include "common/format.h"
#include "common/text.h"
#include "exttools/command_words.h"
#include "exttools/download_source.h"
#include "exttools/program_run.h"
#include "exttools/tool_list.h"
#include "platform/child_process.h"
#include "platform/host/temp_folder.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

// The download folder, removed with everything in it when it goes.
class DownloadFolder {
public:
    DownloadFolder() {
        path_ = utf8_path(host::temp_folder() / ("_DownloadInstall_" + std::to_string(current_process_id())));
        std::error_code ec;
        std::filesystem::remove_all(fs_path(path_), ec);
        made_ = std::filesystem::create_directories(fs_path(path_), ec);
    }
    ~DownloadFolder() {
        std::error_code ec;
        std::filesystem::remove_all(fs_path(path_), ec);
    }
    DownloadFolder(const DownloadFolder&) = delete;
    DownloadFolder& operator=(const DownloadFolder&) = delete;
    bool made() const { return made_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool made_ = false;
};

std::string check_path(const ToolSection& tool) {
    if (file_exists(tool.check_file)) return tool.check_file;
    return path_join(tool.base_folder, tool.check_file);
}

// Fetches `remote` into `local` with the one progress line.
bool download(int slot, const std::string& remote, const std::string& local, std::string& problem) {
    const std::string name = path_file_name(local);
    const int line = log_text(slot, fmt("Download %s - %d%%", name, 0));
    int shown = 0;
    auto progress = [&](uint64_t done, uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 0;
        if (percent == shown) return;
        shown = percent;
        rewrite_line(slot, line, fmt("Download %s - %d%%", name, percent));
    };
    const bool ok = download_source().fetch(remote, local, progress, [slot] { return cancel_requested(slot); }, problem);
    if (ok) rewrite_line(slot, line, fmt("Download %s - %d%%", name, 100));
    return ok;
}

bool run_installer(int slot, const std::string& folder, const std::vector<std::string>& words, std::string& problem) {
    ProgramRun run;
    run.work_folder = folder;
    run.output_file = path_join(folder, "_install.out");
    if (icontains(words.front(), ".msi")) {
        run.argv = {"msiexec.exe", "/package", path_join(folder, words.front())};
        run.argv.insert(run.argv.end(), words.begin() + 1, words.end());
        run.argv.push_back("/passive");
        run.search_path = true;
    } else {
        run.argv = words;
        run.argv[0] = path_join(folder, words.front());
    }
    const ProgramOutcome out = run_program(slot, run, [slot] { return cancel_requested(slot); });
    if (!out.started) problem = "cannot start the installer " + run.argv[0];
    return out.started && out.ended;
}

bool install(int slot, const ToolSection& tool, std::string& problem) {
    const size_t hash = tool.download.find('#');
    if (hash == std::string::npos) {
        problem = "APP_DOWNLOAD names no local file: " + tool.download;
        return false;
    }
    const std::string remote = trim(tool.download.substr(0, hash));
    const auto words = split_command_words(trim(tool.download.substr(hash + 1)), backslash_escapes_in_command_lines());
    if (remote.empty() || !words || words->empty()) {
        problem = "APP_DOWNLOAD is not usable: " + tool.download;
        return false;
    }
    DownloadFolder folder;
    if (!folder.made()) {
        problem = "cannot make the download folder " + folder.path();
        return false;
    }
    const std::string local = path_join(folder.path(), path_file_name(remote));
    if (!download(slot, remote, local, problem)) return false;
    if (icontains(local, ".zip")) {
        if (!unpack_download(local, folder.path(), problem)) return false;
        std::error_code ec;
        std::filesystem::remove(fs_path(local), ec);
    }
    return run_installer(slot, folder.path(), *words, problem);
}

}  // namespace

bool tool_installed(const ToolSection& tool) { return tool.check_file.empty() || file_exists(check_path(tool)); }

bool unpack_download(const std::string& archive, const std::string& folder, std::string& problem) {
    ZipReader reader;
    if (!reader.open(native_path(archive))) {
        problem = fmt("%s is no readable zip archive (%s)", path_file_name(archive), reader.damage());
        return false;
    }
    for (const ZipEntry& e : reader.entries()) {
        if (!safe_entry_path(e.name)) {
            problem = fmt("%s names an entry outside its folder: %s", path_file_name(archive), e.name);
            return false;
        }
    }
    const ZipExtractReport report = extract_all(reader, native_path(folder));
    for (const ZipEntryReport& e : report.entries) {
        if (e.status != ZipStatus::Ok) {
            problem = fmt("%s: %s: %s", path_file_name(archive), e.name, zip_status_text(e.status));
            return false;
        }
    }
    return true;
}

bool ensure_tool_installed(int slot, const ToolSection& tool) {
    if (tool_installed(tool)) return true;
    std::string problem;
    if (!install(slot, tool, problem)) {
        raise_error(slot, kErrFileOpen, fmt("%s: %s", tool.name, problem));
        return false;
    }
    if (tool_installed(tool)) return true;
    raise_error(slot, kErrFileOpen, fmt("%s: not installed (%s is missing)", tool.name, check_path(tool)));
    return false;
}

}  // namespace tb
