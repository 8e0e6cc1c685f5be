#include "platform/sim/sim_volumes.h"

#include <filesystem>

#include "common/format.h"
#include "platform/sim/host_volume_files.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_volume_extents.h"

namespace tb::sim {

namespace {

class SimVolumes final : public Volumes {
public:
    std::string root_folder(const StorageAddress& volume) override {
        SimMachine* m = current_sim_machine();
        if (!m || !volume.volume_letter) return {};
        std::string root = fmt("%s/volume_%c", m->config().folder, volume.volume_letter);
        std::error_code ec;
        std::filesystem::create_directories(host_path(root), ec);
        return root;
    }
    uint64_t free_bytes(const std::string& folder) override { return host_free_bytes(folder); }
    std::unique_ptr<NewFile> create_file(const std::string& path) override { return create_host_test_file(path); }
    bool remove_file(const std::string& path) override { return remove_host_test_file(path); }
    ExtentsStatus file_extents(const std::string& path, FileExtents& out, std::string* error) override {
        SimMachine* m = current_sim_machine();
        if (!m) return Volumes::file_extents(path, out, error);
        return sim_file_extents(*m, path, out, error);
    }
    std::optional<uint64_t> volume_start(const StorageAddress& volume) override {
        SimMachine* m = current_sim_machine();
        return m ? sim_volume_start(*m, volume) : std::nullopt;
    }
};

}  // namespace

std::unique_ptr<Volumes> make_sim_volumes() { return std::make_unique<SimVolumes>(); }

}  // namespace tb::sim
