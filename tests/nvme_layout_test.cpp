// Byte layouts of the NVMe layer: the submission and completion entries,
// the admin command encodings, every request buffer and every bridge CDB.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/nvme_bridge.h"
#include "disk/nvme_command.h"
#include "disk/nvme_requests.h"
#include "script/app_context.h"

namespace tb {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t off) { return get_le32(b, off); }
uint64_t le64(const std::vector<uint8_t>& b, size_t off) { return get_le64(b, off); }
std::string text_at(const std::vector<uint8_t>& b, size_t off, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + off), n);
}
bool all_zero(const std::vector<uint8_t>& b, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (b[i]) return false;
    return true;
}

NvmeCommand sample_command() {
    NvmeCommand c;
    for (int i = 0; i < 16; ++i) c.set_cdw(i, 0x01010101u * static_cast<uint32_t>(i + 1));
    c.set_opcode(0xC2);
    return c;
}

// ---- submission and completion entries --------------------------------------

TEST(NvmeLayout, CommandDwordsAreLittleEndianWithOpcodeAndNsid) {
    NvmeCommand c;
    c.set_cdw(10, 0x11223344);
    c.set_nsid(0xAABBCCDD);
    c.set_opcode(0x06);
    EXPECT_EQ(c.bytes[40], 0x44);
    EXPECT_EQ(c.bytes[43], 0x11);
    EXPECT_EQ(c.bytes[4], 0xDD);
    EXPECT_EQ(c.bytes[7], 0xAA);
    EXPECT_EQ(c.bytes[0], 0x06);
    EXPECT_EQ(c.cdw(0), 0x06u);
    EXPECT_EQ(c.cdw(10), 0x11223344u);
}

TEST(NvmeLayout, CompletionStatusCodeIsBitsOneToEightOfTheLastHalfWord) {
    std::array<uint8_t, 16> cpl{};
    put_le32(cpl, 0, 0xCAFEF00D);
    put_le16(cpl, 14, 0x0217);  // phase 1, SC 0x0B, SCT 1
    EXPECT_EQ(completion_dw0(cpl), 0xCAFEF00Du);
    EXPECT_EQ(completion_status_code(cpl), 0x0B);
    EXPECT_EQ(completion_status_type(cpl), 1);

    set_completion(cpl, 7, 0x0B, 1);
    EXPECT_EQ(get_le16(cpl, 14), 0x0216);
    EXPECT_EQ(completion_dw0(cpl), 7u);
}

// ---- admin command encodings ----------------------------------------------------

