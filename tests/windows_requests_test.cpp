// The request buffers of the Windows storage stack, byte for byte in the
// 64-bit layouts of the system's structures, the readings of its replies,
// the location and I/O decisions of the Windows backend, and the hand-over
// of whole requests to a storage stack that takes them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "disk/device_control.h"
#include "disk/nvme_requests.h"
#include "disk/windows_locations.h"
#include "disk/windows_replies.h"
#include "disk/windows_requests.h"
#include "platform/windows_io_rules.h"

namespace tb {
namespace {

// Bytes written as hex pairs ("38 00 0a"), then zeros up to `size`.
std::vector<uint8_t> hex(const std::string& text, size_t size = 0) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) out.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    if (out.size() < size) out.resize(size, 0);
    return out;
}

// ---- SCSI_PASS_THROUGH_DIRECT ------------------------------------------------

TEST(WindowsRequests, ScsiDirectInquiryIsExactBytes) {
    std::vector<uint8_t> data(38, 0);
    ScsiPassThrough req;
    req.cdb = {0x12, 0, 0, 0, 0x26, 0};
    req.cdb_length = 6;
    req.dir = DataDir::In;
    req.data = data;
    req.timeout_s = 60;
    const std::vector<uint8_t> expected = hex(
        "38 00 00 00 00 00 06 40  01 00 00 00 26 00 00 00"   // length 56, CDB 6, sense 64, in, 38 bytes
        " 3c 00 00 00 00 00 00 00  88 77 66 55 44 33 22 11"  // 60 s, the data's address
        " 38 00 00 00 12 00 00 00  26 00",                   // sense at 56, the CDB
        120);
    EXPECT_EQ(winreq::build_scsi_direct(req, 0x1122334455667788ull), expected);
}

TEST(WindowsRequests, ScsiDirectWithoutDataNamesNoBufferAndDefaultsItsFields) {
    ScsiPassThrough req;
    req.cdb = {0x00};  // TEST UNIT READY
    req.cdb_length = 0;
    req.dir = DataDir::In;  // but no data
    req.timeout_s = 0;
    std::vector<uint8_t> b = winreq::build_scsi_direct(req, 0xDEADBEEF);
    ASSERT_EQ(b.size(), 120u);
    EXPECT_EQ(b[6], 16);                   // a CDB length of 0 means the whole CDB
    EXPECT_EQ(b[8], 2);                    // no data
    EXPECT_EQ(get_le32(b, 12), 0u);        // no length
    EXPECT_EQ(get_le64(b, 24), 0u);        // no address
    EXPECT_EQ(get_le32(b, 16), 60u);       // the default time-out

    std::vector<uint8_t> out(512, 0x5A);
    req.dir = DataDir::Out;
    req.data = out;
    req.cdb_length = 10;
    b = winreq::build_scsi_direct(req, 0x1000);
    EXPECT_EQ(b[8], 0);                    // data out
    EXPECT_EQ(get_le32(b, 12), 512u);
    EXPECT_EQ(get_le64(b, 24), 0x1000u);
    EXPECT_EQ(b[6], 10);
}

TEST(WindowsRequests, ScsiDirectAnswerGivesStatusSenseAndTransferredBytes) {
    std::vector<uint8_t> data(38, 0);
    ScsiPassThrough req;
    req.dir = DataDir::In;
    req.data = data;
    std::vector<uint8_t> b = winreq::build_scsi_direct(req, 0x1000);
    b[2] = 2;                         // CHECK CONDITION
    b[7] = 18;                        // sense bytes returned
    put_le32(b, 12, 36);              // bytes transferred
    b[56] = 0x70;
    b[58] = 0x05;                     // ILLEGAL REQUEST
    b[56 + 18] = 0xEE;                // beyond the returned sense
    req.sense.fill(0xFF);
    winreq::read_scsi_direct_answer(b, req);
    EXPECT_EQ(req.scsi_status, 2);
    EXPECT_EQ(req.transferred, 36u);
    EXPECT_EQ(req.sense[0], 0x70);
    EXPECT_EQ(req.sense[2], 0x05);
    EXPECT_EQ(req.sense[18], 0);      // only what the driver returned

    put_le32(b, 12, 4096);            // more than the buffer holds
    winreq::read_scsi_direct_answer(b, req);
    EXPECT_EQ(req.transferred, 38u);

    winreq::read_scsi_direct_answer(std::vector<uint8_t>(20, 0xFF), req);  // a truncated reply
    EXPECT_EQ(req.scsi_status, 0);
    EXPECT_EQ(req.transferred, 0u);
}

