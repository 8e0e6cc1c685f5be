#include "platform/sim/sim_relay.h"

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_power_switches.h"

namespace tb::sim {

namespace {

constexpr RelayDevice kRelayHandle = 1;
constexpr int kChannels = 8;
constexpr int kFail = 1;

class SimRelayLibrary final : public RelayLibrary {
public:
    explicit SimRelayLibrary(SimMachine& machine)
        : machine_(machine), relay_(machine.config().power.relay) {}

    int init() override { return 0; }
    int exit() override { return 0; }
    std::vector<std::string> serial_numbers(size_t longest) override {
        if (!relay_.present) return {};
        return {relay_.serial.substr(0, longest)};
    }
    RelayDevice open(const std::string& serial) override {
        return relay_.present && serial == relay_.serial ? kRelayHandle : 0;
    }
    int open_channel(RelayDevice d, int channel) override { return set_channel(d, channel, true); }
    int close_channel(RelayDevice d, int channel) override { return set_channel(d, channel, false); }
    int status(RelayDevice d, uint32_t& bits) override {
        if (d != kRelayHandle) return kFail;
        bits = SimPowerSwitches::of(machine_).relay_on() ? 0u : 1u;
        return 0;
    }
    void close(RelayDevice) override {}

private:
    int set_channel(RelayDevice d, int channel, bool open) {
        if (d != kRelayHandle || channel < 1 || channel > kChannels) return kFail;
        if (channel == 1) SimPowerSwitches::of(machine_).switch_relay(!open);
        return 0;
    }

    SimMachine& machine_;
    SimRelayConfig relay_;
};

class SimRelayLoader final : public RelayLoader {
public:
    std::unique_ptr<RelayLibrary> load(const std::string&, std::string& error) override {
        SimMachine* machine = current_sim_machine();
        if (!machine) {
            error = "no simulated machine";
            return nullptr;
        }
        return std::make_unique<SimRelayLibrary>(*machine);
    }
};

}  // namespace

std::unique_ptr<RelayLoader> make_sim_relay_loader() { return std::make_unique<SimRelayLoader>(); }

}  // namespace tb::sim
