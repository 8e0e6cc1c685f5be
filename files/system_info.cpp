#include "files/system_info.h"

#include "disk/disk_record.h"
#include "files/system_info_report.h"
#include "platform/system_report.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

void cmd_SystemInfo(int slot, const std::string&, const std::string& name) {
    SystemReport& report = system_report();
    for (const std::string& line : machine_report_lines(report.machine())) log_text(slot, line);
    const DiskRecord& target = current_target();
    if (!target.physical_path.empty())
        for (const std::string& line : disk_report_lines(target, report.disk(target.physical_path))) log_text(slot, line);
    set_result_number(slot, name, 1);
}

}  // namespace tb