// ---- ATA_PASS_THROUGH_EX -----------------------------------------------------

TEST(WindowsRequests, AtaPassThroughExIdentifyIsExactBytes) {
    std::vector<uint8_t> data(512, 0x77);
    AtaPassThrough req;
    req.flags = kAtaDriveReady | kAtaDataIn;
    req.current = {0x00, 0x01, 0x00, 0x00, 0x00, 0x40, 0xEC, 0x00};
    req.data = data;
    req.timeout_s = 60;
    const std::vector<uint8_t> expected = hex(
        "30 00 03 00 00 00 00 00  00 02 00 00 3c 00 00 00"   // length 48, flags 3, 512 bytes, 60 s
        " 00 00 00 00 00 00 00 00  30 00 00 00 00 00 00 00"  // data at 48
        " 00 00 00 00 00 00 00 00  00 01 00 00 00 40 ec 00", // previous, current task file
        48 + 512);                                           // data in: not copied in
    EXPECT_EQ(winreq::build_ata_pass_through_ex(req), expected);
}

TEST(WindowsRequests, AtaPassThroughExCarriesDataOutAndThePreviousTaskFile) {
    std::vector<uint8_t> data(512, 0xA5);
    AtaPassThrough req;
    req.flags = kAtaDriveReady | kAtaDataOut | kAtaExt;
    req.previous = {0x00, 0x00, 0x78, 0x56, 0x34, 0x00, 0x00, 0x00};
    req.current = {0x00, 0x01, 0x12, 0x34, 0x56, 0x40, 0x34, 0x00};
    req.data = data;
    req.timeout_s = 0;
    std::vector<uint8_t> b = winreq::build_ata_pass_through_ex(req);
    ASSERT_EQ(b.size(), 560u);
    EXPECT_EQ(get_le16(b, 2), 0x0Du);
    EXPECT_EQ(get_le32(b, 12), 60u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 32, b.begin() + 48),
              hex("00 00 78 56 34 00 00 00  00 01 12 34 56 40 34 00"));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 48, b.end()), data);
}

TEST(WindowsRequests, AtaPassThroughExAnswerGivesRegistersAndDataIn) {
    std::vector<uint8_t> data(512, 0);
    AtaPassThrough req;
    req.flags = kAtaDriveReady | kAtaDataIn;
    req.current[kAtaCommand] = 0xEC;
    req.data = data;
    std::vector<uint8_t> b = winreq::build_ata_pass_through_ex(req);
    b[40 + kAtaError] = 0x04;
    b[40 + kAtaStatus] = 0x51;
    for (size_t i = 0; i < 512; ++i) b[48 + i] = static_cast<uint8_t>(i);
    winreq::read_ata_pass_through_ex_answer(b, req);
    EXPECT_EQ(req.current[kAtaStatus], 0x51);
    EXPECT_EQ(req.current[kAtaError], 0x04);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[300], static_cast<uint8_t>(300));

    // Data out is not overwritten by what comes back.
    std::vector<uint8_t> out(512, 0xA5);
    req.flags = kAtaDriveReady | kAtaDataOut;
    req.data = out;
    winreq::read_ata_pass_through_ex_answer(b, req);
    EXPECT_EQ(out[300], 0xA5);
}

// ---- the other requests --------------------------------------------------------

