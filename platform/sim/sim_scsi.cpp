#include "platform/sim/sim_scsi.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tb::sim {

namespace scsi {

void good(ScsiPassThrough& r, uint32_t transferred) {
    r.scsi_status = kGood;
    r.sense.fill(0);
    r.transferred = transferred;
}

void check(ScsiPassThrough& r, uint8_t key, uint8_t asc, uint8_t ascq, uint32_t information) {
    r.scsi_status = kCheckCondition;
    r.transferred = 0;
    r.sense.fill(0);
    r.sense[0] = static_cast<uint8_t>(0x70 | (information ? 0x80 : 0));
    r.sense[2] = key;
    put_be32(r.sense, 3, information);
    r.sense[7] = 10;
    r.sense[12] = asc;
    r.sense[13] = ascq;
}

bool data_fits(ScsiPassThrough& r, DataDir dir, uint64_t bytes) {
    if (bytes == 0) return true;
    if (r.dir != dir || r.data.size() < bytes) {
        invalid_field(r);
        return false;
    }
    return true;
}

void reply(ScsiPassThrough& r, std::span<const uint8_t> bytes, uint32_t allocation) {
    size_t n = std::min<size_t>({bytes.size(), allocation, r.data.size()});
    if (n && r.dir != DataDir::In) {
        invalid_field(r);
        return;
    }
    if (n) std::memcpy(r.data.data(), bytes.data(), n);
    good(r, static_cast<uint32_t>(n));
}

}  // namespace scsi

namespace {

using namespace scsi;

std::vector<uint8_t> standard_inquiry(const InquiryIdentity& id) {
    std::vector<uint8_t> d(96, 0);
    d[0] = 0x00;                          // direct access block device
    d[1] = id.removable ? 0x80 : 0x00;
    d[2] = 0x06;                          // SPC-4
    d[3] = 0x02;                          // response data format
    d[4] = static_cast<uint8_t>(d.size() - 5);
    d[7] = 0x02;                          // command queueing
    put_ascii(d, 8, 8, id.vendor);
    put_ascii(d, 16, 16, id.product);
    put_ascii(d, 32, 4, id.revision);
    if (id.has_signature) {
        d[36] = id.byte36;
        d[37] = id.byte37;
    }
    return d;
}

bool inquiry(ScsiPassThrough& r, BlockTarget& t, const InquiryIdentity& id) {
    std::span<const uint8_t> cdb(r.cdb);
    uint32_t allocation = get_be16(cdb, 3);
    bool evpd = cdb[1] & 1;
    if (!evpd) {
        if (cdb[2] != 0) {
            invalid_field(r);
            return true;
        }
        auto d = standard_inquiry(id);
        reply(r, d, allocation);
        return true;
    }
    std::vector<uint8_t> d(4, 0);
    d[1] = cdb[2];
    switch (cdb[2]) {
        case 0x00:
            for (uint8_t p : {0x00, 0x80, 0x83, 0xB0, 0xB1}) d.push_back(p);
            break;
        case 0x80: {
            std::string sn = id.serial.empty() ? std::string("0") : id.serial;
            d.insert(d.end(), sn.begin(), sn.end());
            break;
        }
        case 0x83: {  // one T10 vendor identification designator
            std::string v = id.vendor;
            v.resize(8, ' ');
            std::string text = v + id.product + " " + id.serial;
            d.push_back(0x02);  // ASCII
            d.push_back(0x01);  // T10 vendor id, logical unit
            d.push_back(0x00);
            d.push_back(static_cast<uint8_t>(text.size()));
            d.insert(d.end(), text.begin(), text.end());
            break;
        }
        case 0xB0: {  // block limits
            d.resize(64, 0);
            put_be32(d, 8, 0);                          // no transfer length limit
            if (t.supports_unmap()) {
                put_be32(d, 20, 0xFFFFFFFF);            // maximum unmap LBA count
                put_be32(d, 24, 256);                   // maximum unmap descriptors
            }
            break;
        }
        case 0xB1:  // block device characteristics: not rotating
            d.resize(64, 0);
            put_be16(d, 4, 0x0001);
            break;
        default: invalid_field(r); return true;
    }
    put_be16(d, 2, static_cast<uint16_t>(d.size() - 4));
    reply(r, d, allocation);
    return true;
}

bool transfer(ScsiPassThrough& r, BlockTarget& t, bool write, uint64_t lba, uint64_t blocks, bool fua) {
    if (!t.ready()) {
        medium_not_present(r);
        return true;
    }
    if (lba > t.block_count() || blocks > t.block_count() - lba) {
        lba_out_of_range(r);
        return true;
    }
    uint64_t bytes = blocks * t.block_size();
    if (!data_fits(r, write ? DataDir::Out : DataDir::In, bytes)) return true;
    if (blocks == 0) {
        good(r);
        return true;
    }
    std::span<uint8_t> buf = r.data.first(static_cast<size_t>(bytes));
    bool ok = write ? t.write(r, lba, static_cast<uint32_t>(blocks), buf, fua)
                    : t.read(r, lba, static_cast<uint32_t>(blocks), buf);
    if (ok) good(r, static_cast<uint32_t>(bytes));
    return true;
}

}  // namespace

