// InitParam_Data and InitParam_List: the job's start parameters, read back
// from "_InitParam.txt" in the job's log folder.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/evaluator.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/utility_commands.h"

namespace tb {

namespace {

// The parameter file's lines (UTF-16LE without BOM).
std::vector<std::string> init_param_lines(int slot) {
    JobSlot* js = job_slot(slot);
    if (!js) return {};
    std::ifstream in(path_join(js->log_folder, "_InitParam.txt"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string w;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        w += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    std::vector<std::string> lines;
    for (std::string& l : split(to_utf8(w), '\n')) {
        std::string t = trim(l, "\r");
        if (!t.empty()) lines.push_back(utf16_truncate(t, 250));
    }
    return lines;
}

}  // namespace

void cmd_InitParam_Data(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string keyword, type = "Auto", fallback;
    bool show = false;
    if (!r.get_string(0, keyword)) return;
    r.get_bool(1, show);
    if (r.has(2) && !r.get_string(2, type)) return;
    if (r.has(3) && !r.get_string(3, fallback)) return;
    std::string text;
    if (!keyword_lookup(slot, "_InitParam.txt", keyword, text)) text = fallback;
    Value v;
    int64_t n = 0;
    if (iequals(type, "String")) {
        v = Value::string(text);
    } else if (iequals(type, "Integer")) {
        v = Value::decimal(std::strtoll(text.c_str(), nullptr, 10));
    } else if (iequals(type, "Hex")) {
        v = Value::hex(static_cast<int64_t>(std::strtoull(text.c_str(), nullptr, 16)));
    } else if (parse_hex_literal(text, n)) {
        v = Value::hex(n);
    } else if (!text.empty() && parse_decimal_literal(text, n)) {
        v = Value::decimal(n);
    } else {
        v = Value::string(text);
    }
    if (v.is_string()) set_result_string(slot, name, v.str);
    else set_result_number(slot, name, v.num, v.type);
    if (show) {
        std::string shown = v.type == ValueType::Hex       ? fmt("0x%X", v.num)
                            : v.type == ValueType::Decimal ? fmt("%d", v.num)
                                                           : v.str;
        log_text(slot, shown);
    }
}

void cmd_InitParam_List(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool show = true;
    if (r.has(0)) r.get_bool(0, show);
    std::string list;
    for (const std::string& line : init_param_lines(slot)) {
        if (!list.empty()) list += ",";
        list += fmt("\"%s\"", line);
        if (show) log_text(slot, line);
    }
    set_result_string(slot, name, list);
}

}  // namespace tb