TEST(WindowsRequests, DevicePropertyQueryTrimAndCompressionAreExactBytes) {
    EXPECT_EQ(winreq::build_device_property_query(), hex("", 12));
    EXPECT_EQ(winreq::build_trim_request(0x100000, 0x20000),
              hex("1c 00 00 00 01 00 00 00  00 00 00 00 00 00 00 00"
                  " 00 00 00 00 20 00 00 00  10 00 00 00 00 00 00 00"
                  " 00 00 10 00 00 00 00 00  00 00 02 00 00 00 00 00"));
    EXPECT_EQ(winreq::build_compression_off(), hex("00 00"));
}

TEST(WindowsRequests, ControlCodesFollowTheirDeviceTypeFunctionMethodAndAccess) {
    auto ctl = [](uint32_t type, uint32_t function, uint32_t method, uint32_t access) {
        return type << 16 | access << 14 | function << 2 | method;
    };
    EXPECT_EQ(winreq::kIoctlStorageGetDeviceNumber, ctl(0x2D, 0x420, 0, 0));
    EXPECT_EQ(winreq::kIoctlStorageManageDataSetAttributes, ctl(0x2D, 0x501, 0, 2));
    EXPECT_EQ(winreq::kIoctlScsiGetAddress, ctl(0x04, 0x406, 0, 0));
    EXPECT_EQ(winreq::kIoctlAtaPassThrough, ctl(0x04, 0x40B, 0, 3));
    EXPECT_EQ(winreq::kIoctlDiskGetDriveGeometryEx, ctl(0x07, 0x28, 0, 0));
    EXPECT_EQ(winreq::kIoctlDiskGetLengthInfo, ctl(0x07, 0x17, 0, 1));
    EXPECT_EQ(winreq::kIoctlVolumeGetVolumeDiskExtents, ctl(0x56, 0, 0, 0));
    EXPECT_EQ(winreq::kFsctlLockVolume, ctl(0x09, 6, 0, 0));
    EXPECT_EQ(winreq::kFsctlUnlockVolume, ctl(0x09, 7, 0, 0));
    EXPECT_EQ(winreq::kFsctlDismountVolume, ctl(0x09, 8, 0, 0));
    EXPECT_EQ(winreq::kFsctlAllowExtendedDasdIo, ctl(0x09, 32, 3, 0));
    EXPECT_EQ(winreq::kFsctlSetCompression, ctl(0x09, 16, 0, 3));
}

// ---- replies -------------------------------------------------------------------

TEST(WindowsReplies, DeviceDescriptorGivesBusRemovableAndTexts) {
    std::vector<uint8_t> r(80, 0);
    put_le32(r, 0, 40);
    put_le32(r, 4, 70);     // what the driver wrote
    r[10] = 1;              // removable
    put_le32(r, 12, 40);    // vendor
    put_le32(r, 16, 46);    // product
    put_le32(r, 20, 0);     // no revision
    put_le32(r, 24, 75);    // beyond what was written
    put_le32(r, 28, kBusNvme);
    const std::string vendor = "ACME ", product = "FAST SSD  ";
    std::copy(vendor.begin(), vendor.end(), r.begin() + 40);
    std::copy(product.begin(), product.end(), r.begin() + 46);
    r[75] = 'X';
    auto d = winreq::parse_device_descriptor(r);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->bus_type, static_cast<uint32_t>(kBusNvme));
    EXPECT_TRUE(d->removable);
    EXPECT_EQ(d->vendor, "ACME");
    EXPECT_EQ(d->product, "FAST SSD");
    EXPECT_EQ(d->revision, "");
    EXPECT_EQ(d->serial, "");

    EXPECT_FALSE(winreq::parse_device_descriptor(std::vector<uint8_t>(35, 0)));
    put_le32(r, 4, 8);  // a size too small for the fields
    EXPECT_FALSE(winreq::parse_device_descriptor(r));
}