bool block_command(ScsiPassThrough& r, BlockTarget& t, const InquiryIdentity& id) {
    std::span<const uint8_t> cdb(r.cdb);
    switch (cdb[0]) {
        case 0x00:  // TEST UNIT READY
            if (t.ready()) good(r);
            else medium_not_present(r);
            return true;
        case 0x03: {  // REQUEST SENSE
            std::vector<uint8_t> d(18, 0);
            d[0] = 0x70;
            d[7] = 10;
            if (!t.ready()) {
                d[2] = kNotReady;
                d[12] = 0x3A;
            }
            reply(r, d, cdb[4]);
            return true;
        }
        case 0x12: return inquiry(r, t, id);
        case 0x1B:  // START STOP UNIT
        case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
            good(r);
            return true;
        case 0x1A:
        case 0x5A: {  // MODE SENSE: a header without pages
            bool ten = cdb[0] == 0x5A;
            std::vector<uint8_t> d(ten ? 8 : 4, 0);
            if (ten) put_be16(d, 0, 6);
            else d[0] = 3;
            reply(r, d, ten ? get_be16(cdb, 7) : cdb[4]);
            return true;
        }
        case 0xA0: {  // REPORT LUNS
            std::vector<uint8_t> d(16, 0);
            put_be32(d, 0, 8);
            reply(r, d, get_be32(cdb, 6));
            return true;
        }
        case 0x25: {  // READ CAPACITY (10)
            if (!t.ready()) {
                medium_not_present(r);
                return true;
            }
            std::vector<uint8_t> d(8, 0);
            uint64_t last = t.block_count() - 1;
            put_be32(d, 0, last > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(last));
            put_be32(d, 4, t.block_size());
            reply(r, d, 8);
            return true;
        }
        case 0x9E: {  // SERVICE ACTION IN (16)
            if ((cdb[1] & 0x1F) != 0x10) {
                invalid_field(r);
                return true;
            }
            if (!t.ready()) {
                medium_not_present(r);
                return true;
            }
            std::vector<uint8_t> d(32, 0);
            put_be64(d, 0, t.block_count() - 1);
            put_be32(d, 8, t.block_size());
            d[13] = t.block_size() == 512 ? 3 : 0;  // 4 KiB physical blocks
            if (t.supports_unmap()) d[14] = 0xC0;   // LBPME, LBPRZ
            reply(r, d, get_be32(cdb, 10));
            return true;
        }
        case 0x08:
        case 0x0A: {  // READ / WRITE (6)
            uint64_t lba = get_be24(cdb, 1) & 0x1FFFFF;
            uint32_t n = cdb[4] ? cdb[4] : 256;
            return transfer(r, t, cdb[0] == 0x0A, lba, n, false);
        }
        case 0x28:
        case 0x2A:  // READ / WRITE (10)
            return transfer(r, t, cdb[0] == 0x2A, get_be32(cdb, 2), get_be16(cdb, 7), cdb[1] & 0x08);
        case 0xA8:
        case 0xAA:  // READ / WRITE (12)
            return transfer(r, t, cdb[0] == 0xAA, get_be32(cdb, 2), get_be32(cdb, 6), cdb[1] & 0x08);
        case 0x88:
        case 0x8A:  // READ / WRITE (16)
            return transfer(r, t, cdb[0] == 0x8A, get_be64(cdb, 2), get_be32(cdb, 10), cdb[1] & 0x08);
        case 0x2F:
        case 0x8F: {  // VERIFY (10) / (16): the range only
            uint64_t lba = cdb[0] == 0x2F ? get_be32(cdb, 2) : get_be64(cdb, 2);
            uint64_t n = cdb[0] == 0x2F ? get_be16(cdb, 7) : get_be32(cdb, 10);
            if (!t.ready()) medium_not_present(r);
            else if (lba > t.block_count() || n > t.block_count() - lba) lba_out_of_range(r);
            else good(r);
            return true;
        }
        case 0x35:
        case 0x91:  // SYNCHRONIZE CACHE (10) / (16)
            if (!t.ready()) medium_not_present(r);
            else if (t.flush(r)) good(r);
            return true;
        case 0x42: {  // UNMAP
            if (!t.supports_unmap()) {
                invalid_opcode(r);
                return true;
            }
            if (!t.ready()) {
                medium_not_present(r);
                return true;
            }
            uint32_t len = get_be16(cdb, 7);
            if (len < 8 || !data_fits(r, DataDir::Out, len)) {
                if (r.scsi_status != kCheckCondition) invalid_field(r);
                return true;
            }
            std::span<const uint8_t> p = r.data.first(len);
            uint32_t descriptors = std::min<uint32_t>(get_be16(p, 2), len - 8) / 16;
            for (uint32_t i = 0; i < descriptors; ++i) {  // check all first
                uint64_t lba = get_be64(p, 8 + 16 * i);
                uint64_t n = get_be32(p, 16 + 16 * i);
                if (lba > t.block_count() || n > t.block_count() - lba) {
                    lba_out_of_range(r);
                    return true;
                }
            }
            for (uint32_t i = 0; i < descriptors; ++i) {
                uint64_t lba = get_be64(p, 8 + 16 * i);
                uint64_t n = get_be32(p, 16 + 16 * i);
                if (n && !t.unmap(r, lba, n)) return true;
            }
            good(r);
            return true;
        }
        default: return false;
    }
}

