#include "platform/sim/host_volume_files.h"

#include "platform/linux/fd_target.h"
#include "platform/linux/host_files.h"

namespace tb::sim {

uint64_t host_free_bytes(const std::string& folder) { return linuxdisk::host_free_bytes(folder); }

std::unique_ptr<NewFile> create_host_test_file(const std::string& path) { return linuxdisk::create_host_file(path); }

bool remove_host_test_file(const std::string& path) { return linuxdisk::remove_host_file(path); }

std::unique_ptr<IoTarget> open_host_path(const std::string& path, const PathOptions& options, std::string* error) {
    return open_fd_target(path, error, options);
}

}  // namespace tb::sim
