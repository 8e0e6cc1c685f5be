// tamblor-pack: makes a packaged player and inspects packaged players.
//   tamblor-pack --out OUT --base PLAYER DIR [--qz] [--stored] [--script NAME.scpt]
//   tamblor-pack --list FILE
//   tamblor-pack --extract FILE DIR
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/package.h"
#include "app/package_builder.h"
#include "app/zip_archive.h"
#include "platform/host/program_arguments.h"
#include "platform/paths.h"

namespace {

constexpr const char* kUsage =
    "usage: tamblor-pack --out OUT --base PLAYER DIR [--qz] [--stored] [--script NAME.scpt]\n"
    "       tamblor-pack --list FILE\n"
    "       tamblor-pack --extract FILE DIR\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int help() {
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "Makes a packaged player: a copy of the player PLAYER that carries the script and the\n"
               "companion files of DIR and runs them at every start, with no other file needed.\n"
               "DIR holds one *.scpt script (or name it with --script), ScriptInfo.ini with a\n"
               "[SCRIPTINFO] section (TITLE, Style, ModelName, SOCID, ProtocolType, ...) and any\n"
               "files the script uses. --qz writes QZ signatures, --stored leaves entries uncompressed.\n"
               "\n"
               "Example:\n"
               "  mkdir smoke && cp examples/sample.scpt smoke/\n"
               "  printf '[SCRIPTINFO]\\r\\nTITLE=Smoke\\r\\nStyle=30\\r\\n' > smoke/ScriptInfo.ini\n"
               "  tamblor-pack --out smoke-test --base ./build/tamblor smoke\n"
               "  tamblor-pack --list smoke-test      # sample.scpt as script.encode, ScriptInfo.ini\n"
               "  ./smoke-test --sim                  # runs the packaged script; exit code = the script's\n",
               stdout);
    return 0;
}

// Opens the package of a packaged player, or a plain archive file.
bool open_package(const std::string& file, tb::ZipReader& reader) {
    if (std::optional<tb::PackageLocation> where = tb::find_embedded_package(file))
        return reader.open(file, where->offset, where->length);
    return reader.open(file);
}

int list(const std::string& file) {
    tb::ZipReader reader;
    if (!open_package(file, reader)) {
        std::fprintf(stderr, "tamblor-pack: %s carries no package\n", file.c_str());
        return 1;
    }
    std::printf("%-8s %10s %10s %-8s %s\n", "Method", "Size", "Packed", "CRC-32", "Name");
    for (const tb::ZipEntry& e : reader.entries()) {
        const char* method = e.method == tb::kZipStored ? "stored" : e.method == tb::kZipDeflated ? "deflate" : "?";
        std::printf("%-8s %10u %10u %08X %s\n", method, e.uncompressed_size, e.compressed_size, e.crc32,
                    e.name.c_str());
    }
    std::printf("%zu entries\n", reader.entries().size());
    return 0;
}

int extract(const std::string& file, const std::string& dir) {
    tb::ZipReader reader;
    if (!open_package(file, reader)) {
        std::fprintf(stderr, "tamblor-pack: %s carries no package\n", file.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directory(tb::fs_path(dir), ec);
    if (ec) {
        std::fprintf(stderr, "tamblor-pack: cannot create %s\n", dir.c_str());
        return 1;
    }
    tb::ZipExtractReport report = tb::extract_all(reader, dir);
    for (const tb::ZipEntryReport& r : report.entries)
        if (r.status != tb::ZipStatus::Ok)
            std::fprintf(stderr, "tamblor-pack: skipped %s: %s\n", r.name.c_str(), tb::zip_status_text(r.status));
    std::printf("%zu extracted, %zu skipped\n", report.extracted, report.failed);
    return report.failed == 0 ? 0 : 1;
}

int pack(const std::string& out, const std::string& base, const std::string& dir,
         const tb::PackageBuildOptions& options) {
    std::string archive, error;
    std::vector<std::string> names;
    if (!tb::build_package_archive(dir, options, archive, error, &names) ||
        !tb::write_packaged_executable(base, archive, out, error)) {
        std::fprintf(stderr, "tamblor-pack: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& n : names) std::printf("  %s\n", n.c_str());
    std::printf("%s: %zu entries, archive %zu bytes\n", out.c_str(), names.size(), archive.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = tb::host::program_arguments(argc, argv);
    args.erase(args.begin());
    std::string out, base, list_file, extract_file;
    std::vector<std::string> free_words;
    tb::PackageBuildOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            return help();
        } else if (a == "--out") {
            if (!value(out)) return usage();
        } else if (a == "--base") {
            if (!value(base)) return usage();
        } else if (a == "--script") {
            if (!value(options.script)) return usage();
        } else if (a == "--list") {
            if (!value(list_file)) return usage();
        } else if (a == "--extract") {
            if (!value(extract_file)) return usage();
        } else if (a == "--qz") {
            options.qz_signature = true;
        } else if (a == "--stored") {
            options.deflate = false;
        } else if (a.rfind("--", 0) == 0) {
            return usage();
        } else {
            free_words.push_back(a);
        }
    }
    if (!list_file.empty()) return free_words.empty() ? list(list_file) : usage();
    if (!extract_file.empty()) return free_words.size() == 1 ? extract(extract_file, free_words[0]) : usage();
    if (out.empty() || base.empty() || free_words.size() != 1) return usage();
    return pack(out, base, free_words[0], options);
}
