// A simulated USB bridge: the SCSI front of a USB disk. It answers INQUIRY
// with the chip's marks and the block commands for the disk inside, and
// carries NVMe commands in exactly its chip's vendor CDBs:
//
//   JMicron    A1 80/00 (512-byte "NVME" block out), A1 81..83 (data), A1 8F (completion block)
//   ASMedia    EA 5A 80 (command), EB/EA 5A 81 (data), EB 5A 82 (completion); E6 single command
//   RTL9210B   E5 ..F7 (command), E5/E4 ..F8 (data), E4 ..F9 (completion)
//   RTL9210    E4 <length> <opcode> <cdw10>: Identify and Get Log Page only
//
// USB-SATA bridges take ATA PASS-THROUGH (12)/(16); a plain flash drive only
// the block commands. Every other CDB ends with CHECK CONDITION. The bridge
// power requests of the JMicron and ASMedia chips switch the inner disk.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/disk_device.h"
#include "platform/sim/sim_ata.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_nvme.h"
#include "platform/sim/sim_scsi.h"

namespace tb::sim {

enum class BridgePower { Off, On, Relink, Cycle };

// Where a bridge sends its power requests (the disk that holds it).
class BridgePowerSink {
  public:
    virtual ~BridgePowerSink() = default;
    virtual void bridge_power(BridgePower action) = 0;
};

// The USB vendor and product id of a bridge chip.
struct UsbIds {
    uint16_t vid = 0, pid = 0;
};
UsbIds bridge_usb_ids(BridgeKind kind);

class SimUsbBridge {
  public:
    // Exactly one of `nvme`, `ata` and `flash` is the disk inside.
    SimUsbBridge(const DiskConfig& config, SimNvmeController* nvme, SimSataDisk* ata, StoreBlockTarget* flash,
                 BridgePowerSink& power);

    BridgeKind kind() const { return kind_; }
    InquiryIdentity inquiry_identity() const;
    // One CDB; always delivered (status and sense say the outcome).
    void scsi(ScsiPassThrough& r);
    // Forgets a command in flight (the USB device was reset or unplugged).
    void reset();

  private:
    bool jmicron(ScsiPassThrough& r);
    bool asmedia(ScsiPassThrough& r);
    bool asmedia_single(ScsiPassThrough& r);
    bool rtl9210b(ScsiPassThrough& r);
    bool rtl9210(ScsiPassThrough& r);
    // Runs the pending command with the data phase's buffer.
    void run_pending(ScsiPassThrough& r, DataDir dir, uint32_t length);
    // The data and completion phases shared by the three-phase protocols:
    // `d` is the phase's direction code (0 none, 1 in, 2 out), `cdb_fits`
    // whether the CDB's opcode goes with that direction (or, for the
    // completion, is the protocol's data-in opcode).
    void data_phase(ScsiPassThrough& r, uint8_t d, bool cdb_fits, uint32_t length);
    void completion_phase(ScsiPassThrough& r, bool cdb_fits, uint32_t length);
    void single_read(ScsiPassThrough& r, uint8_t opcode, uint32_t cdw10, uint32_t nsid, uint32_t length);
    bool inner_ready(ScsiPassThrough& r);

    DiskConfig config_;
    BridgeKind kind_;
    SimNvmeController* nvme_;
    SimSataDisk* ata_;
    StoreBlockTarget* flash_;
    BridgePowerSink& power_;
    std::optional<NvmeBlockTarget> nvme_target_;
    std::optional<AtaBlockTarget> ata_target_;

    // Three-phase state.
    bool have_command_ = false;
    bool command_io_ = false;
    NvmeCommand command_;
    int power_request_ = -1;  // JMicron block carrying a power request
    bool have_completion_ = false;
    std::array<uint8_t, 16> completion_{};
};

}  // namespace tb::sim
