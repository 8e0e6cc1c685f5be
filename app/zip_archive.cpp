#include "app/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "common/format.h"
#include "platform/host/confined_folder.h"
#include "platform/host/file_position.h"
#include "platform/host/local_time.h"
#include "platform/host/open_file.h"
#include "platform/paths.h"

namespace tb {

namespace {

constexpr size_t kPiece = 16 * 1024;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kDirectoryHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kMaxComment = 0xFFFF;

// The file-type field of Unix mode bits, as zip tools store them.
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixRegular = 0100000;
constexpr uint32_t kUnixFolder = 0040000;

uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

bool is_local_signature(const unsigned char* p) {
    return (p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4) ||
           (p[0] == 'Q' && p[1] == 'Z' && p[2] == 3 && p[3] == 4);
}

uint32_t crc_update(uint32_t crc, const char* data, size_t size) {
    return static_cast<uint32_t>(
        ::crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

// An inflate stream that is always ended.
class Inflater {
  public:
    Inflater() { ok_ = inflateInit2(&zs_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok_) inflateEnd(&zs_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ok() const { return ok_; }
    z_stream& stream() { return zs_; }

  private:
    z_stream zs_{};
    bool ok_ = false;
};

class Deflater {
  public:
    explicit Deflater(int level) {
        ok_ = deflateInit2(&zs_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() {
        if (ok_) deflateEnd(&zs_);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    bool ok() const { return ok_; }
    z_stream& stream() { return zs_; }

  private:
    z_stream zs_{};
    bool ok_ = false;
};

void dos_time_of(int64_t mtime, uint16_t& time, uint16_t& date) {
    time = 0;
    date = (1 << 5) | 1;  // 1980-01-01
    if (mtime <= 0) return;
    std::time_t t = static_cast<std::time_t>(mtime);
    const std::tm tm = host::local_time(t);
    if (tm.tm_year < 80 || tm.tm_year > 207) return;
    time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

}  // namespace

// ---------------------------------------------------------------- entries

bool ZipEntry::is_directory() const {
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) return true;
    if ((version_made_by >> 8) == 3) return ((external_attributes >> 16) & kUnixTypeMask) == kUnixFolder;
    return (external_attributes & 0x10) != 0;
}

unsigned ZipEntry::file_mode() const {
    unsigned mode = 0;
    if ((version_made_by >> 8) == 3) mode = (external_attributes >> 16) & 0777;
    if (mode == 0) mode = (external_attributes & 0x01) ? 0444 : 0644;  // DOS read-only bit
    return (mode & 0755) | 0400;
}

int64_t ZipEntry::modification_time() const {
    if (dos_date == 0) return 0;
    std::tm tm{};
    tm.tm_year = (dos_date >> 9) + 80;
    tm.tm_mon = ((dos_date >> 5) & 0x0F) - 1;
    tm.tm_mday = dos_date & 0x1F;
    tm.tm_hour = dos_time >> 11;
    tm.tm_min = (dos_time >> 5) & 0x3F;
    tm.tm_sec = (dos_time & 0x1F) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday == 0) return 0;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

const char* zip_status_text(ZipStatus status) {
    switch (status) {
        case ZipStatus::Ok: return "ok";
        case ZipStatus::BadLocalSignature: return "bad local header signature";
        case ZipStatus::HeaderMismatch: return "local header disagrees with the central directory";
        case ZipStatus::BadMethod: return "unsupported compression method";
        case ZipStatus::Truncated: return "entry data past the end of the archive";
        case ZipStatus::DataError: return "corrupt compressed data";
        case ZipStatus::Overflow: return "inflates past its declared size";
        case ZipStatus::OverLimit: return "over the extraction limits";
        case ZipStatus::CrcMismatch: return "CRC mismatch";
        case ZipStatus::UnsafeName: return "name leaves the target folder";
        case ZipStatus::CreateFailed: return "cannot create";
        case ZipStatus::WriteFailed: return "cannot write";
        case ZipStatus::ReadFailed: return "cannot read the archive";
    }
    return "?";
}

// ---------------------------------------------------------------- reader

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;

void ZipReader::close() {
    file_.reset();
    entries_.clear();
    damage_.clear();
    base_ = length_ = directory_offset_ = 0;
}

bool ZipReader::read_at(uint64_t pos, void* buf, size_t size) const {
    if (!file_ || pos > length_ || size > length_ - pos) return false;
    if (!host::seek_file(file_.get(), base_ + pos)) return false;
    return std::fread(buf, 1, size, file_.get()) == size;
}

bool ZipReader::fail_open(const char* why) {
    close();
    damage_ = why;
    return false;
}

bool ZipReader::open(const std::string& path, uint64_t offset, std::optional<uint64_t> length) {
    close();
    const std::filesystem::path file = fs_path(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return fail_open("cannot read the archive");
    file_.reset(host::open_file(file, "rb"));
    if (!file_) return fail_open("cannot read the archive");
    const uint64_t size = std::filesystem::file_size(file, ec);
    if (ec) return fail_open("cannot read the archive");
    if (offset > size) return fail_open("the archive lies past the end of the file");
    base_ = offset;
    length_ = length ? std::min(*length, size - offset) : size - offset;
    if (length_ < kEndRecordSize) return fail_open("no end-of-central-directory record");

    // The end record is searched for backwards over the longest possible comment.
    size_t tail_size = static_cast<size_t>(std::min<uint64_t>(length_, kEndRecordSize + kMaxComment));
    std::vector<unsigned char> tail(tail_size);
    if (!read_at(length_ - tail_size, tail.data(), tail_size)) return fail_open("cannot read the archive");
    bool found = false;
    uint32_t dir_size = 0, dir_offset = 0;
    uint16_t dir_count = 0;
    bool one_part = true;
    for (size_t i = tail_size - kEndRecordSize + 1; i-- > 0;) {
        const unsigned char* p = tail.data() + i;
        if (p[0] != 'P' || p[1] != 'K' || p[2] != 5 || p[3] != 6) continue;
        uint64_t record_pos = length_ - tail_size + i;
        uint32_t size32 = get32(p + 12), offset32 = get32(p + 16);
        if (static_cast<uint64_t>(size32) + offset32 > record_pos) continue;
        dir_count = get16(p + 10);
        one_part = get16(p + 4) == 0 && get16(p + 6) == 0 && get16(p + 8) == dir_count;
        dir_size = size32;
        dir_offset = offset32;
        found = true;
        break;
    }
    if (!found) return fail_open("no end-of-central-directory record");
    if (!one_part) return fail_open("the end-of-central-directory record names several parts");
    directory_offset_ = dir_offset;

    std::vector<unsigned char> dir(dir_size);
    if (dir_size > 0 && !read_at(dir_offset, dir.data(), dir_size)) return fail_open("cannot read the archive");
    size_t pos = 0;
    for (uint32_t n = 0; n < dir_count; ++n) {
        if (dir_size - pos < kDirectoryHeaderSize) break;
        const unsigned char* p = dir.data() + pos;
        if (p[0] != 'P' || p[1] != 'K' || p[2] != 1 || p[3] != 2) break;
        size_t name_len = get16(p + 28), extra_len = get16(p + 30), comment_len = get16(p + 32);
        size_t record = kDirectoryHeaderSize + name_len + extra_len + comment_len;
        if (dir_size - pos < record) break;
        ZipEntry e;
        e.version_made_by = get16(p + 4);
        e.flags = get16(p + 8);
        e.method = get16(p + 10);
        e.dos_time = get16(p + 12);
        e.dos_date = get16(p + 14);
        e.crc32 = get32(p + 16);
        e.compressed_size = get32(p + 20);
        e.uncompressed_size = get32(p + 24);
        e.external_attributes = get32(p + 38);
        e.local_header_offset = get32(p + 42);
        e.name.assign(reinterpret_cast<const char*>(p + kDirectoryHeaderSize), name_len);
        entries_.push_back(std::move(e));
        pos += record;
    }
    if (entries_.size() != dir_count)
        damage_ = fmt("the central directory holds %u of %u entries", static_cast<unsigned>(entries_.size()),
                      static_cast<unsigned>(dir_count));
    return true;
}

ZipStatus ZipReader::read_entry(const ZipEntry& entry, const Sink& sink) const {
    if (!file_) return ZipStatus::ReadFailed;
    // Local headers and their data lie before the central directory.
    const uint64_t limit = directory_offset_;
    unsigned char h[kLocalHeaderSize];
    if (static_cast<uint64_t>(entry.local_header_offset) + kLocalHeaderSize > limit ||
        !read_at(entry.local_header_offset, h, sizeof h))
        return ZipStatus::Truncated;
    if (!is_local_signature(h)) return ZipStatus::BadLocalSignature;
    uint16_t flags = get16(h + 6);
    uint16_t method = get16(h + 8);
    if (method != entry.method) return ZipStatus::HeaderMismatch;
    if (method != kZipStored && method != kZipDeflated) return ZipStatus::BadMethod;
    if (!(flags & 0x08) &&
        (get32(h + 14) != entry.crc32 || get32(h + 18) != entry.compressed_size ||
         get32(h + 22) != entry.uncompressed_size))
        return ZipStatus::HeaderMismatch;
    if (get16(h + 26) != entry.name.size()) return ZipStatus::HeaderMismatch;
    std::string local_name(entry.name.size(), '\0');
    if (!local_name.empty() &&
        (static_cast<uint64_t>(entry.local_header_offset) + kLocalHeaderSize + local_name.size() > limit ||
         !read_at(entry.local_header_offset + kLocalHeaderSize, local_name.data(), local_name.size())))
        return ZipStatus::Truncated;
    if (local_name != entry.name) return ZipStatus::HeaderMismatch;
    uint64_t data = static_cast<uint64_t>(entry.local_header_offset) + kLocalHeaderSize +
                    get16(h + 26) + get16(h + 28);
    if (data > limit || entry.compressed_size > limit - data) return ZipStatus::Truncated;

    uint32_t crc = crc_update(0, nullptr, 0);
    std::vector<char> in(kPiece);
    uint64_t remaining = entry.compressed_size;
    uint64_t pos = data;

    if (method == kZipStored) {
        if (entry.compressed_size != entry.uncompressed_size) return ZipStatus::DataError;
        while (remaining > 0) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, kPiece));
            if (!read_at(pos, in.data(), n)) return ZipStatus::ReadFailed;
            crc = crc_update(crc, in.data(), n);
            if (!sink(in.data(), n)) return ZipStatus::WriteFailed;
            pos += n;
            remaining -= n;
        }
    } else {
        Inflater inflater;
        if (!inflater.ok()) return ZipStatus::DataError;
        z_stream& zs = inflater.stream();
        std::vector<char> out(kPiece);
        uint64_t produced = 0;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (zs.avail_in == 0) {
                if (remaining == 0) return ZipStatus::DataError;  // stream cut short
                size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, kPiece));
                if (!read_at(pos, in.data(), n)) return ZipStatus::ReadFailed;
                pos += n;
                remaining -= n;
                zs.next_in = reinterpret_cast<Bytef*>(in.data());
                zs.avail_in = static_cast<uInt>(n);
            }
            zs.next_out = reinterpret_cast<Bytef*>(out.data());
            zs.avail_out = static_cast<uInt>(out.size());
            rc = inflate(&zs, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) return ZipStatus::DataError;
            size_t got = out.size() - zs.avail_out;
            produced += got;
            if (produced > entry.uncompressed_size) return ZipStatus::Overflow;
            if (got > 0) {
                crc = crc_update(crc, out.data(), got);
                if (!sink(out.data(), got)) return ZipStatus::WriteFailed;
            }
        }
        if (produced != entry.uncompressed_size) return ZipStatus::DataError;
    }
    return crc == entry.crc32 ? ZipStatus::Ok : ZipStatus::CrcMismatch;
}

ZipStatus ZipReader::read_entry(const ZipEntry& entry, std::string& out) const {
    out.clear();
    return read_entry(entry, [&out](const char* data, size_t size) {
        out.append(data, size);
        return true;
    });
}

// ---------------------------------------------------------------- names

std::optional<std::string> safe_entry_path(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (name.front() == '/' || name.front() == '\\') return std::nullopt;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ':') return std::nullopt;
    }
    std::string out;
    bool folder = name.back() == '/' || name.back() == '\\';
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        // The Windows file calls drop trailing dots and blanks, so ".. " and
        // "..." would name the parent there; refuse every part made of them.
        if (part.find_first_not_of(". ") == std::string_view::npos) return std::nullopt;
        if (!out.empty()) out += '/';
        out += part;
    }
    if (out.empty()) return std::nullopt;
    if (folder) out += '/';
    return out;
}

