// A small reader and writer of INI files with the semantics of the Windows
// profile functions: "[Section]" lines, "key=value" lines, section and key
// names compared case-insensitively, values trimmed (and one pair of
// enclosing quotes removed when reading). Writing changes only the line of
// the key (or inserts one) and keeps every other line, the line endings and
// the file's encoding (UTF-8, UTF-8 with BOM or UTF-16LE with BOM).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

class IniFile {
  public:
    // Reads a file; false when it cannot be read (the document is then empty).
    bool load(const std::string& path);
    // Replaces the document by the lines of `text` (UTF-8).
    void parse(std::string_view text);

    // The value of the first key of that name in the first section of that name.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Sets a key, adding the key or the section when missing.
    void set(std::string_view section, std::string_view key, std::string_view value);

    // Section names and the key names of a section, in file order.
    std::vector<std::string> sections() const;
    std::vector<std::string> keys(std::string_view section) const;

    // The document as UTF-8 text with its line endings.
    std::string text() const;
    // Writes the document in its original encoding; false on failure.
    bool save(const std::string& path) const;

  private:
    enum class Encoding { Utf8, Utf8Bom, Utf16Le };

    // Index range [begin, end) of the lines of the first section of that name
    // (the header line excluded); begin == npos when absent.
    struct Range {
        size_t header, begin, end;
    };
    std::optional<Range> find_section(std::string_view section) const;

    std::vector<std::string> lines_;
    std::string eol_ = "\r\n";
    Encoding encoding_ = Encoding::Utf8;
};

// Profile-style shorthands: the value or `fallback`; set creates the file.
std::string ini_read_string(const std::string& path, std::string_view section, std::string_view key,
                            std::string_view fallback);
bool ini_write_string(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace tb
