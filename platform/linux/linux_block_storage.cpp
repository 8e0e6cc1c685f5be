#include "platform/linux/linux_block_storage.h"

#include "common/format.h"
#include "platform/linux/fd_target.h"

namespace tb::linuxdisk {

namespace {

// The block device of a record: "/dev/sdb", or the source of "/dev/sdb1 on /mnt".
std::string device_node(const std::string& native_path) {
    size_t on = native_path.find(" on ");
    return on == std::string::npos ? native_path : native_path.substr(0, on);
}

class LinuxBlockStorage final : public BlockStorage {
public:
    std::unique_ptr<IoTarget> open_disk(const StorageAddress& where, std::string* error) override {
        std::string node = device_node(where.native_path);
        if (node.empty()) {
            if (error) *error = fmt("%s has no device node", where.path);
            return nullptr;
        }
        return open_fd_target(node, error);
    }

    std::unique_ptr<IoTarget> open_path(const std::string& path, const PathOptions& options,
                                        std::string* error) override {
        return open_fd_target(path, error, options);
    }

    void set_completion_mode(CompletionMode mode) override {
        set_ring_mode(mode == CompletionMode::Interrupt  ? RingMode::Interrupt
                      : mode == CompletionMode::Deferred ? RingMode::Deferred
                                                         : RingMode::Cooperative);
    }
};

}  // namespace

std::unique_ptr<BlockStorage> make_linux_block_storage() { return std::make_unique<LinuxBlockStorage>(); }

}  // namespace tb::linuxdisk
