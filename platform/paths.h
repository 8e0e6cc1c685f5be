// Path conventions. The system's texts name paths with backslashes; on this
// platform they become slashes in one place, here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tb {

// A path as the platform's file calls take it ("\" becomes "/").
std::string native_path(std::string_view path);
// A path written with this system's own separator ("\\" on Windows, "/"
// elsewhere), as its users write paths: for texts that name a file to them.
std::string system_spelling(std::string_view path);
// A UTF-8 path text as a file-system path (both separators accepted), and back.
std::filesystem::path fs_path(std::string_view path);
std::string utf8_path(const std::filesystem::path& path);
// Joins a folder and a name with one separator.
std::string path_join(std::string_view folder, std::string_view name);
// Folder part (without trailing separator), file name, name without extension, extension (with dot).
std::string path_folder(std::string_view path);
std::string path_file_name(std::string_view path);
std::string path_stem(std::string_view path);
std::string path_extension(std::string_view path);
bool file_exists(const std::string& path);
bool folder_exists(const std::string& path);
// Absolute form of a path (relative to the current folder).
std::string absolute_path(const std::string& path);
// Full path of the running executable.
std::string program_path();
// Whether a folder belongs to the system rather than to the user's test: one
// the user cannot write, or one of the system's program folders (an installed
// program's, even for the administrator).
bool is_system_folder(const std::string& folder);

}  // namespace tb
