// The report of the Linux machine this program runs on.
#include "platform/linux/linux_system_facts.h"
#include "platform/system_report.h"

namespace tb {

namespace {

class LinuxSystemReport final : public SystemReport {
public:
    MachineFacts machine() override { return linuxdisk::read_machine_facts(linuxdisk::ReportRoots{}); }
    DiskAttachment disk(const std::string& disk_path) override {
        return linuxdisk::read_disk_attachment(linuxdisk::ReportRoots{}, disk_path);
    }
};

}  // namespace

std::unique_ptr<SystemReport> make_native_system_report() { return std::make_unique<LinuxSystemReport>(); }

}  // namespace tb
