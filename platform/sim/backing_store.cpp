#include "platform/sim/backing_store.h"

#include "platform/sim/image_file.h"
#include "platform/sim/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tb::sim {

std::unique_ptr<BackingStore> BackingStore::open(const std::string& path, uint64_t size, std::string* error) {
    auto fd = open_image_file(AT_FDCWD, path, path, size, OtherSize::Refuse, error);
    if (!fd) return nullptr;
    return std::unique_ptr<BackingStore>(new BackingStore(std::move(fd), path, size));
}

std::unique_ptr<BackingStore> BackingStore::open_in(const PrivateFolder& folder, const std::string& name,
                                                    uint64_t size, std::string* error) {
    std::string path = folder.path_of(name);
    auto fd = open_image_file(folder.fd(), name, path, size, OtherSize::Resize, error);
    if (!fd) return nullptr;
    return std::unique_ptr<BackingStore>(new BackingStore(std::move(fd), path, size));
}

BackingStore::BackingStore(linuxdisk::UniqueFd fd, std::string path, uint64_t size)
    : file_(std::move(fd)), fd_(file_.get()), path_(std::move(path)), size_(size) {}

BackingStore::~BackingStore() = default;

bool BackingStore::pread_all(uint64_t offset, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {  // beyond the end of a short file: zeros
            std::memset(out.data() + done, 0, out.size() - done);
            return true;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool BackingStore::pwrite_all(uint64_t offset, std::span<const uint8_t> in) const {
    size_t done = 0;
    while (done < in.size()) {
        ssize_t n = ::pwrite(fd_, in.data() + done, in.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool BackingStore::read(uint64_t offset, std::span<uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset) return false;
    if (!pread_all(offset, out)) return false;
    std::lock_guard lock(mutex_);
    stats_.bytes_read += out.size();
    ++stats_.reads;
    return true;
}

WriteFate BackingStore::fate_of(uint64_t offset, uint64_t length, WriteFault* applied) {
    if (hook_) {
        WriteFate f = hook_(offset, length);
        if (f != WriteFate::Store) {
            applied->fate = f;
            return f;
        }
    }
    uint64_t last = length ? offset + length - 1 : offset;
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (last < it->first_byte || offset > it->last_byte) continue;
        *applied = *it;
        if (--it->count == 0) faults_.erase(it);
        return applied->fate;
    }
    return WriteFate::Store;
}

void BackingStore::remember_old_blocks(uint64_t offset, uint64_t length) {
    uint64_t first = offset / kBlock, last = (offset + length - 1) / kBlock;
    for (uint64_t b = first; b <= last; ++b) {
        if (undo_.count(b)) continue;
        uint64_t at = b * kBlock;
        std::vector<uint8_t> old(static_cast<size_t>(std::min<uint64_t>(kBlock, size_ - at)));
        if (!pread_all(at, old)) continue;
        undo_.emplace(b, std::move(old));
        undo_order_.push_back(b);
        while (undo_.size() > cache_blocks_max_ && !undo_order_.empty()) {
            undo_.erase(undo_order_.front());  // destaged: this block now counts as durable
            undo_order_.pop_front();
        }
    }
}

void BackingStore::forget_blocks(uint64_t offset, uint64_t length) {
    if (undo_.empty() || length == 0) return;
    uint64_t first = offset / kBlock, last = (offset + length - 1) / kBlock;
    if (last - first > undo_.size()) {
        for (auto it = undo_.begin(); it != undo_.end();) {
            if (it->first >= first && it->first <= last) it = undo_.erase(it);
            else ++it;
        }
    } else {
        for (uint64_t b = first; b <= last; ++b) undo_.erase(b);
    }
    std::erase_if(undo_order_, [&](uint64_t b) { return !undo_.count(b); });
}

bool BackingStore::write(uint64_t offset, std::span<const uint8_t> in, bool durable) {
    if (offset > size_ || in.size() > size_ - offset) return false;
    std::lock_guard lock(mutex_);
    stats_.bytes_written += in.size();
    ++stats_.writes;
    if (in.empty()) return true;
    WriteFault applied;
    WriteFate fate = fate_of(offset, in.size(), &applied);
    if (fate == WriteFate::Drop) {
        ++stats_.dropped_writes;
        return true;
    }
    if (durable) forget_blocks(offset, in.size());
    else if (cache_on_) remember_old_blocks(offset, in.size());
    if (fate == WriteFate::Corrupt) {
        ++stats_.corrupted_writes;
        std::vector<uint8_t> bad(in.begin(), in.end());
        for (size_t unit = 0; unit < bad.size(); unit += 512) {
            for (uint32_t k : applied.byte_in_unit) {
                if (k < 512 && unit + k < bad.size()) bad[unit + k] ^= applied.xor_mask;
            }
        }
        return pwrite_all(offset, bad);
    }
    return pwrite_all(offset, in);
}

bool BackingStore::trim(uint64_t offset, uint64_t length) {
    if (offset > size_ || length > size_ - offset) return false;
    std::lock_guard lock(mutex_);
    ++stats_.trims;
    if (length == 0) return true;
    forget_blocks(offset, length);
    if (::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                    static_cast<off_t>(length)) == 0)
        return true;
    // No hole punching on this file system: write zeros.
    std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(length, 1 << 20)));
    for (uint64_t done = 0; done < length;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), length - done));
        if (!pwrite_all(offset + done, std::span<const uint8_t>(zeros.data(), n))) return false;
        done += n;
    }
    return true;
}

bool BackingStore::flush() {
    std::lock_guard lock(mutex_);
    ++stats_.flushes;
    undo_.clear();
    undo_order_.clear();
    return true;
}

bool BackingStore::zero_all() {
    {
        std::lock_guard lock(mutex_);
        undo_.clear();
        undo_order_.clear();
    }
    if (::ftruncate(fd_, 0) != 0) return false;
    return ::ftruncate(fd_, static_cast<off_t>(size_)) == 0;
}

uint64_t BackingStore::allocated_bytes() const {
    struct stat st{};
    if (::fstat(fd_, &st) != 0) return size_;
    return std::min<uint64_t>(size_, static_cast<uint64_t>(st.st_blocks) * 512);
}

void BackingStore::set_write_cache(bool enabled) {
    std::lock_guard lock(mutex_);
    cache_on_ = enabled;
    if (!enabled) {  // turning the cache off destages it
        undo_.clear();
        undo_order_.clear();
    }
}

bool BackingStore::write_cache() const {
    std::lock_guard lock(mutex_);
    return cache_on_;
}

void BackingStore::set_cache_size(uint64_t bytes) {
    std::lock_guard lock(mutex_);
    cache_blocks_max_ = std::max<uint64_t>(1, bytes / kBlock);
}

uint64_t BackingStore::dirty_bytes() const {
    std::lock_guard lock(mutex_);
    return undo_.size() * kBlock;
}

uint64_t BackingStore::power_loss() {
    std::lock_guard lock(mutex_);
    uint64_t restored = 0;
    for (auto& [block, old] : undo_) {
        if (pwrite_all(block * kBlock, old)) restored += old.size();
    }
    undo_.clear();
    undo_order_.clear();
    return restored;
}

void BackingStore::add_write_fault(const WriteFault& fault) {
    if (fault.count == 0) return;
    std::lock_guard lock(mutex_);
    faults_.push_back(fault);
}

void BackingStore::set_write_hook(WriteHook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

void BackingStore::clear_faults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    hook_ = nullptr;
}

StoreStats BackingStore::stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

}  // namespace tb::sim