// ---------------------------------------------------------------- extraction

namespace {

ZipStatus extract_one(const ZipReader& reader, const ZipEntry& entry, const host::ConfinedFolder& root) {
    std::optional<std::string> rel = safe_entry_path(entry.name);
    if (!rel) return ZipStatus::UnsafeName;
    bool folder_only = entry.is_directory();
    std::string path = *rel;
    if (!path.empty() && path.back() == '/') path.pop_back();

    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    std::string leaf = folder_only ? std::string() : parts.back();
    if (!folder_only) parts.pop_back();

    // The folders are walked without following links, the missing ones made.
    if (folder_only) return root.make_folders(parts) ? ZipStatus::Ok : ZipStatus::CreateFailed;
    std::unique_ptr<host::ConfinedFile> file = root.create_file(parts, leaf);
    if (!file) return ZipStatus::CreateFailed;
    ZipStatus status = reader.read_entry(entry, [&file](const char* data, size_t size) {
        return file->write(data, size);
    });
    // A file not finished is removed when dropped.
    if (status == ZipStatus::Ok && !file->finish(entry.file_mode(), entry.modification_time()))
        status = ZipStatus::WriteFailed;
    return status;
}

}  // namespace

ZipExtractReport extract_all(const ZipReader& reader, const std::string& folder, const ZipLimits& limits) {
    ZipExtractReport report;
    const host::ConfinedFolder root(fs_path(folder));
    uint64_t total = 0;
    for (const ZipEntry& entry : reader.entries()) {
        ZipStatus status = ZipStatus::CreateFailed;
        if (entry_over_limits(entry, limits) || total + entry.uncompressed_size > limits.total_bytes)
            status = ZipStatus::OverLimit;
        else if (root.is_open())
            status = extract_one(reader, entry, root);
        if (status == ZipStatus::Ok) total += entry.uncompressed_size;
        report.entries.push_back({entry.name, status});
        if (status == ZipStatus::Ok)
            ++report.extracted;
        else
            ++report.failed;
    }
    return report;
}

