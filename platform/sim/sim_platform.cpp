#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {
class EmptyPlatform final : public DiskPlatform {
public:
    std::string name() const override { return "sim"; }
    std::vector<DiscoveredDisk> discover() override { return {}; }
    std::unique_ptr<DiskDevice> open(const std::string&) override { return nullptr; }
};
}  // namespace

std::unique_ptr<DiskPlatform> make_sim_platform(const std::string&) { return std::make_unique<EmptyPlatform>(); }

SimMachine* current_sim_machine() { return nullptr; }

}  // namespace tb::sim
