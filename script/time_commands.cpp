// Time built-ins: DateTime and RunTime.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>

#include "common/duration.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/host/local_time.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/utility_commands.h"

namespace tb {

void cmd_DateTime(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string format;
    if (!a.get_string(0, format)) return;
    std::time_t now = std::time(nullptr);
    const std::tm t = host::local_time(now);
    const int y = t.tm_year + 1900, mo = t.tm_mon + 1, d = t.tm_mday, h = t.tm_hour, mi = t.tm_min,
              s = t.tm_sec;
    std::string out;
    if (iequals(format, "YYYY-MM-DD"))
        out = fmt("%4d-%02d-%02d", y, mo, d);
    else if (iequals(format, "YYYYMMDD"))
        out = fmt("%4d%02d%02d", y, mo, d);
    else if (iequals(format, "hh:mm:ss"))
        out = fmt("%02d:%02d:%02d", h, mi, s);
    else if (iequals(format, "hhmmss"))
        out = fmt("%02d%02d%02d", h, mi, s);
    else if (iequals(format, "YYYY-MM-DD hh:mm:ss"))
        out = fmt("%4d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    else if (iequals(format, "YYYYMMDD-hhmmss"))
        out = fmt("%4d%02d%02d-%02d%02d%02d", y, mo, d, h, mi, s);
    else {
        raise_error(slot, kErrParam, "");
        return;
    }
    set_result_string(slot, name, out);
}

void cmd_RunTime(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    JobSlot* js = job_slot(slot);
    if (!js) return;
    bool show = false;
    std::string unit = "ms";
    if (a.has(0)) a.get_bool(0, show);
    if (a.has(1) && !a.get_string(1, unit)) return;
    const auto elapsed = std::chrono::steady_clock::now() - js->start_time;
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    // The unit names are matched exactly: "SEC" is not "sec" and gives milliseconds.
    int64_t value = ms;
    if (unit == "sec")
        value = ms / 1000;
    else if (unit == "min")
        value = ms / 60000;
    else if (unit == "hr")
        value = ms / 3600000;
    if (show)
        write_linef(slot, LineFormat::Normal, 10, colour::kWhite, "Script RunTime : %I64d (%s)", value,
                    readable_duration(static_cast<uint32_t>(ms)));
    set_result_number(slot, name, value);
}

}  // namespace tb
