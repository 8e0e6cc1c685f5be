// The package archive: a zip archive whose local headers may carry either
// the signature PK\x03\x04 or QZ\x03\x04. The reader walks the central
// directory, checks every local header against its directory entry and
// extracts stored and deflated entries one at a time; a bad entry is
// reported and skipped, never stopping the others. The writer produces the
// same format for the packer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/zip_limits.h"

namespace tb {

constexpr uint16_t kZipStored = 0;
constexpr uint16_t kZipDeflated = 8;

// One central-directory entry.
struct ZipEntry {
    std::string name;  // as stored (UTF-8); '\' and '/' both separate folders
    uint16_t version_made_by = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t crc32 = 0;
    uint32_t compressed_size = 0;
    uint32_t uncompressed_size = 0;
    uint32_t external_attributes = 0;
    uint32_t local_header_offset = 0;

    bool is_directory() const;
    // Permission bits to give the extracted file (from Unix or DOS attributes):
    // never writable by others, never setuid, setgid or sticky.
    unsigned file_mode() const;
    // Modification time from the DOS date and time (local time); 0 when invalid.
    int64_t modification_time() const;
};

enum class ZipStatus {
    Ok,
    BadLocalSignature,  // local header signature neither PK\3\4 nor QZ\3\4
    HeaderMismatch,     // local header disagrees with the central directory
    BadMethod,          // neither stored nor deflate
    Truncated,          // data run past the archive
    DataError,          // inflate failed, or the sizes do not add up
    Overflow,           // inflates to more than its declared size
    OverLimit,          // larger than the extraction limits allow
    CrcMismatch,
    UnsafeName,         // name would leave the target folder
    CreateFailed,       // folder or file could not be created
    WriteFailed,
    ReadFailed,
};

const char* zip_status_text(ZipStatus status);

// Reads an archive that occupies [offset, offset + length) of a file (the
// package sits at the tail of the executable; a plain zip file is the
// whole file). Offsets inside the archive count from its first byte.
class ZipReader {
  public:
    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the file and reads the central directory. False when the file
    // cannot be read or holds no usable end-of-central-directory record;
    // entries are then empty. A central directory cut short keeps the
    // entries read. Either way damage() says what is wrong.
    bool open(const std::string& path, uint64_t offset = 0, std::optional<uint64_t> length = {});
    void close();

    const std::vector<ZipEntry>& entries() const { return entries_; }
    // What is wrong with the archive as a whole; empty when it opened and its
    // central directory holds every entry the end record counts.
    const std::string& damage() const { return damage_; }

    // Checks the local header, then streams the entry's content to `sink`
    // in pieces of at most 16 KB. The CRC-32 is verified at the end, so the
    // sink may have seen data of an entry that then fails. A sink that
    // returns false ends the entry with WriteFailed.
    using Sink = std::function<bool(const char* data, size_t size)>;
    ZipStatus read_entry(const ZipEntry& entry, const Sink& sink) const;
    // The whole content of a small entry.
    ZipStatus read_entry(const ZipEntry& entry, std::string& out) const;

  private:
    bool read_at(uint64_t pos, void* buf, size_t size) const;
    // Closes the reader with `why` as its damage; false.
    bool fail_open(const char* why);

    struct FileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FILE, FileCloser> file_;
    uint64_t base_ = 0;
    uint64_t length_ = 0;
    uint64_t directory_offset_ = 0;
    std::vector<ZipEntry> entries_;
    std::string damage_;
};

// Turns an entry name into a path relative to the target folder with '/'
// separators, or nothing when the name is not acceptable: empty names,
// absolute names ("/x", "\x"), drive letters or any ':' ("C:x", "C:\x"),
// control characters, and any folder part ".." (or one that the Windows
// file calls would read as "..", such as ".. " or "..."). "." parts and
// doubled separators are dropped. A trailing separator marks a folder.
std::optional<std::string> safe_entry_path(std::string_view name);

struct ZipEntryReport {
    std::string name;
    ZipStatus status = ZipStatus::Ok;
};

struct ZipExtractReport {
    std::vector<ZipEntryReport> entries;  // central-directory order
    size_t extracted = 0;                 // entries written completely
    size_t failed = 0;
};

// Extracts every entry into `folder` (which must exist), creating the
// folders that names contain. Nothing is created outside `folder`, not even
// through symbolic links already present inside it. An entry over `limits`
// (alone, or with the entries before it) is not written. A failed file is
// removed again; the next entry is tried regardless.
ZipExtractReport extract_all(const ZipReader& reader, const std::string& folder, const ZipLimits& limits = {});

// Builds an archive in memory.
class ZipWriter {
  public:
    // With `qz_signature` every local header starts with QZ\x03\x04.
    explicit ZipWriter(bool qz_signature = false) : qz_(qz_signature) {}

    // Adds a file. Deflate falls back to stored when it would not save
    // space. `mode` gives the Unix permission bits; `mtime` the
    // modification time (seconds since the epoch, local DOS time stored).
    // False when the entry cannot be represented (size over 4 GB, name too long).
    bool add(std::string_view name, std::string_view data, uint16_t method = kZipDeflated,
             unsigned mode = 0644, int64_t mtime = 0);
    bool add_directory(std::string_view name, unsigned mode = 0755, int64_t mtime = 0);

    // The archive bytes: local headers and data, central directory, end record.
    std::string finish() const;

  private:
    bool append(std::string_view name, std::string_view data, uint16_t method, uint32_t crc,
                uint32_t raw_size, uint32_t attributes, int64_t mtime);

    bool qz_;
    std::string body_;
    std::string directory_;
    uint32_t count_ = 0;
};

// Raw deflate (no zlib header) of a buffer; false on a zlib failure.
bool raw_deflate(std::string_view data, std::string& out, int level = 9);

}  // namespace tb