TEST(WindowsReplies, DeviceNumberScsiAddressGeometryAndLength) {
    auto n = winreq::parse_device_number(hex("07 00 00 00 03 00 00 00 02 00 00 00"));
    ASSERT_TRUE(n);
    EXPECT_TRUE(n->is_disk());
    EXPECT_EQ(n->device_number, 3u);
    EXPECT_EQ(n->partition_number, 2u);
    EXPECT_FALSE(winreq::parse_device_number(hex("02 00 00 00 00 00 00 00 00 00 00 00"))->is_disk());  // a CD-ROM
    EXPECT_FALSE(winreq::parse_device_number(hex("07 00 00 00")));

    auto a = winreq::parse_scsi_address(hex("08 00 00 00 02 01 03 04"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->port, 2u);
    EXPECT_EQ(a->path_id, 1u);
    EXPECT_EQ(a->target, 3u);
    EXPECT_EQ(a->lun, 4u);
    EXPECT_FALSE(winreq::parse_scsi_address(hex("08 00 00 00")));

    auto g = winreq::parse_drive_geometry_ex(
        hex("a1 00 00 00 00 00 00 00 0c 00 00 00 ff 00 00 00 3f 00 00 00 00 10 00 00"
            " 00 60 6d 70 74 00 00 00"));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes_per_sector, 4096u);
    EXPECT_EQ(g->disk_size, 0x74706D6000ull);
    EXPECT_FALSE(winreq::parse_drive_geometry_ex(std::vector<uint8_t>(31, 0)));

    EXPECT_EQ(winreq::parse_length_info(hex("00 b0 71 0b 00 00 00 00")), std::optional<uint64_t>(0x0B71B000));
    EXPECT_FALSE(winreq::parse_length_info(hex("00 b0")));
}

TEST(WindowsReplies, VolumeExtentsAndTheirAlignment) {
    std::vector<uint8_t> r(winreq::volume_extents_reply_size(2), 0);
    put_le32(r, 0, 2);
    put_le32(r, 8, 1);
    put_le64(r, 16, 1048576);
    put_le64(r, 24, 500ull << 20);
    put_le32(r, 32, 4);
    put_le64(r, 40, 32256);  // an old-style start at sector 63
    put_le64(r, 48, 1ull << 30);
    auto e = winreq::parse_volume_disk_extents(r);
    ASSERT_TRUE(e);
    ASSERT_EQ(e->size(), 2u);
    EXPECT_EQ((*e)[0].disk_number, 1u);
    EXPECT_EQ((*e)[0].starting_offset, 1048576u);
    EXPECT_EQ((*e)[0].length, 500ull << 20);
    EXPECT_EQ((*e)[1].disk_number, 4u);
    EXPECT_TRUE(winreq::volume_aligned_4k(e));

    std::vector<winreq::DiskExtent> sector_63{{0, 32256, 1 << 20}};
    EXPECT_FALSE(winreq::volume_aligned_4k(sector_63));
    EXPECT_FALSE(winreq::volume_aligned_4k(std::nullopt));  // a failed query counts as not aligned

    // A reply that promises more extents than it holds gives those it holds.
    put_le32(r, 0, 9);
    EXPECT_EQ(winreq::parse_volume_disk_extents(r)->size(), 2u);
    EXPECT_FALSE(winreq::parse_volume_disk_extents(hex("01 00 00")));
}

// ---- locations -------------------------------------------------------------------