// ---- NVMe ----------------------------------------------------------------

bool NvmeBlockTarget::status_to_sense(ScsiPassThrough& r, uint16_t status) {
    uint16_t s = status & 0x7FF;
    if (s == 0) return true;
    if (s == (nvme_status::kLbaOutOfRange & 0x7FF)) lba_out_of_range(r);
    else if (s == (nvme_status::kInvalidField & 0x7FF)) invalid_field(r);
    else if (s == nvme_status::sc(2, 0x81)) check(r, kMediumError, 0x11, 0x00);
    else if (s == nvme_status::sc(2, 0x80)) check(r, kMediumError, 0x0C, 0x00);
    else if (s == (nvme_status::kCompareFailure & 0x7FF)) check(r, kMiscompare, 0x1D, 0x00);
    else check(r, kHardwareError, 0x44, 0x00, status);
    return false;
}

namespace {
constexpr uint64_t kNvmeChunk = 1u << 20;  // bytes per translated command

NvmeCommand nvme_rw(uint8_t opcode, uint64_t lba, uint32_t blocks, bool fua) {
    NvmeCommand c;
    c.bytes[0] = opcode;
    put_le32(c.bytes, 4, 1);
    put_le32(c.bytes, 40, static_cast<uint32_t>(lba));
    put_le32(c.bytes, 44, static_cast<uint32_t>(lba >> 32));
    put_le32(c.bytes, 48, (blocks - 1) | (fua ? 1u << 30 : 0));
    return c;
}
}  // namespace

bool NvmeBlockTarget::read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) {
    uint32_t per = static_cast<uint32_t>(kNvmeChunk / c_.block_size());
    for (uint32_t done = 0; done < blocks;) {
        uint32_t n = std::min(per, blocks - done);
        auto chunk = out.subspan(static_cast<size_t>(done) * c_.block_size(), static_cast<size_t>(n) * c_.block_size());
        if (!status_to_sense(r, c_.execute(nvme_rw(0x02, lba + done, n, false), true, DataDir::In, chunk).status))
            return false;
        done += n;
    }
    return true;
}

