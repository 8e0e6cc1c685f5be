// The serial power hubs over a real tty: the far end of a pseudo-terminal
// pair plays the hub, checks every frame byte for byte and answers the
// state queries, while the script commands drive the hub through the
// Linux serial line (COM9 mapped onto the pseudo-terminal).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/serial_line.h"
#include "tests/hub_test_support.h"

using namespace tb;
using namespace tb::test;

namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
    Bytes expect;
    Bytes reply;
};

// The hub end: takes the expected frames in order and answers each.
class HubEmulator {
public:
    HubEmulator() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        slave_path_ = ::ptsname(master_);
    }
    ~HubEmulator() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
    }
    const std::string& slave_path() const { return slave_path_; }

    void expect(std::vector<Step> steps) {
        steps_ = std::move(steps);
        thread_ = std::thread([this] { serve(); });
    }
    // Waits for the steps to be served; the bytes received, all of them.
    Bytes finish() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));  // anything sent beyond the steps
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        std::lock_guard hold(lock_);
        return received_;
    }

private:
    void serve() {
        size_t consumed = 0;
        for (const Step& step : steps_) {
            while (!stop_ && available() < consumed + step.expect.size()) take_bytes();
            if (stop_) return;
            {
                std::lock_guard hold(lock_);
                const Bytes got(received_.begin() + static_cast<std::ptrdiff_t>(consumed),
                                received_.begin() + static_cast<std::ptrdiff_t>(consumed + step.expect.size()));
                if (got != step.expect) return;  // the test sees the difference in the bytes received
            }
            consumed += step.expect.size();
            if (!step.reply.empty() && ::write(master_, step.reply.data(), step.reply.size()) < 0) return;
        }
        done_ = true;
        while (!stop_) take_bytes();
    }
    size_t available() {
        std::lock_guard hold(lock_);
        return received_.size();
    }
    void take_bytes() {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) {
            if (p.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(5));  // no line open
            return;
        }
        uint8_t buffer[256];
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        std::lock_guard hold(lock_);
        received_.insert(received_.end(), buffer, buffer + n);
    }

    int master_ = -1;
    std::string slave_path_;
    std::vector<Step> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::mutex lock_;
    Bytes received_;
};

Bytes joined(const std::vector<Step>& steps) {
    Bytes all;
    for (const Step& s : steps) all.insert(all.end(), s.expect.begin(), s.expect.end());
    return all;
}

class HubSerialPty : public ::testing::Test {
protected:
    void use_kind(int kind) {
        com9_.reset();  // each scope puts back what it found, so the old ones go first
        settings_.reset();
        settings_ = std::make_unique<HubSettingsScope>(kind);
        ASSERT_FALSE(hub_.slave_path().empty());
        com9_ = std::make_unique<ScopedVariable>("TAMBLOR_COM9", hub_.slave_path());
        set_serial_ports(make_native_serial_ports());
        ASSERT_EQ(run_hub_command("SetPowerHub( COMPort:\"COM9\" );", "SetPowerHub").error, 0);
    }
    void TearDown() override { set_serial_ports(nullptr); }

    // Runs the statements against the steps; every byte must be as expected.
    void expect_exchange(const std::vector<Step>& steps, const std::vector<std::string>& statements) {
        hub_.expect(steps);
        for (const std::string& s : statements) {
            const CommandOutcome out = run_hub_command(s, "x");
            EXPECT_EQ(out.error, 0) << s;
        }
        EXPECT_EQ(hub_.finish(), joined(steps));
    }

    HubEmulator hub_;
    std::unique_ptr<HubSettingsScope> settings_;
    std::unique_ptr<ScopedVariable> com9_;
};

TEST_F(HubSerialPty, Kind0RequestsTravelAsCodeAndByteAndTheStateByteComesBack) {
    use_kind(0);
    const Bytes select{0xB4, 0x20, 0x22, 0x00, 0x01};
    expect_exchange({{select, {}},
                     {{0xBC, 0x20, 0x22, 0x00, 0x00}, {}},
                     {select, {}},
                     {{0xBC, 0x20, 0x22, 0x00, 0x01}, {}},
                     {select, {}},
                     {{0xC4, 0x20, 0x22, 0x00, 0x00}, {0x01}}},
                    {"RelayPowerOff( DelayRunSec:0, Port:3 );", "RelayPowerOn( Port:3 );", "IsRelayPowerOn();"});
    EXPECT_EQ(var("IsRelayPowerOn"), "1");
}