TEST(NvmeLayout, StandardAdminEncodings) {
    NvmeRequestSpec id = nvme_identify(1, 5);
    EXPECT_EQ(id.command.opcode(), 0x06);
    EXPECT_EQ(id.command.nsid(), 5u);
    EXPECT_EQ(id.command.cdw(10), 1u);
    EXPECT_EQ(id.dir, DataDir::In);
    EXPECT_EQ(id.length, 4096u);

    NvmeRequestSpec log = nvme_get_log_page(0x02, 0x13, true, 512);  // LSP keeps 4 bits
    EXPECT_EQ(log.command.opcode(), 0x02);
    EXPECT_EQ(log.command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(log.command.cdw(10), 0x02u + 0x300u + 0x8000u + (127u << 16));
    EXPECT_EQ(log.dir, DataDir::In);

    NvmeRequestSpec gf = nvme_get_features(0x10);
    EXPECT_EQ(gf.command.opcode(), 0x0A);
    EXPECT_EQ(gf.command.nsid(), 0u);
    EXPECT_EQ(gf.command.cdw(10), 0x10u);
    EXPECT_EQ(gf.dir, DataDir::None);

    NvmeRequestSpec sf = nvme_set_features(0x06, true, 1);
    EXPECT_EQ(sf.command.opcode(), 0x09);
    EXPECT_EQ(sf.command.nsid(), 0u);
    EXPECT_EQ(sf.command.cdw(10), 0x80000006u);
    EXPECT_EQ(sf.command.cdw(11), 1u);
    EXPECT_EQ(nvme_set_features(0x06, false, 0).command.cdw(10), 6u);

    NvmeRequestSpec dl = nvme_firmware_download(8192, 4096);
    EXPECT_EQ(dl.command.opcode(), 0x11);
    EXPECT_EQ(dl.command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(dl.command.cdw(10), 1023u);
    EXPECT_EQ(dl.command.cdw(11), 2048u);
    EXPECT_EQ(dl.dir, DataDir::Out);

    NvmeRequestSpec fc = nvme_firmware_commit(2, 3);
    EXPECT_EQ(fc.command.opcode(), 0x10);
    EXPECT_EQ(fc.command.nsid(), 0u);
    EXPECT_EQ(fc.command.cdw(10), 2u + 3u * 8u);

    EXPECT_EQ(nvme_format_user_erase().command.opcode(), 0x80);
    EXPECT_EQ(nvme_format_user_erase().command.cdw(10), 0x200u);
    EXPECT_EQ(nvme_format_user_erase().command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(nvme_format_lba(3).command.cdw(10), 0x203u);
    EXPECT_EQ(nvme_format_lba(0x13).command.cdw(10), 0x203u);

    NvmeRequestSpec ss = nvme_security_send(0x01, 0x0002, 512);
    EXPECT_EQ(ss.command.opcode(), 0x81);
    EXPECT_EQ(ss.command.cdw(10), 0x01000200u);
    EXPECT_EQ(ss.command.cdw(11), 512u);
    EXPECT_EQ(ss.dir, DataDir::Out);
    NvmeRequestSpec sr = nvme_security_receive(0xEF, 0x1234, 2048);
    EXPECT_EQ(sr.command.opcode(), 0x82);
    EXPECT_EQ(sr.command.cdw(10), 0xEF123400u);
    EXPECT_EQ(sr.dir, DataDir::In);
}

TEST(NvmeLayout, DatasetManagementGoesToTheIoQueueWithOneRange) {
    NvmeRequestSpec dsm = nvme_dataset_management();
    EXPECT_EQ(dsm.queue, NvmeQueue::Io);
    EXPECT_EQ(dsm.command.opcode(), 0x09);
    EXPECT_EQ(dsm.command.nsid(), 1u);
    EXPECT_EQ(dsm.command.cdw(10), 0u);
    EXPECT_EQ(dsm.command.cdw(11), 4u);
    EXPECT_EQ(dsm.dir, DataDir::Out);
    EXPECT_EQ(dsm.length, 4096u);
    std::vector<uint8_t> range(16, 0xFF);
    fill_dsm_range(range, 0x123456789AULL, 2048);
    EXPECT_EQ(le32(range, 0), 0u);
    EXPECT_EQ(le32(range, 4), 2048u);
    EXPECT_EQ(le64(range, 8), 0x123456789AULL);
}

TEST(NvmeLayout, VendorCommandBuilder) {
    NvmeRequestSpec v = nvme_vendor_command(0xFE, 4096, 0x82, 3);
    EXPECT_EQ(v.command.opcode(), 0xFE);
    EXPECT_EQ(v.command.cdw(2), 0x717A7673u);
    EXPECT_EQ(v.command.cdw(10), 1024u);
    EXPECT_EQ(v.command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(v.command.cdw(12), 0x82u);
    EXPECT_EQ(v.command.cdw(13), 3u);
    EXPECT_EQ(v.dir, DataDir::In);
    EXPECT_EQ(nvme_vendor_command(0xFD, 4096, 0x81).dir, DataDir::Out);
    EXPECT_EQ(nvme_vendor_command(0xFC, 0, 0x1F).dir, DataDir::None);
    // The namespace-1 exceptions.
    EXPECT_EQ(nvme_vendor_command(0xD1, 0, 5).command.nsid(), 1u);
    EXPECT_EQ(nvme_vendor_command(0xFC, 0, 0x10A).command.nsid(), 1u);
    EXPECT_EQ(nvme_vendor_command(0xFC, 0, 0x108).command.nsid(), 0xFFFFFFFFu);
    EXPECT_EQ(nvme_vendor_command(0xC0, 0, 0x85).command.nsid(), 1u);
    EXPECT_EQ(nvme_vendor_command(0xC0, 0, 0x84).command.nsid(), 0xFFFFFFFFu);
}

TEST(NvmeLayout, TraceTexts) {
    NvmeRequestSpec s = nvme_get_log_page(2, 0, false, 512);
    EXPECT_EQ(nvme_trace_text(s.command, s.dir, s.length),
              "NVMe(IO:\"IN\", DataLenByte:512, OpCode:0x2, NSID:0xFFFFFFFF, CDW10:0x7F0002, CDW12:0x0, CDW13:0x0, "
              "CDW14:0x0, CDW15:0x0);");
    NvmeRequestSpec v = nvme_vendor_command(0xFC, 0, 0x1F, 0x717A7673, 1);
    EXPECT_EQ(nvme_vendor_trace_text(v.command, v.dir, v.length),
              "NVMe(IO:\"NODATA\", DataLenByte:0, OpCode:0xFC, NSID:0xFFFFFFFF, CDW2:0x717A7673, CDW10:0x0, "
              "CDW12:0x1F, CDW13:0x717A7673, CDW14:0x1, CDW15:0x0);");
    reset_app_context();
    EXPECT_EQ(nvme_debug_trace(s), "");
    app().debug_level = 1;
    EXPECT_EQ(nvme_debug_trace(nvme_firmware_download(0, 8)).substr(0, 41), "NVMe(IO:\"OUT\", DataLenByte:8, OpCode:0x11");
    reset_app_context();
}

// ---- storage-stack request buffers ------------------------------------------------

TEST(NvmeLayout, ProtocolCommandRequest) {
    NvmeCommand c = sample_command();
    std::vector<uint8_t> data(512, 0x5C);
    std::vector<uint8_t> b = build_protocol_command(c, NvmeQueue::Admin, DataDir::Out, data);
    ASSERT_EQ(b.size(), 144u + 512u);
    EXPECT_EQ(le32(b, 0), 1u);            // version
    EXPECT_EQ(le32(b, 4), 84u);           // length
    EXPECT_EQ(le32(b, 8), 3u);            // NVMe
    EXPECT_EQ(le32(b, 12), 0x80000000u);  // adapter request
    EXPECT_EQ(le32(b, 16), 0u);
    EXPECT_EQ(le32(b, 24), 64u);          // command length
    EXPECT_EQ(le32(b, 28), 0u);           // no error info
    EXPECT_EQ(le32(b, 32), 512u);         // to device
    EXPECT_EQ(le32(b, 36), 0u);           // from device
    EXPECT_EQ(le32(b, 40), 60u);          // time-out
    EXPECT_EQ(le32(b, 48), 144u);
    EXPECT_EQ(le32(b, 52), 0u);
    EXPECT_EQ(le32(b, 56), 1u);           // admin
    EXPECT_TRUE(all_zero(b, 60, 80));
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), b.begin() + 80));
    EXPECT_EQ(b[144], 0x5C);
    EXPECT_EQ(b.back(), 0x5C);

    std::vector<uint8_t> in(4096, 0x77);
    b = build_protocol_command(c, NvmeQueue::Io, DataDir::In, in);
    ASSERT_EQ(b.size(), 144u + 4096u);
    EXPECT_EQ(le32(b, 32), 0u);
    EXPECT_EQ(le32(b, 36), 4096u);
    EXPECT_EQ(le32(b, 48), 0u);
    EXPECT_EQ(le32(b, 52), 144u);
    EXPECT_EQ(le32(b, 56), 2u);  // NVM command set
    EXPECT_EQ(b[144], 0);        // data in is not copied out

    b = build_protocol_command(c, NvmeQueue::Admin, DataDir::None, {});
    EXPECT_EQ(b.size(), 144u);
    EXPECT_EQ(le32(b, 32) | le32(b, 36) | le32(b, 48) | le32(b, 52), 0u);
}

TEST(NvmeLayout, PropertyQueries) {
    std::vector<uint8_t> b = build_identify_query(0, 0);
    ASSERT_EQ(b.size(), 8u + 40u + 4096u);
    EXPECT_EQ(le32(b, 0), 49u);  // adapter protocol-specific
    EXPECT_EQ(le32(b, 4), 0u);   // standard query
    EXPECT_EQ(le32(b, 8), 3u);
    EXPECT_EQ(le32(b, 12), 1u);  // identify
    EXPECT_EQ(le32(b, 16), 0u);
    EXPECT_EQ(le32(b, 24), 40u);
    EXPECT_EQ(le32(b, 28), 4096u);
    EXPECT_EQ(le32(build_identify_query(1, 1), 0), 49u);
    b = build_identify_query(2, 7);
    EXPECT_EQ(le32(b, 0), 50u);  // device protocol-specific
    EXPECT_EQ(le32(b, 16), 2u);  // CNS
    EXPECT_EQ(le32(b, 20), 7u);  // NSID

    b = build_log_page_query(0x02, 5, true, 512);
    ASSERT_EQ(b.size(), 48u + 4096u);
    EXPECT_EQ(le32(b, 0), 50u);
    EXPECT_EQ(le32(b, 12), 2u);
    EXPECT_EQ(le32(b, 16), 2u);
    EXPECT_EQ(le32(b, 20), 0u);
    EXPECT_EQ(le32(b, 24), 40u);
    EXPECT_EQ(le32(b, 28), 4096u);
    EXPECT_EQ(le32(b, 44), 5u * 2u + 1u);  // LSP * 2 + RAE
    EXPECT_EQ(le32(build_log_page_query(1, 0, false, 8192), 28), 8192u);

    b = build_feature_query(0x10);
    ASSERT_EQ(b.size(), 48u);
    EXPECT_EQ(le32(b, 0), 49u);
    EXPECT_EQ(le32(b, 12), 3u);
    EXPECT_EQ(le32(b, 16), 0x10u);
    EXPECT_EQ(le32(b, 28), 0u);

    b = build_set_feature_property(0x80000010, 0x01550160);
    ASSERT_EQ(b.size(), 72u);
    EXPECT_EQ(le32(b, 0), 49u);
    EXPECT_EQ(le32(b, 4), 0u);  // standard set
    EXPECT_EQ(le32(b, 8), 3u);
    EXPECT_EQ(le32(b, 12), 3u);
    EXPECT_EQ(le32(b, 16), 0x80000010u);
    EXPECT_EQ(le32(b, 20), 0x01550160u);
    EXPECT_EQ(le32(b, 24), 64u);
    EXPECT_EQ(le32(b, 28), 0u);
}

TEST(NvmeLayout, FirmwareAndReinitializeRequests) {
    std::vector<uint8_t> chunk(4096);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> b = build_hw_firmware_download(0x3000, chunk);
    ASSERT_EQ(b.size(), 40u + 4096u);
    EXPECT_EQ(le32(b, 0), 40u);
    EXPECT_EQ(le32(b, 4), 40u + 4096u);
    EXPECT_EQ(le32(b, 8), 1u);
    EXPECT_EQ(b[12], 1);
    EXPECT_EQ(le64(b, 16), 0x3000u);
    EXPECT_EQ(le64(b, 24), 4096u);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), b.begin() + 32));

    b = build_hw_firmware_activate(2, 1);
    ASSERT_EQ(b.size(), 16u);
    EXPECT_EQ(le32(b, 0), 16u);
    EXPECT_EQ(le32(b, 4), 16u);
    EXPECT_EQ(le32(b, 8), 1u);
    EXPECT_EQ(b[12], 2);
    EXPECT_EQ(le32(build_hw_firmware_activate(1, 2), 8), 0x80000001u);
    // Action 3 replaces the slot's image first: no switch to the existing one.
    EXPECT_EQ(le32(build_hw_firmware_activate(1, 3), 8), 1u);

    b = build_reinitialize_media();
    ASSERT_EQ(b.size(), 16u);
    EXPECT_EQ(le32(b, 0), 16u);
    EXPECT_EQ(le32(b, 4), 16u);
    EXPECT_EQ(le32(b, 8), 60u);
    EXPECT_EQ(le32(b, 12), 0u);
}