bool NvmeBlockTarget::write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) {
    uint32_t per = static_cast<uint32_t>(kNvmeChunk / c_.block_size());
    for (uint32_t done = 0; done < blocks;) {
        uint32_t n = std::min(per, blocks - done);
        auto chunk = in.subspan(static_cast<size_t>(done) * c_.block_size(), static_cast<size_t>(n) * c_.block_size());
        std::span<uint8_t> mutable_chunk(const_cast<uint8_t*>(chunk.data()), chunk.size());
        if (!status_to_sense(r, c_.execute(nvme_rw(0x01, lba + done, n, fua), true, DataDir::Out, mutable_chunk).status))
            return false;
        done += n;
    }
    return true;
}

bool NvmeBlockTarget::flush(ScsiPassThrough& r) {
    NvmeCommand c;
    c.bytes[0] = 0x00;
    put_le32(c.bytes, 4, 1);
    return status_to_sense(r, c_.execute(c, true, DataDir::None, {}).status);
}

bool NvmeBlockTarget::unmap(ScsiPassThrough& r, uint64_t lba, uint64_t blocks) {
    while (blocks) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(blocks, 0xFFFFFFFFu));
        std::vector<uint8_t> range(16, 0);
        put_le32(range, 4, n);
        put_le64(range, 8, lba);
        NvmeCommand c;
        c.bytes[0] = 0x09;
        put_le32(c.bytes, 4, 1);
        put_le32(c.bytes, 40, 0);    // one range
        put_le32(c.bytes, 44, 0x4);  // deallocate
        if (!status_to_sense(r, c_.execute(c, true, DataDir::Out, range).status)) return false;
        lba += n;
        blocks -= n;
    }
    return true;
}

InquiryIdentity nvme_inquiry_identity(const SimNvmeController& c) {
    InquiryIdentity id;
    id.vendor = "NVMe";
    id.product = c.config().model.substr(0, 16);
    id.revision = c.firmware_revision().substr(0, 4);
    id.serial = c.config().serial;
    return id;
}

bool nvme_security_cdb(ScsiPassThrough& r, SimNvmeController& c) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xA2 && cdb[0] != 0xB5) return false;
    bool in = cdb[0] == 0xA2;
    uint32_t length = get_be32(cdb, 6);
    if (cdb[4] & 0x80) length *= 512;  // INC_512
    if (!data_fits(r, in ? DataDir::In : DataDir::Out, length)) return true;
    NvmeCommand cmd;
    cmd.bytes[0] = in ? 0x82 : 0x81;
    put_le32(cmd.bytes, 40, (static_cast<uint32_t>(cdb[1]) << 24) | (static_cast<uint32_t>(get_be16(cdb, 2)) << 8));
    put_le32(cmd.bytes, 44, length);
    NvmeResult res = c.execute(cmd, false, in ? DataDir::In : DataDir::Out, r.data.first(std::min<size_t>(length, r.data.size())));
    if (res.status == 0) good(r, length);
    else if ((res.status & 0x7FF) == (nvme_status::kInvalidField & 0x7FF)) invalid_field(r);
    else check(r, kHardwareError, 0x44, 0x00, res.status);
    return true;
}

// ---- ATA -----------------------------------------------------------------

bool AtaBlockTarget::output_to_sense(ScsiPassThrough& r, const AtaOutput& o) {
    if (!o.failed()) return true;
    if (o.error & ata_reg::kErrIdnf) lba_out_of_range(r);
    else if (o.error & ata_reg::kErrUnc) check(r, kMediumError, 0x11, 0x04, static_cast<uint32_t>(o.lba));
    else check(r, kAbortedCommand, 0x00, 0x00);
    return false;
}

namespace {
AtaCommand ata_rw(uint8_t command, uint64_t lba, uint32_t sectors) {
    AtaCommand c;
    c.command = command;
    c.lba = lba;
    c.count = static_cast<uint16_t>(sectors == 65536 ? 0 : sectors);
    c.device = 0x40;
    c.ext = true;
    return c;
}
}  // namespace