TEST(WindowsLocations, UsbPortsAndHubs) {
    EXPECT_EQ(winreq::usb_port_from_location("Port_#0002.Hub_#0003"), 2u);
    EXPECT_EQ(winreq::usb_port_from_location("port_#0014.hub_#0001"), 14u);
    EXPECT_EQ(winreq::usb_port_from_location("0000.0014.0000.003.000.000.000.000.000"), 0u);
    EXPECT_EQ(winreq::usb_port_from_location(""), 0u);

    EXPECT_TRUE(winreq::is_root_hub_instance("USB\\ROOT_HUB30\\4&1C2A3B&0&0"));
    EXPECT_TRUE(winreq::is_root_hub_instance("USB\\root_hub\\5&2&0"));
    EXPECT_FALSE(winreq::is_root_hub_instance("USB\\VID_174C&PID_2362\\MSFT30123"));
    EXPECT_FALSE(winreq::is_root_hub_instance("USB\\ROOT"));

    EXPECT_TRUE(winreq::adds_usb_port("USB\\VID_174C&PID_2362\\MSFT30123"));
    EXPECT_FALSE(winreq::adds_usb_port("USB\\ROOT_HUB30\\4&1C2A3B&0&0"));
    EXPECT_FALSE(winreq::adds_usb_port("USBSTOR\\DISK&VEN_ASMT&PROD_2362\\0123&0"));
    EXPECT_FALSE(winreq::adds_usb_port("PCI\\VEN_8086&DEV_A36D\\3&11583659&0&A0"));
}

TEST(WindowsLocations, PortLocationFollowsTheBus) {
    winreq::LocationSources s;
    s.pci_location_information = "@System32\\drivers\\pci.sys,#65536;PCI bus %1, device %2, function %3;(2,0,0)";
    s.usb_ports = {2, 4};
    s.usb_controller_index = 1;
    s.bus_address = 0x00030001;
    EXPECT_EQ(winreq::port_location_for(kBusNvme, s), 0x200u);   // PCIE-02:00.0
    EXPECT_EQ(winreq::port_location_for(kBusRaid, s), 0x200u);
    EXPECT_EQ(winreq::port_location_for(kBusUsb, s), 10402u);    // controller 1, hub port 4, device port 2
    EXPECT_EQ(winreq::port_location_for(kBusSata, s), 3u);       // the port in the high half
    EXPECT_EQ(winreq::port_location_for(kBusSas, s), 1u);        // the low half otherwise

    s.usb_ports = {3};
    EXPECT_EQ(winreq::port_location_for(kBusUsb, s), 103u);      // root-hub port 3 of controller 1
    s.usb_controller_index = 0;                                  // controller not found
    EXPECT_EQ(winreq::port_location_for(kBusUsb, s), 0u);
    s.pci_location_information = "PCI bus 2, device 0, function 0";
    EXPECT_EQ(winreq::port_location_for(kBusNvme, s), 0u);
}

// ---- the block storage's decisions ------------------------------------------------