TEST(NvmeLayout, ControlCodes) {
    EXPECT_EQ(kIoctlStorageQueryProperty, 0x2D1400u);
    EXPECT_EQ(kIoctlStorageSetProperty, 2987004u);
    EXPECT_EQ(kIoctlStorageReinitializeMedia, 2987584u);
    EXPECT_EQ(kIoctlStorageProtocolCommand, 0x2DD3C0u);
    EXPECT_EQ(kIoctlStorageFirmwareDownload, 3005444u);
    EXPECT_EQ(kIoctlStorageFirmwareActivate, 3005448u);
    EXPECT_EQ(kIoctlScsiMiniport, 0x4D008u);
}

// ---- miniport request buffers -------------------------------------------------------

TEST(NvmeLayout, NvmeMiniRequest) {
    NvmeCommand c = sample_command();
    std::vector<uint8_t> data(512, 0x42);
    std::vector<uint8_t> b = build_nvme_mini(c, NvmeQueue::Io, DataDir::Out, data);
    ASSERT_EQ(b.size(), 152u + 512u);
    EXPECT_EQ(le32(b, 0), 28u);
    EXPECT_EQ(text_at(b, 4, 8), "NvmeMini");
    EXPECT_EQ(le32(b, 12), 40u);
    EXPECT_EQ(le32(b, 16), 0xE0002000u);
    EXPECT_EQ(le32(b, 20), 0u);
    EXPECT_EQ(le32(b, 24), 124u + 512u);
    EXPECT_TRUE(all_zero(b, 28, 52));
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), b.begin() + 52));
    EXPECT_TRUE(all_zero(b, 116, 132));
    EXPECT_EQ(le32(b, 132), 1u);  // out
    EXPECT_EQ(le32(b, 136), 1u);  // I/O queue
    EXPECT_EQ(le32(b, 140), 664u);
    EXPECT_EQ(le32(b, 144), 0u);
    EXPECT_EQ(le32(b, 148), 664u);
    EXPECT_EQ(b[152], 0x42);

    b = build_nvme_mini(c, NvmeQueue::Admin, DataDir::In, data);
    EXPECT_EQ(le32(b, 132), 2u);
    EXPECT_EQ(le32(b, 136), 0u);
    EXPECT_EQ(b[152], 0);
    b = build_nvme_mini(c, NvmeQueue::Admin, DataDir::None, {});
    EXPECT_EQ(b.size(), 152u);
    EXPECT_EQ(le32(b, 24), 124u);
    EXPECT_EQ(le32(b, 132), 0u);
}

