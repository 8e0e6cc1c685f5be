#include "platform/linux/linux_volumes.h"

#include "platform/linux/host_files.h"
#include "platform/linux/linux_volume_extents.h"

namespace tb::linuxdisk {

namespace {

// The mount point of "/dev/sdb1 on /mnt"; empty when not mounted.
std::string mount_point(const std::string& native_path) {
    size_t on = native_path.find(" on ");
    return on == std::string::npos ? std::string() : native_path.substr(on + 4);
}

class LinuxVolumes final : public Volumes {
public:
    std::string root_folder(const StorageAddress& volume) override { return mount_point(volume.native_path); }
    uint64_t free_bytes(const std::string& folder) override { return host_free_bytes(folder); }
    std::unique_ptr<NewFile> create_file(const std::string& path) override { return create_host_file(path); }
    bool remove_file(const std::string& path) override { return remove_host_file(path); }
    ExtentsStatus file_extents(const std::string& path, FileExtents& out, std::string* error) override {
        return linux_file_extents(path, out, error);
    }
    std::optional<uint64_t> volume_start(const StorageAddress& volume) override { return linux_volume_start(volume); }
};

}  // namespace

std::unique_ptr<Volumes> make_linux_volumes() { return std::make_unique<LinuxVolumes>(); }

}  // namespace tb::linuxdisk