TEST(WindowsIoRules, PathsFlagsAndVolumeLocks) {
    StorageAddress drive{3, 0, "\\\\.\\PHYSICALDRIVE3", ""};
    StorageAddress volume{3, 'e', "\\\\.\\E:", ""};
    StorageAddress system{0, 'C', "\\\\.\\C:", ""};
    EXPECT_EQ(winio::device_path_for(drive), "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(winio::device_path_for(volume), "\\\\.\\E:");

    EXPECT_TRUE(winio::is_device_namespace("\\\\.\\PHYSICALDRIVE0"));
    EXPECT_TRUE(winio::is_device_namespace("\\\\.\\scsi2:"));
    EXPECT_FALSE(winio::is_device_namespace("D:\\test.bin"));
    EXPECT_FALSE(winio::is_device_namespace("\\\\.\\"));

    EXPECT_EQ(winio::handle_flags(true, false), 0x60000000u);   // overlapped, unbuffered
    EXPECT_EQ(winio::handle_flags(false, false), 0x40000000u);  // overlapped
    EXPECT_EQ(winio::handle_flags(true, true), 0xE0000000u);    // and write-through

    EXPECT_FALSE(winio::lock_volume_for_raw_io(drive));   // whole drives are never locked
    EXPECT_TRUE(winio::lock_volume_for_raw_io(volume));
    EXPECT_FALSE(winio::lock_volume_for_raw_io(system));  // nor the system volume
}

TEST(WindowsIoRules, SystemErrorsBecomeErrnoResults) {
    EXPECT_EQ(winio::errno_from_system_error(5), -EACCES);
    EXPECT_EQ(winio::errno_from_system_error(19), -EACCES);     // write protected
    EXPECT_EQ(winio::errno_from_system_error(87), -EINVAL);
    EXPECT_EQ(winio::errno_from_system_error(1784), -EINVAL);   // misaligned unbuffered buffer
    EXPECT_EQ(winio::errno_from_system_error(995), -ECANCELED);
    EXPECT_EQ(winio::errno_from_system_error(1167), -ENODEV);   // device gone
    EXPECT_EQ(winio::errno_from_system_error(121), -ETIMEDOUT);
    EXPECT_EQ(winio::errno_from_system_error(1), -EOPNOTSUPP);
    EXPECT_EQ(winio::errno_from_system_error(23), -EIO);        // CRC error
    EXPECT_EQ(winio::errno_from_system_error(0), -EIO);         // failed without a reason: never success

    EXPECT_EQ(winio::completion_result(true, 4096, 0), 4096);
    EXPECT_EQ(winio::completion_result(false, 0, 38), 0);       // read at the end of a file: short
    EXPECT_EQ(winio::completion_result(false, 0, 995), -ECANCELED);
    EXPECT_EQ(winio::completion_result(true, 0x80000000u, 0), -EOVERFLOW);
}

// ---- whole requests to a storage stack ----------------------------------------------

// A device whose storage stack takes the requests itself.
class StorageStackDevice final : public DiskDevice {
public:
    DeviceStatus nvme(NvmePassThrough&) override {
        ++nvme_calls;
        return DeviceStatus::Ok;
    }
    DeviceStatus control(uint32_t code, std::span<uint8_t> buffer) override {
        seen_code = code;
        seen.assign(buffer.begin(), buffer.end());
        if (buffer.size() > spq::kData) buffer[spq::kData] = 0xAB;  // the driver's answer
        return answer;
    }
    uint32_t last_error() const override { return error; }

    DeviceStatus answer = DeviceStatus::Ok;
    uint32_t error = 0;
    uint32_t seen_code = 0;
    std::vector<uint8_t> seen;
    int nvme_calls = 0;
};

TEST(WindowsStorageStack, TakesTheRequestWholeAndAnswersInTheSameBuffer) {
    StorageStackDevice dev;
    std::vector<uint8_t> request = build_identify_query(0, 0);
    std::vector<uint8_t> buffer = request;
    uint32_t system_error = 99;
    EXPECT_EQ(device_control(dev, kIoctlStorageQueryProperty, buffer, system_error), DeviceStatus::Ok);
    EXPECT_EQ(system_error, 0u);
    EXPECT_EQ(dev.seen_code, kIoctlStorageQueryProperty);
    EXPECT_EQ(dev.seen, request);  // exactly what the disk layer built
    EXPECT_EQ(buffer[spq::kData], 0xAB);
    EXPECT_EQ(dev.nvme_calls, 0);  // not served a second way
}

TEST(WindowsStorageStack, ARefusedRequestFailsWithTheSystemsError) {
    StorageStackDevice dev;
    dev.answer = DeviceStatus::Failed;
    dev.error = 5;
    std::vector<uint8_t> buffer = build_feature_query(0x06);
    uint32_t system_error = 0;
    EXPECT_EQ(device_control(dev, kIoctlStorageQueryProperty, buffer, system_error), DeviceStatus::Failed);
    EXPECT_EQ(system_error, 5u);

    dev.error = 0;  // refused without a reason still reads as an error
    EXPECT_EQ(device_control(dev, kIoctlStorageQueryProperty, buffer, system_error), DeviceStatus::Failed);
    EXPECT_EQ(system_error, kSysErrorIoDevice);
    EXPECT_EQ(dev.nvme_calls, 0);
}

}  // namespace
}  // namespace tb