TEST(NvmeLayout, IntelNvmRequest) {
    NvmeCommand c = sample_command();
    std::vector<uint8_t> data(4096, 0x3C);
    std::vector<uint8_t> b = build_intel_nvm(c, NvmeQueue::Admin, 4, data);
    ASSERT_EQ(b.size(), 167u + 4096u);
    EXPECT_EQ(le32(b, 0), 28u);
    EXPECT_EQ(text_at(b, 4, 8), "IntelNvm");
    EXPECT_EQ(le32(b, 12), 40u);
    EXPECT_EQ(le32(b, 16), 0xF0002808u);
    EXPECT_EQ(le32(b, 24), b.size() - 28);
    EXPECT_EQ(b[28], 1);
    EXPECT_EQ(b[29], 4);
    EXPECT_EQ(b[30] | b[31], 0);
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), b.begin() + 32));
    EXPECT_TRUE(all_zero(b, 96, 116));
    EXPECT_EQ(le32(b, 116), 164u);
    EXPECT_EQ(le32(b, 120), 4096u);
    EXPECT_TRUE(all_zero(b, 124, 164));
    EXPECT_EQ(b[164], 0x3C);
    EXPECT_EQ(le32(build_intel_nvm(c, NvmeQueue::Io, 0, {}), 112), 1u);
}

