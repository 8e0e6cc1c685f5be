// Making a packaged executable: the archive of a package folder appended to
// a copy of the player, followed by the package trailer.
#pragma once

#include <string>
#include <vector>

namespace tb {

struct PackageBuildOptions {
    bool qz_signature = false;  // local headers carry QZ\x03\x04
    bool deflate = true;        // deflate entries that get smaller
    // The plain script to encode, relative to the folder; empty: the one
    // "*.scpt" file at the top of the folder.
    std::string script;
};

// Builds the package archive of `folder`: its plain script encoded and
// stored as script.encode, then ScriptInfo.ini and every other file (sub-
// folders included, '/' separated). A folder without a plain script may
// carry script.encode itself. False with `error` set when the folder lacks
// the script or ScriptInfo.ini, or a file cannot be read.
bool build_package_archive(const std::string& folder, const PackageBuildOptions& options,
                           std::string& archive, std::string& error,
                           std::vector<std::string>* names = nullptr);

// Writes `out`: the executable `base` (without any package it already
// carries), the archive and the trailer; made executable. False with `error`.
bool write_packaged_executable(const std::string& base, const std::string& archive,
                               const std::string& out, std::string& error);

}  // namespace tb
