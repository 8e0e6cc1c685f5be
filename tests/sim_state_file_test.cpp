// The device state a persistent simulated machine keeps beside its images:
// every save puts a whole new file in the place of the old one, and no
// temporary file is left behind, whether the save lands or not.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The names in `folder` that look like a save's temporary file.
std::vector<std::string> temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = utf8_path(entry.path().filename());
        if (name.find(".tmp") != std::string::npos) found.push_back(name);
    }
    return found;
}

// Loads firmware revision `revision` into slot 2 of NVMe disk 1 and
// activates it at once.
void activate_firmware(Bench& b, const char* revision) {
    auto d = b.drive(1);
    std::vector<uint8_t> image(4096, 7);
    std::memcpy(image.data(), "FWREV:", 6);
    std::memcpy(image.data() + 6, revision, 8);
    auto download = nvme_request(0x11, 0, {1023, 0}, DataDir::Out, image);
    ASSERT_EQ(d->nvme(download), DeviceStatus::Ok);
    auto commit = nvme_request(0x10, 0, {2 | (3 << 3)});
    ASSERT_EQ(d->nvme(commit), DeviceStatus::Ok);
    ASSERT_EQ(status_of(commit), 0);
}

TEST(SimStateFile, ASecondSaveReplacesTheFirstAndLeavesNoTemporary) {
    Bench b({}, true);
    b.rebuild({}, true);  // the first save: the configured state
    const fs::path folder = host_path(b.folder());
    const fs::path state = folder / "disk1.state";
    ASSERT_TRUE(fs::exists(state));
    ASSERT_EQ(read_all(state).find("KEPT0002"), std::string::npos);
    activate_firmware(b, "KEPT0002");
    b.rebuild({}, true);  // the second save, over the first
    EXPECT_NE(read_all(state).find("KEPT0002"), std::string::npos) << read_all(state);
    EXPECT_EQ(text_at(identify(*b.drive(1), 1), 64, 8), "KEPT0002");
    EXPECT_TRUE(temporaries(folder).empty()) << temporaries(folder).front();
}

TEST(SimStateFile, ASaveThatCannotReplaceTheStateLeavesNoTemporary) {
    Bench b({}, true);
    const fs::path folder = host_path(b.folder());
    // A folder with something inside stands where the state file goes.
    fs::create_directories(folder / "disk1.state" / "kept");
    activate_firmware(b, "KEPT0003");
    b.rebuild({}, true);
    EXPECT_TRUE(fs::is_directory(folder / "disk1.state" / "kept"));
    EXPECT_TRUE(temporaries(folder).empty()) << temporaries(folder).front();
    // The machine still runs, on the state it was configured with.
    EXPECT_EQ(text_at(identify(*b.drive(1), 1), 64, 8), "NV1.0.B1");
}

}  // namespace
}  // namespace tb::sim::test
