// Output, result-reading and log-folder commands.
#include "ui/ui_bindings.h"

#include "ui/box_commands.h"
#include "ui/csv_commands.h"
#include "ui/font_list.h"
#include "ui/output_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"Print", cmd_Print},
    {"PrintEx", cmd_PrintEx},
    {"Result", cmd_Result},
    {"ResultHex", cmd_ResultHex},
    {"ResultColumn", cmd_ResultColumn},
    {"Report_Print", cmd_Report_Print},
    {"SetStatusText", cmd_SetStatusText},
    {"Cls", cmd_Cls},
    {"ScpxFolder", cmd_ScpxFolder},
    {"LogFolder", cmd_GetLogFolder},
    {"GetLogFolder", cmd_GetLogFolder},
    {"SetLogFolder", cmd_SetLogFolder},
    {"FontList", cmd_FontList},
    {"CSV_AddData", cmd_CSV_AddData},
    {"MergeCSVs", cmd_MergeCSVs},
    {"CSV_ShowChart", cmd_CSV_ShowChart},
    {"CSV_ShowTable", cmd_CSV_ShowTable},
    {"MessageBox", cmd_MessageBox},
    {"ComboBox", cmd_ComboBox},
    {"NumberBox", cmd_NumberBox},
    {"CheckListBox", cmd_CheckListBox},
    {"InputBox", cmd_InputBox},
    {"FileSelectBox", cmd_FileSelectBox},
};

}  // namespace

BindingList ui_bindings() { return kBindings; }

}  // namespace tb
