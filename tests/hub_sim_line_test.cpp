// The simulated machine's power hub as a serial device: each kind takes its
// own frames (whole, split over writes, or among stray bytes), switches the
// disks its ports feed and answers state queries; frames of another kind do
// nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_hub.h"
#include "platform/sim/sim_relay.h"
#include "tests/sim_test_helpers.h"
#include "tests/temp_dir.h"

using namespace tb;

namespace {

using Bytes = std::vector<uint8_t>;

class HubSimLine : public ::testing::Test {
protected:
    void TearDown() override {
        line_.reset();
        set_disk_platform(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    // Disk 1 on hub port 1, disk 2 on hub port 2, disk 3 on the relay.
    void machine(const std::string& hub) {
        folder_ = tb::test::make_temp_dir("tamblor-hubsim");
        ASSERT_GT(sim::test::install_machine(folder_, hub +
                                                          "[relay]\nserial = COM7\n"
                                                          "[disk1]\ntype = nvme\ncapacity = 1GB\npci = 3:0.0\n"
                                                          "[disk2]\ntype = sata\ncapacity = 1GB\npower = hub:2\n"
                                                          "[disk3]\ntype = sata\ncapacity = 1GB\npower = relay\n"),
                  0);
        std::string error;
        line_ = sim::make_sim_serial_ports()->open("com3", SerialSettings{}, error);
        ASSERT_TRUE(line_) << error;
    }
    static bool on(uint32_t disk) {
        for (const DiscoveredDisk& d : sim::current_sim_machine()->discover())
            if (d.disk_number == disk) return true;
        return false;
    }
    void send(const Bytes& bytes) { ASSERT_TRUE(line_->write(bytes)); }
    Bytes reply() {
        Bytes out(64);
        out.resize(line_->read(out));
        return out;
    }

    std::string folder_;
    std::unique_ptr<SerialLine> line_;
};

TEST_F(HubSimLine, Kind0SwitchesEveryPortOnlyAfterTheSelectRequest) {
    machine("");
    size_t returned = 0;
    uint8_t state = 9;
    const uint8_t off = 0, on_byte = 1, select = 1;
    EXPECT_FALSE(line_->control(0x2220BC, {&off, 1}, {}, returned)) << "switched without the select request";
    EXPECT_TRUE(on(1));
    ASSERT_TRUE(line_->control(0x2220B4, {&select, 1}, {}, returned));
    ASSERT_TRUE(line_->control(0x2220BC, {&off, 1}, {}, returned));
    EXPECT_FALSE(on(1));
    EXPECT_FALSE(on(2));
    EXPECT_TRUE(on(3)) << "the relay's disk is not on the hub";
    ASSERT_TRUE(line_->control(0x2220C4, {}, {&state, 1}, returned));
    EXPECT_EQ(returned, 1u);
    EXPECT_EQ(state, 0);
    ASSERT_TRUE(line_->control(0x2220BC, {&on_byte, 1}, {}, returned));
    EXPECT_TRUE(on(1));
    EXPECT_TRUE(on(2));
}

TEST_F(HubSimLine, Kind2FramesSplitOrAmongStrayBytesSwitchTheirPort) {
    machine("[hub]\nkind = 2\n");
    send({0x00, 0x13, 0xAE, 0x20, 0xCF});  // stray bytes, then half a frame
    send({0x28, 0x02, 0x02, 0x00, 0xAC});
    EXPECT_TRUE(on(1));
    EXPECT_FALSE(on(2));
    send({0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x02, 0xAC});
    EXPECT_EQ(reply(), (Bytes{0xAE, 0x01, 0xCF, 0x2B, 0x00, 0xAC}));
    send({0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x01, 0xAC});
    EXPECT_EQ(reply(), (Bytes{0xAE, 0x01, 0xCF, 0x2B, 0x01, 0xAC}));
    send({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0x00, 0x00, 0xAC});
    EXPECT_FALSE(on(1));
    send({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0xFF, 0x00, 0xAC});
    EXPECT_TRUE(on(1));
    EXPECT_TRUE(on(2));
    send({0xAE, 0x20, 0xCF, 0x28, 0x02, 0x01, 0x00, 0xAD});  // a bad end byte
    EXPECT_TRUE(on(1));
}

TEST_F(HubSimLine, Kind3TextSwitchesPortDigitPlusOneAndEchoesSevenBytes) {
    machine("[hub]\nkind = 3\n");
    send({'c', ' ', '1', '\r'});
    EXPECT_TRUE(on(1));
    EXPECT_FALSE(on(2));
    EXPECT_EQ(reply().size(), 7u);
    send({'o', ' '});
    send({'1', '\r'});
    EXPECT_TRUE(on(2));
}

TEST_F(HubSimLine, Kind5TakesOnlyFramesWithTheirCheckByte) {
    machine("[hub]\nkind = 5\n");
    send({0xA0, 0x01, 0x01, 0xA1});  // wrong check byte
    EXPECT_TRUE(on(1));
    send({0xA0, 0x01, 0x01, 0xA2});
    EXPECT_FALSE(on(1));
    EXPECT_FALSE(on(2));
    send({0xA0, 0x01, 0x00, 0xA1});
    EXPECT_TRUE(on(1));
}

TEST_F(HubSimLine, FramesOfAnotherKindDoNothing) {
    machine("[hub]\nkind = 5\n");
    send({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0x00, 0x00, 0xAC});
    send({'c', ' ', '0', '\r'});
    EXPECT_TRUE(on(1));
    EXPECT_TRUE(on(2));
}

TEST_F(HubSimLine, OnlyTheHubsPortOpensAndOnlyOnceAtATime) {
    machine("[hub]\nport = COM3\n");
    std::string error;
    EXPECT_FALSE(sim::make_sim_serial_ports()->open("COM3", SerialSettings{}, error)) << "opened twice";
    line_.reset();
    EXPECT_TRUE(sim::make_sim_serial_ports()->open("COM3", SerialSettings{}, error)) << error;
    EXPECT_FALSE(sim::make_sim_serial_ports()->open("COM4", SerialSettings{}, error));
}

TEST_F(HubSimLine, TheRelaysChannelOneCutsItsDisksWhenOpen) {
    machine("");
    std::string error;
    auto library = sim::make_sim_relay_loader()->load("", error);
    ASSERT_TRUE(library) << error;
    EXPECT_EQ(library->serial_numbers(128), (std::vector<std::string>{"COM7"}));
    EXPECT_EQ(library->open("COM3"), 0);
    const RelayDevice relay = library->open("COM7");
    ASSERT_NE(relay, 0);
    EXPECT_EQ(library->open_channel(relay, 2), 0);
    EXPECT_TRUE(on(3)) << "channel 2 feeds nothing";
    EXPECT_EQ(library->open_channel(relay, 1), 0);
    EXPECT_FALSE(on(3));
    EXPECT_TRUE(on(1));
    uint32_t bits = 0;
    EXPECT_EQ(library->status(relay, bits), 0);
    EXPECT_EQ(bits & 1u, 1u);
    EXPECT_EQ(library->close_channel(relay, 1), 0);
    EXPECT_TRUE(on(3));
    EXPECT_NE(library->open_channel(relay, 9), 0);
}

}  // namespace