// ---------------------------------------------------------------- writer

bool raw_deflate(std::string_view data, std::string& out, int level) {
    out.clear();
    Deflater deflater(level);
    if (!deflater.ok()) return false;
    z_stream& zs = deflater.stream();
    std::vector<char> buf(kPiece);
    size_t pos = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0 && pos < data.size()) {
            size_t n = std::min<size_t>(data.size() - pos, 1u << 30);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
            zs.avail_in = static_cast<uInt>(n);
            pos += n;
        }
        zs.next_out = reinterpret_cast<Bytef*>(buf.data());
        zs.avail_out = static_cast<uInt>(buf.size());
        rc = deflate(&zs, pos == data.size() && zs.avail_in == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
        out.append(buf.data(), buf.size() - zs.avail_out);
    }
    return true;
}

bool ZipWriter::append(std::string_view name, std::string_view data, uint16_t method, uint32_t crc,
                       uint32_t raw_size, uint32_t attributes, int64_t mtime) {
    if (name.empty() || name.size() > 0xFFFF || count_ >= 0xFFFF) return false;
    if (data.size() > 0xFFFFFFFFu || body_.size() > 0xFFFFFFFFu - kLocalHeaderSize - name.size() -
                                                        data.size())
        return false;
    uint16_t time, date;
    dos_time_of(mtime, time, date);
    const uint16_t needed = method == kZipDeflated ? 20 : 10;
    const uint16_t flags = 0x0800;  // names are UTF-8
    uint32_t offset = static_cast<uint32_t>(body_.size());

    if (qz_)
        body_ += std::string_view("QZ\x03\x04", 4);
    else
        body_ += std::string_view("PK\x03\x04", 4);
    put16(body_, needed);
    put16(body_, flags);
    put16(body_, method);
    put16(body_, time);
    put16(body_, date);
    put32(body_, crc);
    put32(body_, static_cast<uint32_t>(data.size()));
    put32(body_, raw_size);
    put16(body_, static_cast<uint32_t>(name.size()));
    put16(body_, 0);
    body_ += name;
    body_ += data;

    directory_ += std::string_view("PK\x01\x02", 4);
    put16(directory_, (3u << 8) | 20);  // made by Unix, zip format version 2.0
    put16(directory_, needed);
    put16(directory_, flags);
    put16(directory_, method);
    put16(directory_, time);
    put16(directory_, date);
    put32(directory_, crc);
    put32(directory_, static_cast<uint32_t>(data.size()));
    put32(directory_, raw_size);
    put16(directory_, static_cast<uint32_t>(name.size()));
    put16(directory_, 0);  // extra
    put16(directory_, 0);  // comment
    put16(directory_, 0);  // disk
    put16(directory_, 0);  // internal attributes
    put32(directory_, attributes);
    put32(directory_, offset);
    directory_ += name;
    ++count_;
    return true;
}

