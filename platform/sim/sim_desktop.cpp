#include "platform/sim/sim_desktop.h"

#include <filesystem>

#include "platform/host/temp_folder.h"
#include "platform/paths.h"

namespace tb::sim {

namespace {

class SimDesktop final : public Desktop {
public:
    bool open(const std::string&) override { return true; }
    bool open_with(const std::string&, const std::string&) override { return true; }
    std::string folder() override {
        const std::filesystem::path desk = host::temp_folder() / "tamblor-sim-desktop";
        std::error_code ec;
        std::filesystem::create_directories(desk, ec);
        return ec ? std::string() : utf8_path(desk);
    }
};

}  // namespace

std::unique_ptr<Desktop> make_sim_desktop() { return std::make_unique<SimDesktop>(); }

}  // namespace tb::sim
