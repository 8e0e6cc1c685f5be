#include "power/hub_serial_device.h"

#include <array>
#include <vector>

#include "common/format.h"
#include "platform/serial_line.h"
#include "power/hub_frames.h"
#include "script/error_policy.h"

namespace tb {

namespace {

constexpr uint32_t kHighestFramedPort = 255;

class SerialHubDevice final : public HubDevice {
public:
    SerialHubDevice(std::unique_ptr<SerialLine> line, int kind) : line_(std::move(line)), kind_(kind) {}

    int switch_port(uint32_t port, bool on, std::string& detail) override {
        switch (kind_) {
            case kHubDriver: return run_driver_requests(kind0_switch_requests(on), nullptr, detail);
            case kHubFramed:
                if (port > kHighestFramedPort) return bad_port(port, detail);
                return send(kind2_switch_frame(static_cast<uint8_t>(port), on), detail);
            case kHubTigo: return switch_tigo(port, on, detail);
            default: return send(kind5_switch_frame(on), detail);
        }
    }

    int read_state(uint32_t port, int64_t& state, std::string& detail) override {
        switch (kind_) {
            case kHubDriver: return run_driver_requests(kind0_state_requests(), &state, detail);
            case kHubFramed: return read_framed_state(port, state, detail);
            case kHubTigo: detail = "Tigo PowerHub no support this function"; return kErrPowerHub;
            default: detail = "CH340 PowerHub no support this function"; return kErrPowerHub;
        }
    }

private:
    static int bad_port(uint32_t port, std::string& detail) {
        detail = fmt("Port:%u", port);
        return kErrParam;
    }

    int send(const HubFrame& frame, std::string& detail) {
        if (line_->write(frame)) return 1;
        detail = "PowerHub write fail";
        return kErrPowerHub;
    }

    // Reads exactly `count` bytes; false when fewer came in time.
    bool read_reply(std::vector<uint8_t>& reply, size_t count) {
        reply.assign(count, 0);
        size_t got = 0;
        while (got < count) {
            size_t n = line_->read(std::span<uint8_t>(reply).subspan(got));
            if (n == 0) break;
            got += n;
        }
        reply.resize(got);
        return got == count;
    }

    int switch_tigo(uint32_t port, bool on, std::string& detail) {
        auto frames = kind3_switch_frames(port, on);
        if (frames.empty()) return bad_port(port, detail);
        std::vector<uint8_t> reply;
        for (const HubFrame& frame : frames) {
            if (int rc = send(frame, detail); rc != 1) return rc;
            read_reply(reply, kKind3ReplyBytes);  // the hub's echo; not looked at
        }
        return 1;
    }

    int read_framed_state(uint32_t port, int64_t& state, std::string& detail) {
        if (port > kHighestFramedPort) return bad_port(port, detail);
        line_->purge();
        if (int rc = send(kind2_state_query(static_cast<uint8_t>(port)), detail); rc != 1) return rc;
        std::vector<uint8_t> reply;
        read_reply(reply, kKind2StateReplyBytes);
        auto value = kind2_state_from_reply(reply);
        if (!value) {
            detail = "PowerHub no reply";
            return kErrPowerHub;
        }
        state = *value;
        return 1;
    }

    // The driver-level requests, through the port's driver where it has
    // them, else framed over the line. `state` receives the output byte of
    // a request that returns one.
    int run_driver_requests(const std::vector<HubControl>& requests, int64_t* state, std::string& detail) {
        for (const HubControl& request : requests) {
            std::array<uint8_t, 1> output{};
            std::vector<uint8_t> input;
            if (request.input) input.push_back(*request.input);
            size_t returned = 0;
            if (line_->has_driver_requests()) {
                if (!line_->control(request.code, input, std::span<uint8_t>(output).first(request.output_bytes),
                                    returned)) {
                    detail = fmt("PowerHub request 0x%X fail", request.code);
                    return kErrPowerHub;
                }
            } else {
                if (int rc = send(kind0_line_frame(request), detail); rc != 1) return rc;
                if (request.output_bytes > 0) {
                    std::vector<uint8_t> reply;
                    read_reply(reply, request.output_bytes);
                    returned = reply.size();
                    if (returned > 0) output[0] = reply[0];
                }
            }
            if (request.output_bytes > 0) {
                if (returned < request.output_bytes) {
                    detail = "PowerHub no reply";
                    return kErrPowerHub;
                }
                if (state) *state = output[0];
            }
        }
        return 1;
    }

    std::unique_ptr<SerialLine> line_;
    int kind_;
};

}  // namespace

uint32_t hub_baud_rate(int kind) { return kind == kHubFramed || kind == kHubCh340 ? 9600 : 115200; }

std::unique_ptr<HubDevice> open_serial_hub_device(const std::string& port_name, int kind, std::string& problem) {
    SerialSettings settings;
    settings.baud = hub_baud_rate(kind);
    auto line = serial_ports().open(port_name, settings, problem);
    if (!line) return nullptr;
    line->purge();
    return std::make_unique<SerialHubDevice>(std::move(line), kind);
}

}  // namespace tb
