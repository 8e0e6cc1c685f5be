// The lines of SystemInfo: one "key : value" line per fact of the test PC
// and of the target disk's attachment, so that Result( KeyWord:... ) reads
// each back ("CPU Model", "Memory MB", "Link Speed", ...). A fact the
// machine cannot tell shows "-".
#pragma once

#include <string>
#include <vector>

#include "disk/disk_record.h"
#include "platform/system_report.h"

namespace tb {

std::vector<std::string> machine_report_lines(const MachineFacts& facts);
std::vector<std::string> disk_report_lines(const DiskRecord& target, const DiskAttachment& attachment);

}  // namespace tb