TEST(NvmeLayout, IntelFwRequests) {
    std::vector<uint8_t> chunk(1024, 0xE1);
    std::vector<uint8_t> b = build_intel_fw_download(3, 0x2000, chunk);
    ASSERT_EQ(b.size(), 80u + 1024u);
    EXPECT_EQ(text_at(b, 4, 8), "IntelFw ");
    EXPECT_EQ(le32(b, 16), 0xF0000040u);
    EXPECT_EQ(le32(b, 24), b.size() - 28);
    EXPECT_EQ(b[29], 3);
    EXPECT_EQ(le32(b, 40), 2u);  // download
    EXPECT_EQ(le32(b, 48), 56u);
    EXPECT_EQ(le32(b, 52), 24u + 1024u);
    EXPECT_EQ(le64(b, 64), 0x2000u);
    EXPECT_EQ(le64(b, 72), 1024u);
    EXPECT_EQ(b[80], 0xE1);

    b = build_intel_fw_activate(3, 2, 1);
    ASSERT_EQ(b.size(), 68u);
    EXPECT_EQ(le32(b, 40), 3u);  // activate
    EXPECT_EQ(le32(b, 44), 1u);
    EXPECT_EQ(b[64], 2);
    EXPECT_EQ(le32(build_intel_fw_activate(3, 2, 2), 44), 0x80000001u);
}

