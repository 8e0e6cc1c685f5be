// Script files: loading (with the restoring transform for encoded scripts),
// cutting statements, comment and line-break clean-up, collapsing, the else
// look-ahead and the file search for files that scripts name.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

// Reads a script; a file whose extension is not exactly ".scpt" is restored
// from its encoded form. Empty result: empty or unreadable file.
std::string load_script(const std::string& path);
// The same; `failure` says why a file could not be read ("Is a directory",
// "Permission denied", ...) and stays empty for a readable file, empty or not.
std::string load_script(const std::string& path, std::string& failure);

// The fixed substitution table of encoded scripts and its inverse (the packer's).
const std::array<uint8_t, 256>& script_decode_table();
const std::array<uint8_t, 256>& script_encode_table();
// Restores an encoded buffer in place: byte order reversed, then every byte substituted.
void decode_script_buffer(std::string& buffer);
// The inverse of decode_script_buffer.
void encode_script_buffer(std::string& buffer);

constexpr size_t kStatementWindow = 2048;
constexpr size_t kMaxStatementChars = 512;

// Cuts the next statement from `script` at `pos`: the raw bytes up to and
// including the first ';', '{' or '}'. Returns the number of bytes consumed.
size_t cut_statement(std::string_view script, size_t pos, std::string& raw);

// Comments ("//" up to CR LF) and line breaks become blanks; then trimmed.
std::string clean_statement(std::string_view raw);
// The same clean-up without the trimming: every byte keeps its position.
std::string blank_comments(std::string_view raw);

// Outside double quotes each run of blanks becomes one blank; ends trimmed.
std::string collapse_blanks(std::string_view text);

// Whether the statement after the one starting at `pos` begins with "else".
bool next_statement_is_else(std::string_view script, size_t pos);

// File search: a name containing ':' that exists; else the script's folder,
// the job's log folder and the program's folder. Empty when not found.
std::string find_script_file(int slot, std::string_view name);

}  // namespace tb
