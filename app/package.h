// The package the program carries: an archive appended to the executable,
// followed by a 16-byte trailer (archive length as 64-bit little-endian,
// then the magic "TBPKG001"). At every start the archive is extracted into
// a fresh work folder under the temporary folder, the package settings are
// read from its ScriptInfo.ini, and the folder is removed at exit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/zip_archive.h"

namespace tb {

struct AppContext;

constexpr std::string_view kPackageMagic = "TBPKG001";
constexpr size_t kPackageTrailerSize = 16;
constexpr std::string_view kPackageScriptName = "script.encode";
constexpr std::string_view kPackageInfoName = "ScriptInfo.ini";
constexpr std::string_view kPackageInfoSection = "SCRIPTINFO";
constexpr std::string_view kExtCmdIniName = "ExtCmd.ini";

// ---------------------------------------------------------------- locating

struct PackageLocation {
    uint64_t offset = 0;  // first byte of the archive in the executable
    uint64_t length = 0;
};

// The package at the tail of an executable; nothing when it carries none
// or its trailer is unusable.
std::optional<PackageLocation> find_embedded_package(const std::string& exe_path);

// Whether an executable carries a package. A package is there when the
// trailer is; without one, bytes after the program's own image are a
// package that lost its trailer (the file was cut short).
struct PackageProbe {
    enum class Kind { Absent, Present, Damaged };
    Kind kind = Kind::Absent;
    PackageLocation where;  // when Present
    std::string problem;    // when Damaged
};
PackageProbe probe_embedded_package(const std::string& exe_path);
// The trailer that follows an archive of that length.
std::string package_trailer(uint64_t archive_length);

// ---------------------------------------------------------------- settings

// ScriptInfo.ini, section SCRIPTINFO.
struct PackageSettings {
    int style = 1;             // Style: run style
    int dos_mini = 0;          // DOSMini: UI mode, replaces the command line's
    std::string title;         // TITLE (260): caption
    int disk_type = 1;         // DiskType: 0 for "Drive", else 1
    int protocol_filter = 0;   // ProtocolType: ALL 0, SATA 1, NVME 2
    std::string soc_id;        // SOCID (64): controller filter
    std::string model_name;    // ModelName (64): model filter
    int show_logo = 0;         // ShowKorvanteLogo: logo flag
    int debug_log = 0;         // DebugLogDATX: debug level when the command line set none
    std::string no_disk_cmd;   // NoDiskCmd (256): words that run without a disk
};

// Reads the settings; every key that is missing keeps its default.
PackageSettings read_package_settings(const std::string& ini_path);
// An integer setting as the profile functions read it: an empty value gives
// `fallback`; otherwise an optional sign, then decimal digits (or hex after
// "0x"), stopping at the first other character; no digits give 0.
int profile_int(std::string_view value, int fallback);

// The caption fallback: the first file of `folder` matching "*.scp?", its
// name cut at the first ".scp" and every '_' made a blank. Empty when none.
std::string caption_from_script_files(const std::string& folder);

// ---------------------------------------------------------------- work folder

// The temporary folder: $TMPDIR or /tmp, without a trailing separator.
std::string temp_folder();
// The program's base name with every character outside 0-9, a-z, A-Z made '_'.
std::string sanitize_program_name(std::string_view program_path);
// Creates a fresh work folder "<temp>/TamblorLite/<name>_HHMMSS_<pid>" (with
// "_<n>" added when that name is taken, so a second preparation in the same
// second never reuses a folder). Empty on failure.
std::string create_work_folder(const std::string& program_path);
// Removes a work folder and everything in it (links are removed, not followed).
bool remove_work_folder(const std::string& folder);

// Removes the work folder when it goes out of scope, unless released.
class WorkFolderGuard {
  public:
    WorkFolderGuard() = default;
    explicit WorkFolderGuard(std::string folder) : folder_(std::move(folder)) {}
    ~WorkFolderGuard() { reset(); }
    WorkFolderGuard(const WorkFolderGuard&) = delete;
    WorkFolderGuard& operator=(const WorkFolderGuard&) = delete;
    WorkFolderGuard(WorkFolderGuard&& o) noexcept : folder_(std::move(o.folder_)), kept_(std::move(o.kept_)) {
        o.folder_.clear();
    }
    WorkFolderGuard& operator=(WorkFolderGuard&& o) noexcept;

    const std::string& folder() const { return folder_; }
    // Removes the folder now.
    void reset();
    // Gives up the folder without removing it.
    std::string release();
    // A folder inside the work folder that its removal leaves in place (the
    // job's log folder): only what lies outside it is removed.
    void keep(std::string path) { kept_.push_back(std::move(path)); }

  private:
    std::string folder_;
    std::vector<std::string> kept_;
};

// ---------------------------------------------------------------- start-up

enum class PackageStatus {
    Ready,
    NotPackaged,        // the executable carries no package
    NoWorkFolder,       // the work folder could not be created
    Damaged,            // cut short, not a sound archive, a bad entry, or over the limits
    UnpackFailed,       // an entry could not be written into the work folder
    MissingScript,      // no script.encode in the package
    MissingScriptInfo,  // no ScriptInfo.ini in the package
};

struct PreparedPackage {
    std::string work_folder;
    // Four copies of the work folder that later parts change independently.
    std::string script_folder;
    std::string log_root_folder;
    std::string ext_cmd_folder;  // where ExtCmd.ini is looked for
    std::string library_folder;  // where the relay library is looked for
    std::string script_path;     // script.encode as found on disk
    std::string info_path;       // ScriptInfo.ini as found on disk
    PackageSettings settings;
    std::string caption;  // TITLE, or the fallback from a "*.scp?" file
    ZipExtractReport extraction;
    std::string problem;  // what is wrong, unless Ready or NotPackaged
};

// Finds the package of `exe_path`, creates the work folder, extracts the
// archive into it and reads the settings. The package must be sound as a
// whole: any bad entry, or an archive over `limits` or over the work
// folder's free space, fails it before anything is written. Unless Ready,
// nothing is left on disk: a work folder created for a package that fails
// is removed again.
PackageStatus prepare_package(const std::string& exe_path, PreparedPackage& out, const ZipLimits& limits = {});

// The error code a start-up that failed with `status` ends with: -11 for a
// missing script or settings file, -19 when the work folder cannot be
// prepared, -90 for a damaged package.
int package_error_code(PackageStatus status);
// The line that tells why: "damaged package: <problem>" or
// "cannot unpack package: <problem>".
std::string package_failure_text(PackageStatus status, const std::string& problem);

// Copies the settings into the process record: run style, UI mode (replacing
// the command line's), caption, logo flag, debug level (1 from DebugLogDATX
// only when the command line left it 0) and the work folder.
void apply_package_settings(const PreparedPackage& package, AppContext& a);

// ExtCmd.ini in the external-command folder, when present.
std::optional<std::string> ext_cmd_ini_path(const std::string& ext_cmd_folder);

// The name of a file of `folder` that equals `name` ignoring ASCII case
// (the exact name first); empty when there is none.
std::string find_file_ignoring_case(const std::string& folder, std::string_view name);

}  // namespace tb