// ---- bridge CDBs ---------------------------------------------------------------------------

std::array<uint8_t, 16> cdb(std::initializer_list<uint8_t> head) {
    std::array<uint8_t, 16> c{};
    std::copy(head.begin(), head.end(), c.begin());
    return c;
}

TEST(NvmeLayout, JMicronThreePhases) {
    NvmeCommand c = nvme_identify(0, 0).command;
    std::vector<uint8_t> data(4096);
    BridgeSequence s = build_bridge_sequence(BridgeProtocol::JMicron, c, NvmeQueue::Admin, DataDir::In, data);
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xA1, 0x80, 0, 0, 0x02, 0x00}));
    EXPECT_EQ(s.steps[0].dir, DataDir::Out);
    ASSERT_EQ(s.steps[0].data.size(), 512u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.steps[0].data.data()), 4), "NVME");
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), s.steps[0].data.begin() + 8));
    EXPECT_EQ(s.steps[1].cdb, cdb({0xA1, 0x82, 0, 0x00, 0x10, 0x00}));
    EXPECT_EQ(s.steps[1].dir, DataDir::In);
    EXPECT_EQ(s.steps[1].data.data(), data.data());
    EXPECT_EQ(s.steps[2].cdb, cdb({0xA1, 0x8F, 0, 0, 0x02, 0x00}));
    EXPECT_EQ(s.steps[2].dir, DataDir::In);
    EXPECT_EQ(s.steps[2].data.size(), 512u);
    for (const auto& st : s.steps) EXPECT_EQ(st.timeout_s, 60u);

    // I/O command with data out: no 0x80 anywhere.
    std::vector<uint8_t> out(4096);
    s = build_bridge_sequence(BridgeProtocol::JMicron, c, NvmeQueue::Io, DataDir::Out, out);
    EXPECT_EQ(s.steps[0].cdb[1], 0x00);
    EXPECT_EQ(s.steps[1].cdb[1], 0x03);
    EXPECT_EQ(s.steps[1].dir, DataDir::Out);
    EXPECT_EQ(s.steps[2].cdb[1], 0x0F);
    s = build_bridge_sequence(BridgeProtocol::JMicron, c, NvmeQueue::Admin, DataDir::None, {});
    EXPECT_EQ(s.steps[1].cdb, cdb({0xA1, 0x81}));
    EXPECT_EQ(s.steps[1].dir, DataDir::None);
}

