#include "platform/sim/backing_store.h"

#include "platform/sim/image_file.h"
#include "platform/sim/private_folder.h"

#include <algorithm>

namespace tb::sim {

std::unique_ptr<BackingStore> BackingStore::open(const std::string& path, uint64_t size, std::string* error) {
    HostFile file = open_image_file(nullptr, path, path, size, OtherSize::Refuse, error);
    if (!file) return nullptr;
    return std::unique_ptr<BackingStore>(new BackingStore(std::move(file), path, size));
}

std::unique_ptr<BackingStore> BackingStore::open_in(const PrivateFolder& folder, const std::string& name,
                                                    uint64_t size, std::string* error) {
    std::string path = folder.path_of(name);
    HostFile file = open_image_file(&folder.folder(), name, path, size, OtherSize::Resize, error);
    if (!file) return nullptr;
    return std::unique_ptr<BackingStore>(new BackingStore(std::move(file), path, size));
}

BackingStore::BackingStore(HostFile file, std::string path, uint64_t size)
    : file_(std::move(file)), path_(std::move(path)), size_(size) {}

// A program that ran past the time of a power-loss rule lost the power
// then: the cached writes are undone before the file is let go.
BackingStore::~BackingStore() {
    std::lock_guard lock(mutex_);
    lost_power_locked();
}

bool BackingStore::read(uint64_t offset, std::span<uint8_t> out) {
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::optional<MediumFault> fault;
    {
        std::lock_guard lock(mutex_);
        if (lost_power_locked()) return false;
        fault = faults_.take_read(offset, out.size(), [&] { return history_.has_any(offset, out.size()); });
        if (fault && fault->kind == FaultKind::ReadError) {
            ++stats_.read_errors;
            return false;
        }
    }
    if (!file_.read_at(offset, out)) return false;
    std::lock_guard lock(mutex_);
    if (fault && fault->kind == FaultKind::StaleRead) {
        history_.overlay(offset, out);
        ++stats_.stale_reads;
    }
    stats_.bytes_read += out.size();
    ++stats_.reads;
    return true;
}

std::optional<MediumFault> BackingStore::write_fault(uint64_t offset, uint64_t length) {
    if (hook_) {
        WriteFate f = hook_(offset, length);
        if (f != WriteFate::Store) {
            MediumFault m;
            m.kind = f == WriteFate::Drop ? FaultKind::DropWrite : FaultKind::CorruptWrite;
            m.xor_mask = WriteFault{}.xor_mask;
            m.byte_in_unit = WriteFault{}.byte_in_unit;
            return m;
        }
    }
    return faults_.take_write(offset, length);
}

// Puts `data` on the medium at `at`, journalling what it replaces while the
// cache holds it and remembering the previous sectors a stale read may want.
bool BackingStore::store_write(uint64_t at, std::span<const uint8_t> data, bool durable) {
    const bool cached = cache_on_ && !durable;
    const bool watched = faults_.watches_stale(at, data.size());
    if (cached || watched) {
        std::vector<uint8_t> old(data.size());
        if (!file_.read_at(at, old)) return false;
        if (watched) history_.remember(at, old);
        if (cached) journal_.record(at, std::move(old));
    }
    if (!cached) journal_.note_durable(at, data.size());
    return file_.write_at(at, data);
}

bool BackingStore::write(uint64_t offset, std::span<const uint8_t> in, bool durable) {
    if (offset > size_ || in.size() > size_ - offset) return false;
    std::lock_guard lock(mutex_);
    if (lost_power_locked()) return false;
    stats_.bytes_written += in.size();
    ++stats_.writes;
    if (in.empty()) return true;
    std::optional<MediumFault> fault = write_fault(offset, in.size());
    bool ok = true;
    if (!fault) {
        ok = store_write(offset, in, durable);
    } else if (fault->kind == FaultKind::DropWrite) {
        ++stats_.dropped_writes;
    } else if (fault->kind == FaultKind::MisdirectWrite) {
        ++stats_.misdirected_writes;
        ok = store_write(faults_.misdirect(*fault, offset, in.size(), size_), in, durable);
    } else {
        ++stats_.corrupted_writes;
        std::vector<uint8_t> bad(in.begin(), in.end());
        faults_.corrupt(*fault, bad);
        ok = store_write(offset, bad, durable);
    }
    count_write_locked();
    return ok;
}

bool BackingStore::trim(uint64_t offset, uint64_t length) {
    if (offset > size_ || length > size_ - offset) return false;
    std::lock_guard lock(mutex_);
    if (lost_power_locked()) return false;
    ++stats_.trims;
    if (length == 0) return true;
    journal_.note_durable(offset, length);
    history_.forget(offset, length);
    if (file_.punch_hole(offset, length)) return true;
    // No hole punching on this file system: write zeros.
    std::vector<uint8_t> zeros(static_cast<size_t>(std::min<uint64_t>(length, 1 << 20)));
    for (uint64_t done = 0; done < length;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), length - done));
        if (!file_.write_at(offset + done, std::span<const uint8_t>(zeros.data(), n))) return false;
        done += n;
    }
    return true;
}

