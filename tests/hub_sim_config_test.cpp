// How a simulated machine file describes the disks' supply: the hub, the
// relay and each disk's feed, with their defaults and the mistakes refused.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_config.h"
#include "platform/sim/sim_power_switches.h"

using namespace tb::sim;

namespace {

const std::string kNvme = "[disk1]\ntype = nvme\ncapacity = 1GB\n";

SimConfig parsed(const std::string& text) {
    std::string error;
    auto cfg = parse_sim_config(text, &error);
    EXPECT_TRUE(cfg.has_value()) << error;
    return cfg ? *cfg : SimConfig{};
}

std::string refusal(const std::string& text) {
    std::string error;
    auto cfg = parse_sim_config(text, &error, "m.ini");
    EXPECT_FALSE(cfg.has_value()) << text;
    return error;
}

TEST(HubSimConfig, WithoutSectionsTheHubIsOnCom3Kind0AndThereIsNoRelay) {
    SimConfig cfg = parsed(kNvme);
    EXPECT_TRUE(cfg.power.hub.present);
    EXPECT_EQ(cfg.power.hub.port, "COM3");
    EXPECT_EQ(cfg.power.hub.kind, 0);
    EXPECT_FALSE(cfg.power.relay.present);
}

TEST(HubSimConfig, SectionsSetTheHubAndTheRelay) {
    SimConfig cfg = parsed("[hub]\nport = COM12\nkind = 3\n[relay]\nserial = COM8\n" + kNvme);
    EXPECT_EQ(cfg.power.hub.port, "COM12");
    EXPECT_EQ(cfg.power.hub.kind, 3);
    EXPECT_TRUE(cfg.power.relay.present);
    EXPECT_EQ(cfg.power.relay.serial, "COM8");
    EXPECT_FALSE(parsed("[hub]\npresent = 0\n" + kNvme).power.hub.present);
    EXPECT_TRUE(parsed("[relay]\n" + kNvme).power.relay.present);
}

TEST(HubSimConfig, FeedsDefaultToHubPortOneExceptBehindSwitchingBridges) {
    SimConfig cfg = parsed(kNvme +
                           "[disk2]\ntype = usb\nbridge = jmicron\ncapacity = 1GB\nusb = 1.1\n"
                           "[disk3]\ntype = usb\nbridge = asm2364\ncapacity = 1GB\nusb = 1.2\n"
                           "[disk4]\ntype = usb\nbridge = rtl9210b\ncapacity = 1GB\nusb = 1.3\n"
                           "[disk5]\ntype = usb\nbridge = usb-sata\ncapacity = 1GB\nusb = 1.4\n"
                           "[disk6]\ntype = sata\ncapacity = 1GB\npower = hub:4\n"
                           "[disk7]\ntype = sata\ncapacity = 1GB\npower = relay\n"
                           "[disk8]\ntype = usb\nbridge = jmicron\ncapacity = 1GB\nusb = 1.5\npower = hub:2\n");
    ASSERT_EQ(cfg.disks.size(), 8u);
    auto feed = [&](size_t i) { return effective_feed(cfg.disks[i]); };
    EXPECT_EQ(feed(0).source, FeedSource::Hub);
    EXPECT_EQ(feed(0).hub_port, 1u);
    EXPECT_EQ(feed(1).source, FeedSource::None);
    EXPECT_EQ(feed(2).source, FeedSource::None);
    EXPECT_EQ(feed(3).source, FeedSource::Hub);  // the RTL9210B cannot switch its disk
    EXPECT_EQ(feed(4).source, FeedSource::Hub);
    EXPECT_EQ(feed(5).hub_port, 4u);
    EXPECT_EQ(feed(6).source, FeedSource::Relay);
    EXPECT_EQ(feed(7).source, FeedSource::Hub);  // said so in its own section
    EXPECT_EQ(feed(7).hub_port, 2u);
}

TEST(HubSimConfig, MistakesAreRefusedWithTheirLine) {
    EXPECT_EQ(refusal("[hub]\nport = USB1\n" + kNvme), "m.ini:2: port must be a COM<n> name, not USB1");
    EXPECT_EQ(refusal("[hub]\nkind = 4\n" + kNvme), "m.ini:2: kind must be 0, 2, 3 or 5, not 4");
    EXPECT_EQ(refusal("[hub]\nkind = 6\n" + kNvme), "m.ini:2: kind must be 0, 2, 3 or 5, not 6");
    EXPECT_EQ(refusal("[hub]\nbaud = 9600\n" + kNvme), "m.ini:2: unknown key baud in [hub]");
    EXPECT_EQ(refusal("[relay]\nchannels = 2\n" + kNvme), "m.ini:2: unknown key channels in [relay]");
    EXPECT_NE(refusal(kNvme + "power = hub:0\n").find("m.ini:4: power must be"), std::string::npos);
    EXPECT_NE(refusal(kNvme + "power = hub:256\n").find("m.ini:4: power must be"), std::string::npos);
    EXPECT_NE(refusal(kNvme + "power = mains\n").find("m.ini:4: power must be"), std::string::npos);
}

}  // namespace