bool ZipWriter::add(std::string_view name, std::string_view data, uint16_t method, unsigned mode,
                    int64_t mtime) {
    if (data.size() > 0xFFFFFFFFu) return false;
    uint32_t crc = crc_update(crc_update(0, nullptr, 0), data.data(), data.size());
    uint32_t attributes = ((kUnixRegular | (mode & 07777)) << 16) | ((mode & 0200) ? 0 : 0x01);
    if (method == kZipDeflated) {
        std::string packed;
        if (!raw_deflate(data, packed)) return false;
        if (packed.size() < data.size())
            return append(name, packed, kZipDeflated, crc, static_cast<uint32_t>(data.size()),
                          attributes, mtime);
        method = kZipStored;
    }
    if (method != kZipStored) return false;
    return append(name, data, kZipStored, crc, static_cast<uint32_t>(data.size()), attributes, mtime);
}

bool ZipWriter::add_directory(std::string_view name, unsigned mode, int64_t mtime) {
    std::string n(name);
    if (n.empty() || (n.back() != '/' && n.back() != '\\')) n += '/';
    uint32_t attributes = ((kUnixFolder | (mode & 07777)) << 16) | 0x10;
    return append(n, {}, kZipStored, 0, 0, attributes, mtime);
}

std::string ZipWriter::finish() const {
    std::string out = body_;
    out += directory_;
    out += std::string_view("PK\x05\x06", 4);
    put16(out, 0);
    put16(out, 0);
    put16(out, count_);
    put16(out, count_);
    put32(out, static_cast<uint32_t>(directory_.size()));
    put32(out, static_cast<uint32_t>(body_.size()));
    put16(out, 0);
    return out;
}

}  // namespace tb