bool BackingStore::flush() {
    std::lock_guard lock(mutex_);
    if (lost_power_locked()) return false;
    ++stats_.flushes;
    journal_.clear();
    return true;
}

bool BackingStore::zero_all() {
    {
        std::lock_guard lock(mutex_);
        if (lost_power_locked()) return false;
        journal_.clear();
        history_.clear();
    }
    return file_.set_size(0) && file_.set_size(size_);
}

uint64_t BackingStore::allocated_bytes() const {
    return std::min<uint64_t>(size_, file_.allocated_bytes(size_));
}

void BackingStore::set_write_cache(bool enabled) {
    std::lock_guard lock(mutex_);
    cache_on_ = enabled;
    if (!enabled) journal_.clear();  // turning the cache off destages it
}

void BackingStore::set_cache_size(uint64_t bytes) {
    std::lock_guard lock(mutex_);
    journal_.set_limit(bytes);
}

uint64_t BackingStore::dirty_bytes() const {
    std::lock_guard lock(mutex_);
    return journal_.cached_bytes();
}

uint64_t BackingStore::undo_cached_writes() {
    WriteJournal::Landed landed;
    if (power_rule_.random_subset) landed = [this] { return faults_.coin(); };
    history_.clear();
    return journal_.undo(landed, [this](uint64_t at, std::span<const uint8_t> old) { return file_.write_at(at, old); });
}

uint64_t BackingStore::power_loss() {
    std::lock_guard lock(mutex_);
    return undo_cached_writes();
}

void BackingStore::lose_power_locked() {
    if (power_lost_) return;
    undo_cached_writes();
    power_lost_ = true;
    file_.sync();  // what is left is what the next program finds
}

bool BackingStore::lost_power_locked() {
    if (!power_lost_ && power_rule_.at_ms) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - opened_);
        if (static_cast<uint64_t>(elapsed.count()) >= power_rule_.at_ms) lose_power_locked();
    }
    return power_lost_;
}

void BackingStore::count_write_locked() {
    ++writes_seen_;
    if (power_rule_.after_writes && writes_seen_ >= power_rule_.after_writes) lose_power_locked();
}

bool BackingStore::power_lost() {
    std::lock_guard lock(mutex_);
    return lost_power_locked();
}

void BackingStore::set_power_loss_rule(const PowerLossRule& rule) {
    std::lock_guard lock(mutex_);
    power_rule_ = rule;
    opened_ = std::chrono::steady_clock::now();
    writes_seen_ = 0;
}

void BackingStore::add_write_fault(const WriteFault& fault) {
    if (fault.count == 0) return;
    MediumFault m;
    m.kind = fault.fate == WriteFate::Drop ? FaultKind::DropWrite : FaultKind::CorruptWrite;
    m.count = fault.count;
    m.first_byte = fault.first_byte;
    m.last_byte = fault.last_byte;
    m.xor_mask = fault.xor_mask;
    m.byte_in_unit = fault.byte_in_unit;
    add_fault(m);
}

void BackingStore::add_fault(const MediumFault& fault) {
    std::lock_guard lock(mutex_);
    faults_.add(fault);
}

void BackingStore::set_fault_seed(uint64_t seed) {
    std::lock_guard lock(mutex_);
    faults_.reseed(seed);
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