TEST_F(HubSerialPty, Kind2FramesCarryThePortAndTheStateIsTheFifthReplyByte) {
    use_kind(2);
    expect_exchange({{{0xAE, 0x20, 0xCF, 0x28, 0x02, 0x03, 0x00, 0xAC}, {}},
                     {{0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0x00, 0x00, 0xAC}, {}},
                     {{0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0xFF, 0x00, 0xAC}, {}},
                     {{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x01, 0xAC}, {0xAE, 0x01, 0xCF, 0x2B, 0x07, 0xAC}},
                     {{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x04, 0xAC}, {0xAE, 0x01, 0xCF, 0x2B, 0x00, 0xAC}}},
                    {"RelayPowerOff( DelayRunSec:0, Port:3 );", "RelayPowerOff( 0, 0 );", "RelayPowerOn( Port:0 );",
                     "IsRelayPowerOn( Port:0 );", "IsRelayPowerOn( Port:4 );"});
    EXPECT_EQ(var("IsRelayPowerOn"), "0");
}

TEST_F(HubSerialPty, Kind2StateWithoutReplyIsAHubError) {
    use_kind(2);
    hub_.expect({{{0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x01, 0xAC}, {0xAE, 0x01, 0xCF}}});  // cut short
    const CommandOutcome out = run_hub_command("IsRelayPowerOn();", "IsRelayPowerOn");
    EXPECT_EQ(out.error, -72);
    EXPECT_EQ(out.result, "<undefined>");
    hub_.finish();
}

TEST_F(HubSerialPty, Kind3SendsTextPerPortAndReadsEachEcho) {
    use_kind(3);
    const Bytes echo{'O', 'K', ' ', ' ', ' ', ' ', '\r'};
    std::vector<Step> steps{{{'c', ' ', '1', '\r'}, echo}};
    for (uint8_t d = 0; d < 6; ++d) steps.push_back({{'o', ' ', static_cast<uint8_t>('0' + d), '\r'}, echo});
    expect_exchange(steps, {"RelayPowerOff( DelayRunSec:0, Port:2 );", "RelayPowerOn( Port:0 );"});
}

TEST_F(HubSerialPty, Kind3AndKind5HaveNoStateAndSendNothingForIt) {
    for (int kind : {3, 5}) {
        use_kind(kind);
        const CommandOutcome out = run_hub_command("IsRelayPowerOn();", "IsRelayPowerOn");
        EXPECT_EQ(out.error, -72) << kind;
        EXPECT_NE(job_slot(0)->error_text.find(kind == 3 ? "Tigo PowerHub no support this function"
                                                         : "CH340 PowerHub no support this function"),
                  std::string::npos)
            << job_slot(0)->error_text;
    }
    hub_.expect({});
    EXPECT_TRUE(hub_.finish().empty());
}

TEST_F(HubSerialPty, Kind5SwitchesWithFourByteFramesWhateverThePort) {
    use_kind(5);
    expect_exchange({{{0xA0, 0x01, 0x01, 0xA2}, {}}, {{0xA0, 0x01, 0x00, 0xA1}, {}}},
                    {"RelayPowerOff( DelayRunSec:0, Port:2 );", "RelayPowerOn();"});
}

TEST_F(HubSerialPty, ADevicePathNamesThePortItselfWhereAnythingElseIsRefused) {
    use_kind(5);
    ASSERT_EQ(run_hub_command("SetPowerHub( COMPort:\"" + hub_.slave_path() + "\" );", "SetPowerHub").error, 0);
    expect_exchange({{{0xA0, 0x01, 0x01, 0xA2}, {}}}, {"RelayPowerOff( DelayRunSec:0, Port:1 );"});
    EXPECT_EQ(run_hub_command("SetPowerHub( COMPort:\"ttyUSB0\" );", "SetPowerHub").error, -2);
}

TEST_F(HubSerialPty, APortThatDoesNotOpenIsAHubError) {
    use_kind(2);
    ScopedVariable missing("TAMBLOR_COM9", "/nonexistent/tty-for-tamblor");
    EXPECT_EQ(run_hub_command("RelayPowerOn();", "RelayPowerOn").error, -72);
    EXPECT_EQ(run_hub_command("RelayPowerOff( DelayRunSec:0 );", "RelayPowerOff").error, -72);
}

}  // namespace
