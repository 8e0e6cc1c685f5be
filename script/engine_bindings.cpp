// The engine's own commands: control flow, error policy, utility,
// job and cross-instance commands.
#include "script/engine_bindings.h"

#include "script/flow_commands.h"
#include "script/fn_script.h"
#include "script/sync_commands.h"
#include "script/utility_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"Exit", cmd_Exit},
    {"Break", cmd_Break},
    {"Delay", cmd_Delay},
    {"InitParam_Data", cmd_InitParam_Data},
    {"InitParam_List", cmd_InitParam_List},
    {"SyncInit", cmd_SyncInit},
    {"SyncWait", cmd_SyncWait},
    {"SetGlobalVar", cmd_SetGlobalVar},
    {"GetGlobalVar", cmd_GetGlobalVar},
    {"CallFnScript", cmd_CallFnScript},
    {"CancelFnScript", cmd_CancelFnScript},
    {"GlobalLock", cmd_GlobalLock},
    {"GlobalUnLock", cmd_GlobalUnLock},
    {"SetErrorSkip", cmd_SetErrorSkip},
    {"GetErrorCount", cmd_GetErrorCount},
    {"SetErrorDesc", cmd_SetErrorDesc},
    {"RandomValue", cmd_RandomValue},
    {"StrToNumber", cmd_StrToNumber},
    {"StrStr", cmd_StrStr},
    {"StrCmp", cmd_StrCmp},
    {"StrSub", cmd_StrSub},
    {"BitValue", cmd_BitValue},
    {"NumberToStr", cmd_NumberToStr},
    {"StrLen", cmd_StrLen},
    {"StrSplit", cmd_StrSplit},
    {"ArrayLen", cmd_ArrayLen},
    {"StrSetLen", cmd_StrSetLen},
    {"StrReplace", cmd_StrReplace},
    {"RunTime", cmd_RunTime},
    {"DateTime", cmd_DateTime},
    {"IsFileExist", cmd_IsFileExist},
    {"IsFnScriptRunning", cmd_IsFnScriptRunning},
    {"GetINIData", cmd_GetINIData},
    {"SetINIData", cmd_SetINIData},
    {"FileRename", cmd_FileRename},
    {"APFileName", cmd_APFileName},
    {"GetFileSize", cmd_GetFileSize},
};

}  // namespace

BindingList engine_bindings() { return kBindings; }

}  // namespace tb
