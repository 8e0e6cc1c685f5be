// Commands of the program itself: help, console output, autostart.
#include "app/app_bindings.h"

#include "app/process_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"AutoRunOnStartup", cmd_AutoRunOnStartup},
    {"Help", cmd_Help},
    {"ShowCLICmdHeader", cmd_ShowCLICmdHeader},
    {"ConsoleOut", cmd_ConsoleOut},
};

}  // namespace

BindingList app_bindings() { return kBindings; }

}  // namespace tb