TEST(NvmeLayout, AsmediaThreePhases) {
    NvmeCommand c = nvme_get_log_page(2, 0, false, 512).command;
    std::vector<uint8_t> data(512);
    BridgeSequence s = build_bridge_sequence(BridgeProtocol::ASMedia, c, NvmeQueue::Admin, DataDir::In, data);
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xEA, 0x5A, 0x80, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 64}));
    ASSERT_EQ(s.steps[0].data.size(), 64u);
    EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), s.steps[0].data.begin()));
    EXPECT_EQ(s.steps[1].cdb, cdb({0xEB, 0x5A, 0x81, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x00}));
    EXPECT_EQ(s.steps[2].cdb, cdb({0xEB, 0x5A, 0x82, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 16}));
    EXPECT_EQ(s.steps[2].data.size(), 16u);

    std::vector<uint8_t> out(0x10000);
    s = build_bridge_sequence(BridgeProtocol::ASMedia, c, NvmeQueue::Io, DataDir::Out, out);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xEA, 0x5A, 0x80, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 64}));
    EXPECT_EQ(s.steps[1].cdb, cdb({0xEA, 0x5A, 0x81, 1, 2, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x00}));
    s = build_bridge_sequence(BridgeProtocol::ASMedia, c, NvmeQueue::Admin, DataDir::None, {});
    EXPECT_EQ(s.steps[1].cdb, cdb({0xEB, 0x5A, 0x81, 0, 0}));
}

TEST(NvmeLayout, Rtl9210BThreePhases) {
    NvmeCommand c = nvme_identify(1, 1).command;
    std::vector<uint8_t> data(4096);
    BridgeSequence s = build_bridge_sequence(BridgeProtocol::Rtl9210B, c, NvmeQueue::Admin, DataDir::In, data);
    ASSERT_EQ(s.steps.size(), 3u);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xE5, 0x40, 0x00, 0xF7, 0}));
    EXPECT_EQ(s.steps[0].dir, DataDir::Out);
    EXPECT_EQ(s.steps[1].cdb, cdb({0xE4, 0x00, 0x10, 0xF8, 0, 0, 1}));
    EXPECT_EQ(s.steps[2].cdb, cdb({0xE4, 0x10, 0x00, 0xF9}));
    EXPECT_EQ(s.steps[2].data.size(), 16u);

    std::vector<uint8_t> out(512);
    s = build_bridge_sequence(BridgeProtocol::Rtl9210B, c, NvmeQueue::Io, DataDir::Out, out);
    EXPECT_EQ(s.steps[0].cdb[4], 1);
    EXPECT_EQ(s.steps[1].cdb, cdb({0xE5, 0x00, 0x02, 0xF8, 0, 0, 2}));
    s = build_bridge_sequence(BridgeProtocol::Rtl9210B, c, NvmeQueue::Admin, DataDir::None, {});
    EXPECT_EQ(s.steps[1].cdb, cdb({0xE5, 0, 0, 0xF8, 0, 0, 0}));
}

