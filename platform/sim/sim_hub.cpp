#include "platform/sim/sim_hub.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "common/text.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/sim_power_switches.h"

namespace tb::sim {

namespace {

// Driver requests of a kind-0 hub.
constexpr uint32_t kSelect = 0x2220B4, kSwitch = 0x2220BC, kState = 0x2220C4;

std::atomic<bool>& hub_in_use() {
    static std::atomic<bool> in_use{false};
    return in_use;
}

class SimHubLine final : public SerialLine {
public:
    SimHubLine(SimMachine& machine, int kind) : switches_(SimPowerSwitches::of(machine)), kind_(kind) {}
    ~SimHubLine() override { hub_in_use().store(false); }

    bool write(std::span<const uint8_t> bytes) override {
        std::lock_guard hold(lock_);
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        while (take_frame()) {
        }
        return true;
    }
    size_t read(std::span<uint8_t> into) override {
        std::lock_guard hold(lock_);
        const size_t n = std::min({into.size(), replies_.size(), kSerialReadLimit});
        std::copy_n(replies_.begin(), n, into.begin());
        replies_.erase(replies_.begin(), replies_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    bool purge() override {
        std::lock_guard hold(lock_);
        pending_.clear();
        replies_.clear();
        return true;
    }
    bool control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                 size_t& returned) override {
        std::lock_guard hold(lock_);
        returned = 0;
        if (kind_ != 0) return false;  // only a driver-level hub has these requests
        if (code == kSelect) return input.size() == 1 && input[0] == 1 && (selected_ = true);
        if (!selected_) return false;
        if (code == kSwitch && input.size() == 1 && input[0] <= 1) {
            switches_.switch_hub(0, input[0] == 1);
            return true;
        }
        if (code == kState && !output.empty()) {
            output[0] = switches_.hub_port_on(1) ? 1 : 0;
            returned = 1;
            return true;
        }
        return false;
    }
    bool has_driver_requests() const override { return true; }

private:
    // Takes one frame off the front of the pending bytes; false when more
    // bytes are needed. Bytes that start no frame are dropped.
    bool take_frame() {
        if (pending_.empty()) return false;
        size_t used = 0;
        switch (kind_) {
            case 2: used = framed(); break;
            case 3: used = tigo(); break;
            case 5: used = ch340(); break;
            default: used = pending_.size(); break;  // a driver-level hub takes nothing over the line
        }
        if (used == kNeedMore) return false;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
        return true;
    }

    static constexpr size_t kNeedMore = 0;
    uint8_t at(size_t i) const { return pending_[i]; }
    bool starts_with(std::initializer_list<uint8_t> head) const {
        size_t i = 0;
        for (uint8_t b : head) {
            if (i >= pending_.size()) return true;  // so far so good
            if (pending_[i++] != b) return false;
        }
        return true;
    }

    size_t framed() {
        if (at(0) != 0xAE) return 1;
        const bool one = starts_with({0xAE, 0x20, 0xCF, 0x28, 0x02});
        const bool all = starts_with({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF});
        const bool query = starts_with({0xAE, 0x00, 0xCF, 0x2B, 0x01});
        if (!one && !all && !query) return 1;
        const size_t length = all ? 9 : one ? 8 : 7;
        if (pending_.size() < length) return kNeedMore;
        if (at(length - 1) != 0xAC) return 1;
        if (one && at(5) != 0 && at(6) <= 1) switches_.switch_hub(at(5), at(6) == 1);
        if (all && at(7) == 0 && (at(6) == 0x00 || at(6) == 0xFF)) switches_.switch_hub(0, at(6) == 0xFF);
        if (query) {
            const uint8_t state = switches_.hub_port_on(at(5)) ? 1 : 0;
            replies_.insert(replies_.end(), {0xAE, 0x01, 0xCF, 0x2B, state, 0xAC});
        }
        return length;
    }

    size_t tigo() {
        if (at(0) != 'c' && at(0) != 'o') return 1;
        if (pending_.size() < 4) return starts_with({at(0), ' '}) ? kNeedMore : 1;
        if (at(1) != ' ' || at(2) < '0' || at(2) > '9' || at(3) != '\r') return 1;
        switches_.switch_hub(static_cast<uint32_t>(at(2) - '0') + 1, at(0) == 'o');
        const char* reply = at(0) == 'o' ? "ON  OK\r" : "OFF OK\r";
        replies_.insert(replies_.end(), reply, reply + 7);
        return 4;
    }

    size_t ch340() {
        if (at(0) != 0xA0) return 1;
        if (pending_.size() < 4) return starts_with({0xA0, 0x01}) ? kNeedMore : 1;
        const uint8_t value = at(2);
        if (at(1) != 0x01 || value > 1 || at(3) != static_cast<uint8_t>(0xA0 + 0x01 + value)) return 1;
        switches_.switch_hub(0, value == 0);
        return 4;
    }

    SimPowerSwitches& switches_;
    int kind_;
    std::mutex lock_;
    std::vector<uint8_t> pending_;
    std::deque<uint8_t> replies_;
    bool selected_ = false;
};

class SimSerialPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialLine> open(const std::string& name, const SerialSettings&, std::string& error) override {
        SimMachine* machine = current_sim_machine();
        if (!machine) {
            error = "no simulated machine";
            return nullptr;
        }
        const SimHubConfig& hub = machine->config().power.hub;
        if (!hub.present || !iequals(name, hub.port)) {
            error = "cannot open " + name + ": no such port";
            return nullptr;
        }
        if (hub_in_use().exchange(true)) {
            error = "cannot open " + name + ": in use";
            return nullptr;
        }
        return std::make_unique<SimHubLine>(*machine, hub.kind);
    }
};

}  // namespace

std::unique_ptr<SerialPorts> make_sim_serial_ports() { return std::make_unique<SimSerialPorts>(); }

}  // namespace tb::sim
