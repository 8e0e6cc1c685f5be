// An owning FILE* wrapper and whole-file helpers, so that every path that
// opens a file also closes it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "platform/host/open_file.h"
#include "platform/paths.h"

namespace tb {

class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(std::FILE* f) : f_(f) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& o) noexcept : f_(std::exchange(o.f_, nullptr)) {}
    FileHandle& operator=(FileHandle&& o) noexcept {
        if (this != &o) reset(std::exchange(o.f_, nullptr));
        return *this;
    }
    ~FileHandle() { reset(); }

    // Opens a path in the system's notation ("\" separators allowed).
    static FileHandle open(std::string_view path, const char* mode) {
        return FileHandle(host::open_file(fs_path(path), mode));
    }

    std::FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }
    // Gives up ownership (for handles kept in long-lived records).
    std::FILE* release() { return std::exchange(f_, nullptr); }
    void reset(std::FILE* f = nullptr) {
        if (f_) std::fclose(f_);
        f_ = f;
    }

private:
    std::FILE* f_ = nullptr;
};

// Closes a handle kept in a long-lived record and marks it closed.
inline void close_file(std::FILE*& f) {
    if (f) std::fclose(f);
    f = nullptr;
}

// Reads a whole file; false when it cannot be opened.
inline bool read_file_bytes(std::string_view path, std::string& out) {
    out.clear();
    FileHandle f = FileHandle::open(path, "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) out.append(buf, n);
    return !std::ferror(f.get());
}

// Writes (or appends) bytes; false when the file cannot be opened or written.
inline bool write_file_bytes(std::string_view path, std::string_view data, bool append = false) {
    FileHandle f = FileHandle::open(path, append ? "ab" : "wb");
    if (!f) return false;
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f.get()) != data.size()) return false;
    return std::fflush(f.get()) == 0;
}

}  // namespace tb
