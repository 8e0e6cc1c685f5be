// This machine's block storage and volumes: disk records name their device
// by "node on mount point", test files are made anew and removed, and the
// targets opened on them read back what was written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/linux_block_storage.h"
#include "platform/linux/linux_volumes.h"
#include "workload/aligned_buffer.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

class LinuxStorage : public ::testing::Test {
protected:
    void SetUp() override {
        // A file system that takes O_DIRECT (tmpfs may not).
        std::string base = ::access("/var/tmp", W_OK) == 0 ? "/var/tmp" : "/tmp";
        std::string tmpl = base + "/tamblor-storage-XXXXXX";
        folder_ = ::mkdtemp(tmpl.data());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::unique_ptr<BlockStorage> storage_ = linuxdisk::make_linux_block_storage();
    std::unique_ptr<Volumes> volumes_ = linuxdisk::make_linux_volumes();
    std::string folder_;
};

TEST_F(LinuxStorage, DiskRecordsOpenTheirDeviceNode) {
    std::ofstream(path("node"), std::ios::binary) << std::string(1 << 20, '\0');
    StorageAddress mounted;
    mounted.path = "\\\\.\\D:";
    mounted.volume_letter = 'D';
    mounted.native_path = path("node") + " on /mnt/data";
    std::string error;
    auto t = storage_->open_disk(mounted, &error);
    ASSERT_TRUE(t) << error;
    EXPECT_EQ(t->size_bytes(), 1u << 20);

    StorageAddress nowhere;
    nowhere.path = "\\\\.\\PHYSICALDRIVE9";
    EXPECT_FALSE(storage_->open_disk(nowhere, &error));
    EXPECT_NE(error.find("PHYSICALDRIVE9 has no device node"), std::string::npos) << error;
}

TEST_F(LinuxStorage, VolumeRootIsItsMountPoint) {
    StorageAddress v;
    v.volume_letter = 'E';
    v.native_path = "/dev/sdb1 on /media/usb stick";
    EXPECT_EQ(volumes_->root_folder(v), "/media/usb stick");
    v.native_path = "/dev/sdb2";  // not mounted
    EXPECT_EQ(volumes_->root_folder(v), "");
    EXPECT_GT(volumes_->free_bytes(folder_), 0u);
    EXPECT_EQ(volumes_->free_bytes(path("missing")), 0u);
}

TEST_F(LinuxStorage, TestFilesAreMadeAnewWrittenReadBackAndRemoved) {
    std::ofstream(path("test"), std::ios::binary) << std::string(3 << 20, 'x');
    auto file = volumes_->create_file(path("test"));
    ASSERT_TRUE(file);
    AlignedBuffer chunk(1 << 20);
    ASSERT_TRUE(chunk);
    std::fill(chunk.data(), chunk.data() + chunk.size(), 0x5A);
    ASSERT_TRUE(file->write_at(1 << 20, chunk.span()));
    ASSERT_TRUE(file->finish());
    file.reset();
    EXPECT_EQ(fs::file_size(path("test")), 2u << 20);  // emptied, then written up to 2 MiB

    std::string error;
    auto t = storage_->open_path(path("test"), PathOptions{}, &error);
    ASSERT_TRUE(t) << error;
    AlignedBuffer back(4096);
    IoRequest read{IoOp::Read, (1 << 20) + 4096, back.data(), 4096};
    ASSERT_EQ(io_sync(*t, read), 4096);
    EXPECT_EQ(back.data()[0], 0x5A);
    IoRequest head{IoOp::Read, 0, back.data(), 4096};
    ASSERT_EQ(io_sync(*t, head), 4096);
    EXPECT_EQ(back.data()[0], 0);  // the old bytes are gone
    t.reset();

    EXPECT_TRUE(volumes_->remove_file(path("test")));
    EXPECT_FALSE(fs::exists(path("test")));
    EXPECT_FALSE(volumes_->create_file(path("no/such/folder/test")));
}

}  // namespace
}  // namespace tb
