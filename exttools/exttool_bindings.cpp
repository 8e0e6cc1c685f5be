#include "exttools/exttool_bindings.h"

#include "exttools/exec_command.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"Exec", cmd_Exec},
};

}  // namespace

BindingList exttool_bindings() { return kBindings; }

}  // namespace tb