TEST(NvmeLayout, SingleCommandBridges) {
    std::vector<uint8_t> data(4096);
    BridgeSequence s =
        build_bridge_sequence(BridgeProtocol::AsmediaE6, nvme_identify(1, 1).command, NvmeQueue::Admin, DataDir::In, data);
    ASSERT_EQ(s.steps.size(), 1u);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xE6, 0x06, 0, 0x01, 0, 0, 0, 0x01}));
    EXPECT_EQ(s.steps[0].dir, DataDir::In);
    std::vector<uint8_t> log(512);
    s = build_bridge_sequence(BridgeProtocol::AsmediaE6, nvme_get_log_page(2, 0, false, 512).command,
                              NvmeQueue::Admin, DataDir::In, log);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xE6, 0x02, 0, 0x02, 0, 0, 0x00, 0x7F}));  // length / 4 - 1, big-endian

    s = build_bridge_sequence(BridgeProtocol::Rtl9210, nvme_get_log_page(2, 0, false, 512).command,
                              NvmeQueue::Admin, DataDir::In, log);
    ASSERT_EQ(s.steps.size(), 1u);
    EXPECT_EQ(s.steps[0].cdb, cdb({0xE4, 0x00, 0x02, 0x02, 0x02}));
}

// ---- running a bridge sequence ---------------------------------------------------------

class ScriptedScsi : public DiskDevice {
public:
    std::vector<bool> step_ok;  // per step; missing entries succeed
    std::vector<uint8_t> status;
    size_t calls = 0;
    uint32_t dw0 = 0x600D;
    DeviceStatus scsi(ScsiPassThrough& pt) override {
        size_t i = calls++;
        if (pt.dir == DataDir::In && !pt.data.empty()) {
            std::fill(pt.data.begin(), pt.data.end(), uint8_t{0});
            if (pt.data.size() >= 12) put_le32(pt.data, pt.data.size() == 512 ? 8 : 0, dw0);
            else put_le32(pt.data, 0, dw0);
        }
        if (i < status.size()) pt.scsi_status = status[i];
        return i < step_ok.size() && !step_ok[i] ? DeviceStatus::Failed : DeviceStatus::Ok;
    }
};

TEST(NvmeLayout, BridgeRunReadsDw0AndAcceptsTheF7DataPhase) {
    std::vector<uint8_t> data(4096);
    NvmeCommand c = nvme_identify(0, 0).command;
    {
        ScriptedScsi dev;
        BridgeSequence s = build_bridge_sequence(BridgeProtocol::JMicron, c, NvmeQueue::Admin, DataDir::In, data);
        BridgeOutcome o = run_bridge_sequence(dev, s);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.value, 0x600Du);  // read at byte 8 of the 512-byte block
        EXPECT_EQ(dev.calls, 3u);
    }
    {
        ScriptedScsi dev;
        dev.status = {0, 2};  // CHECK CONDITION in the data phase
        BridgeSequence s = build_bridge_sequence(BridgeProtocol::ASMedia, c, NvmeQueue::Admin, DataDir::In, data);
        BridgeOutcome o = run_bridge_sequence(dev, s);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.failed_step, 1);
        EXPECT_EQ(dev.calls, 2u);
    }
    {
        ScriptedScsi dev;
        dev.step_ok = {true, false};
        NvmeCommand kill = nvme_vendor_command(0xF7, 0, 1).command;
        BridgeSequence s = build_bridge_sequence(BridgeProtocol::Rtl9210B, kill, NvmeQueue::Admin, DataDir::None, {});
        BridgeOutcome o = run_bridge_sequence(dev, s);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(dev.calls, 3u);
    }
    {
        ScriptedScsi dev;
        dev.step_ok = {false};  // a failed command phase is never accepted
        NvmeCommand kill = nvme_vendor_command(0xF7, 0, 1).command;
        BridgeSequence s = build_bridge_sequence(BridgeProtocol::JMicron, kill, NvmeQueue::Admin, DataDir::None, {});
        EXPECT_FALSE(run_bridge_sequence(dev, s).ok);
    }
    {
        ScriptedScsi dev;
        BridgeSequence s = build_bridge_sequence(BridgeProtocol::Rtl9210, c, NvmeQueue::Admin, DataDir::In, data);
        BridgeOutcome o = run_bridge_sequence(dev, s);
        EXPECT_TRUE(o.ok);
        EXPECT_EQ(o.value, 0x600Du);  // first dword of the data
    }
}

}  // namespace
}  // namespace tb