bool AtaBlockTarget::read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) {
    for (uint32_t done = 0; done < blocks;) {
        uint32_t n = std::min<uint32_t>(65536, blocks - done);
        auto chunk = out.subspan(static_cast<size_t>(done) * 512, static_cast<size_t>(n) * 512);
        if (!output_to_sense(r, d_.execute(ata_rw(0x25, lba + done, n), AtaProtocol::DmaIn, chunk))) return false;
        done += n;
    }
    return true;
}

bool AtaBlockTarget::write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) {
    for (uint32_t done = 0; done < blocks;) {
        uint32_t n = std::min<uint32_t>(65536, blocks - done);
        auto chunk = in.subspan(static_cast<size_t>(done) * 512, static_cast<size_t>(n) * 512);
        std::span<uint8_t> mutable_chunk(const_cast<uint8_t*>(chunk.data()), chunk.size());
        if (!output_to_sense(r, d_.execute(ata_rw(fua ? 0x3D : 0x35, lba + done, n), AtaProtocol::DmaOut, mutable_chunk)))
            return false;
        done += n;
    }
    return true;
}

bool AtaBlockTarget::flush(ScsiPassThrough& r) {
    AtaCommand c;
    c.command = 0xEA;
    c.ext = true;
    return output_to_sense(r, d_.execute(c, AtaProtocol::NonData, {}));
}

bool AtaBlockTarget::unmap(ScsiPassThrough& r, uint64_t lba, uint64_t blocks) {
    // One 512-byte block of TRIM entries per command: 64 ranges of up to 65535 sectors.
    while (blocks) {
        std::vector<uint8_t> entries(512, 0);
        for (int i = 0; i < 64 && blocks; ++i) {
            uint64_t n = std::min<uint64_t>(blocks, 0xFFFF);
            put_le64(entries, static_cast<size_t>(i) * 8, lba | (n << 48));
            lba += n;
            blocks -= n;
        }
        AtaCommand c;
        c.command = 0x06;
        c.feature = 0x01;
        c.count = 1;
        c.ext = true;
        if (!output_to_sense(r, d_.execute(c, AtaProtocol::DmaOut, entries))) return false;
    }
    return true;
}

InquiryIdentity ata_inquiry_identity(const SimSataDisk& disk) {
    InquiryIdentity id;
    id.vendor = "ATA";
    id.product = disk.config().model.substr(0, 16);
    std::string fw = disk.firmware_revision();
    id.revision = fw.size() > 4 ? fw.substr(fw.size() - 4) : fw;
    id.serial = disk.config().serial;
    return id;
}

namespace {

// ATA status return descriptor in descriptor-format sense.
void ata_sense(ScsiPassThrough& r, uint8_t key, const AtaOutput& o, bool ext) {
    r.scsi_status = kCheckCondition;
    r.sense.fill(0);
    r.sense[0] = 0x72;
    r.sense[1] = key;
    r.sense[2] = 0x00;
    r.sense[3] = 0x1D;  // ATA PASS THROUGH INFORMATION AVAILABLE
    r.sense[7] = 14;
    uint8_t* d = r.sense.data() + 8;
    d[0] = 0x09;
    d[1] = 0x0C;
    d[2] = ext ? 1 : 0;
    d[3] = o.error;
    d[4] = static_cast<uint8_t>(o.count >> 8);
    d[5] = static_cast<uint8_t>(o.count);
    d[6] = static_cast<uint8_t>(o.lba >> 24);
    d[7] = static_cast<uint8_t>(o.lba);
    d[8] = static_cast<uint8_t>(o.lba >> 32);
    d[9] = static_cast<uint8_t>(o.lba >> 8);
    d[10] = static_cast<uint8_t>(o.lba >> 40);
    d[11] = static_cast<uint8_t>(o.lba >> 16);
    d[12] = o.device;
    d[13] = o.status;
}

}  // namespace

