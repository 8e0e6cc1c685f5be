#include "script/error_policy.h"

#include "common/format.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"

namespace tb {

const std::array<ErrorEntry, 58> kErrorTable = {{
    {1, "Success Finish return TRUE"},
    {0, "Success Finish return FALSE"},
    {-1, "Open Disk Fail"},
    {-2, "Parameters not match spec or over limit"},
    {-3, "Read IO Fail"},
    {-4, "Write IO Fail"},
    {-5, "Update FW Error"},
    {-6, "Active FW Error"},
    {-85, "Wait FW Active Timeout"},
    {-7, "Partition Control Error"},
    {-8, "Partition Count Detect Fail"},
    {-9, "Get Disk Information Fail"},
    {-21, "Output File Fail"},
    {-10, "Get File Size Error"},
    {-60, "Security Set Password"},
    {-61, "Security Set UnLock"},
    {-62, "Security Set Erase Prepare"},
    {-63, "Security Set Erase"},
    {-64, "Security Set Lock"},
    {-65, "Security Set Disable"},
    {-70, "1st Read is Miscompare, 2nd Read is Correct!"},
    {-71, "1st Read is Miscompare, 2nd Read is still MisCompare!"},
    {-11, "File Open Fail or File Does Not Exist"},
    {-13, "Script Error CtlList_DelBlock Fail"},
    {-14, "Script Error CtlList_UpdateAction Fail"},
    {-15, "Script Error CtlList_GetBlock Fail"},
    {-16, "Undefine Command"},
    {-12, "Script Command Too Long > 250"},
    {-17, "Lose Block Command End"},
    {-18, "Lose Block End"},
    {-19, "Prepare File Error"},
    {-20, "Command Only Support RAW Mode"},
    {-22, "Command Only Support RAW Mode or a Partition"},
    {-24, "No Partition Found"},
    {-23, "Format Fail"},
    {-25, "Script Variable Not Initial"},
    {-26, "Script Variable Type Error"},
    {-27, "Script Variable Cannot Compare"},
    {-28, "Cannot find KeyWord"},
    {-29, "Cannot find ColumeId"},
    {-30, "Cannot find Valid Key"},
    {-72, "Power Hub Error"},
    {-73, "Auto Barcode Error"},
    {-74, "IO Control Error"},
    {-75, "Remove Device Error"},
    {-76, "IO Response Timeout"},
    {-79, "Function Not Support"},
    {-80, "TCP Server not found"},
    {-81, "Must Install OFA Driver"},
    {-82, "Compare Size Different"},
    {-83, "Host Memory Alloc Fail"},
    {-84, "Command not match Disk NVMe/SATA Type"},
    {-86, "Change Driver Fail"},
    {-87, "Too much memory used, Please reduce scope"},
    {-88, "No Support Option ROM, Please Update FW first"},
    {-89, "Partition C cannot be deleted"},
    {-90, "Invalid Data or Signature Incorrect"},
    {-255, "Error"},
}};

const ErrorEntry* find_error(int32_t code) {
    for (const auto& e : kErrorTable)
        if (e.code == code) return &e;
    return nullptr;
}

namespace {

int64_t read_number(const JobSlot& js, std::string_view name) {
    const Value* v = js.vars.find(name);
    return v && v->is_number() ? v->num : 0;
}

}  // namespace

int64_t error_check(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return kCheckRunning;
    const Value* v = js->vars.find("_ErrorCheck");
    return v && v->is_number() ? v->num : kCheckRunning;
}

void raise_error(int slot, int32_t code, std::string_view detail) {
    JobSlot* js = job_slot(slot);
    if (!js) return;
    if (code >= 0) {
        js->error_code = code;
        js->error_text = std::string(detail);
        if (!detail.empty()) log_error_line(slot, detail);
        js->vars.set_number("_ErrorCheck", kCheckExit);
        return;
    }
    if (const ErrorEntry* e = find_error(code)) {
        js->error_code = code;
        js->error_text = fmt("%s. %s", e->description, detail);
        log_error_line(slot, fmt("[Error Code]:  0x%06X", code));
        log_error_line(slot, fmt("[Error Desc]:  %s", js->error_text));
    }
    int64_t count = read_number(*js, "_ErrorCount") + 1;
    int64_t skip = read_number(*js, "_ErrorSkip");
    js->vars.set_number("_ErrorCount", count);
    if (count <= skip) {
        log_text(slot, fmt("-- Error Count: %d --", count));
        return;
    }
    const Value* desc = js->vars.find("_ErrorDesc");
    if (desc && desc->is_string() && !desc->str.empty()) {
        js->error_text = desc->str;
        log_error_line(slot, desc->str);
    }
    js->vars.set_number("_ErrorCheck", kCheckErrorStop);
}

}  // namespace tb
