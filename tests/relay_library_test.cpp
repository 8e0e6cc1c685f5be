// The USB relay through its library: a stand-in library built by the tests
// (libusb_relay_device.so / usb_relay_device.dll) is put into the program's
// library folder, lists the relays of $TAMBLOR_TEST_RELAYS and writes every
// call into a log, so each command's calls and their order can be checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/relay_library.h"
#include "power/relay_hub_device.h"
#include "power/relay_presence.h"
#include "script/app_context.h"
#include "tests/hub_test_support.h"

using namespace tb;
using namespace tb::test;

namespace {

class RelayLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        settings_ = std::make_unique<HubSettingsScope>(4);
        log_path_ = path_join(settings_->folder(), "relay-calls.txt");
        log_ = std::make_unique<ScopedVariable>("TAMBLOR_TEST_RELAY_LOG", log_path_);
        set_relay_loader(make_native_relay_loader());
    }
    void TearDown() override {
        forget_relay_library();
        set_relay_loader(nullptr);
    }

    // Puts the library into the library folder (the work folder of the run).
    void install_library() {
        std::filesystem::copy_file(fs_path(TAMBLOR_RELAY_TEST_LIBRARY),
                                   fs_path(path_join(app().work_folder, relay_library_file_name())),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::vector<std::string> calls() {
        std::ifstream in(fs_path(log_path_));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::ofstream(fs_path(log_path_), std::ios::trunc);  // the next look starts afresh
        return lines;
    }

    std::unique_ptr<HubSettingsScope> settings_;
    std::string log_path_;
    std::unique_ptr<ScopedVariable> log_;
};

using Calls = std::vector<std::string>;

TEST_F(RelayLibrary, IsRelayExistedCountsTheListAndLeavesTheLibraryUnloaded) {
    install_library();
    ScopedVariable relays("TAMBLOR_TEST_RELAYS", "HURTM,QAAMZ");
    EXPECT_EQ(run_hub_command("IsRelayExisted();", "IsRelayExisted").result, "1");
    EXPECT_EQ(calls(), (Calls{"init", "enumerate 2", "free_enumerate 2", "exit", "unloaded"}));
}

TEST_F(RelayLibrary, IsRelayExistedIsFalseWithoutRelaysOrWithoutTheLibrary) {
    install_library();
    {
        ScopedVariable none("TAMBLOR_TEST_RELAYS", std::nullopt);
        EXPECT_EQ(run_hub_command("IsRelayExisted( Relay:\"USB_Relay\" );", "IsRelayExisted").result, "0");
        EXPECT_EQ(calls(), (Calls{"init", "enumerate 0", "exit", "unloaded"}));
    }
    std::filesystem::remove(fs_path(path_join(app().work_folder, relay_library_file_name())));
    ScopedVariable relays("TAMBLOR_TEST_RELAYS", "HURTM");
    const CommandOutcome out = run_hub_command("IsRelayExisted();", "IsRelayExisted");
    EXPECT_EQ(out.result, "0");
    EXPECT_EQ(out.error, 0);
    EXPECT_TRUE(calls().empty());
}

TEST_F(RelayLibrary, TheListIsWalkedToItsEndWithSerialNumbersCutTo128Characters) {
    install_library();
    const std::string long_serial(200, 'S');
    ScopedVariable relays("TAMBLOR_TEST_RELAYS", "A1,B2," + long_serial);
    auto serials = attached_relays();
    ASSERT_EQ(serials.size(), 3u);
    EXPECT_EQ(serials[0], "A1");
    EXPECT_EQ(serials[1], "B2");
    EXPECT_EQ(serials[2], std::string(128, 'S'));
}

TEST_F(RelayLibrary, Kind4OpensTheRelayByThePortNameAndChannelOneCutsThePower) {
    install_library();
    ScopedVariable relays("TAMBLOR_TEST_RELAYS", "X9,COM5");
    ASSERT_EQ(run_hub_command("SetPowerHub( COMPort:\"COM5\" );", "SetPowerHub").error, 0);
    EXPECT_EQ(run_hub_command("RelayPowerOff( DelayRunSec:0 );", "RelayPowerOff").error, 0);
    // The relay is opened once to see that it is there, then to switch it.
    EXPECT_EQ(calls(), (Calls{"init", "open COM5 4", "close 2", "open COM5 4", "open_channel 1", "close 2"}));
    EXPECT_EQ(run_hub_command("IsRelayPowerOn();", "IsRelayPowerOn").result, "0");
    EXPECT_EQ(run_hub_command("RelayPowerOn( Port:3 );", "RelayPowerOn").error, 0);
    EXPECT_EQ(run_hub_command("IsRelayPowerOn();", "IsRelayPowerOn").result, "1");
    // Loaded and initialised once; every use opens and closes the relay.
    EXPECT_EQ(calls(), (Calls{"open COM5 4", "status", "close 2", "open COM5 4", "close_channel 1", "close 2",
                              "open COM5 4", "status", "close 2"}));
}

TEST_F(RelayLibrary, Kind4WithoutThatRelayOrWithoutTheLibraryIsAHubError) {
    ASSERT_EQ(run_hub_command("SetPowerHub( COMPort:\"COM5\" );", "SetPowerHub").error, 0);
    EXPECT_EQ(run_hub_command("RelayPowerOn();", "RelayPowerOn").error, -72);  // no library yet
    install_library();
    ScopedVariable relays("TAMBLOR_TEST_RELAYS", "COM6");
    EXPECT_EQ(run_hub_command("RelayPowerOn();", "RelayPowerOn").error, -72);
    EXPECT_EQ(calls(), (Calls{"init", "open COM5 4"}));
}

}  // namespace