bool ata_pass_through_cdb(ScsiPassThrough& r, SimSataDisk& disk) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xA1 && cdb[0] != 0x85) return false;
    bool sixteen = cdb[0] == 0x85;
    if (r.cdb_length < (sixteen ? 16 : 12)) {
        invalid_field(r);
        return true;
    }
    uint8_t protocol = (cdb[1] >> 1) & 0x0F;
    bool extend = sixteen && (cdb[1] & 1);
    bool ck_cond = (cdb[2] & 0x20) != 0;
    bool t_dir_in = (cdb[2] & 0x08) != 0;
    uint8_t t_length = cdb[2] & 0x03;
    AtaCommand c;
    if (sixteen) {
        // Without EXTEND the upper register halves are not delivered.
        c.feature = static_cast<uint16_t>(cdb[4] | (extend ? cdb[3] << 8 : 0));
        c.count = static_cast<uint16_t>(cdb[6] | (extend ? cdb[5] << 8 : 0));
        c.lba = static_cast<uint64_t>(cdb[8]) | (static_cast<uint64_t>(cdb[10]) << 8) |
                (static_cast<uint64_t>(cdb[12]) << 16);
        if (extend) {
            c.lba |= (static_cast<uint64_t>(cdb[7]) << 24) | (static_cast<uint64_t>(cdb[9]) << 32) |
                     (static_cast<uint64_t>(cdb[11]) << 40);
        }
        c.device = cdb[13];
        c.command = cdb[14];
    } else {
        c.feature = cdb[3];
        c.count = cdb[4];
        c.lba = static_cast<uint64_t>(cdb[5]) | (static_cast<uint64_t>(cdb[6]) << 8) |
                (static_cast<uint64_t>(cdb[7]) << 16);
        c.device = cdb[8];
        c.command = cdb[9];
    }
    c.ext = extend;
    AtaProtocol p;
    switch (protocol) {
        case 0: case 1:  // resets carry no data
            if (!r.data.empty() && r.dir != DataDir::None) invalid_field(r);
            else good(r);
            return true;
        case 3: p = AtaProtocol::NonData; break;
        case 4: p = AtaProtocol::PioIn; break;
        case 5: p = AtaProtocol::PioOut; break;
        case 6: p = t_dir_in ? AtaProtocol::DmaIn : AtaProtocol::DmaOut; break;
        case 10: p = AtaProtocol::DmaIn; break;
        case 11: p = AtaProtocol::DmaOut; break;
        default: invalid_field(r); return true;
    }
    bool in = p == AtaProtocol::PioIn || p == AtaProtocol::DmaIn;
    bool out = p == AtaProtocol::PioOut || p == AtaProtocol::DmaOut;
    if ((in || out) && (t_length == 0 || t_dir_in != in)) {
        invalid_field(r);
        return true;
    }
    if ((in && r.dir == DataDir::Out) || (out && r.dir == DataDir::In) || (!in && !out && !r.data.empty() && r.dir != DataDir::None)) {
        invalid_field(r);
        return true;
    }
    std::span<uint8_t> data = (in || out) ? r.data : std::span<uint8_t>();
    if (!disk.powered()) {
        medium_not_present(r);
        return true;
    }
    AtaOutput o = disk.execute(c, p, data, /*strict_protocol=*/false);
    if (o.failed()) {
        ata_sense(r, kAbortedCommand, o, extend);
        return true;
    }
    if (ck_cond) {
        ata_sense(r, kRecoveredError, o, extend);
        r.transferred = o.transferred;
        return true;
    }
    good(r, o.transferred);
    return true;
}

// ---- plain medium --------------------------------------------------------

bool StoreBlockTarget::read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) {
    if (!s_.read(lba * 512, out.first(static_cast<size_t>(blocks) * 512))) {
        check(r, kMediumError, 0x11, 0x00);
        return false;
    }
    return true;
}

bool StoreBlockTarget::write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) {
    if (!s_.write(lba * 512, in.first(static_cast<size_t>(blocks) * 512), fua)) {
        check(r, kMediumError, 0x0C, 0x00);
        return false;
    }
    return true;
}

bool StoreBlockTarget::flush(ScsiPassThrough&) { return s_.flush(); }

bool StoreBlockTarget::unmap(ScsiPassThrough& r, uint64_t, uint64_t) {
    invalid_opcode(r);
    return false;
}

}  // namespace tb::sim
