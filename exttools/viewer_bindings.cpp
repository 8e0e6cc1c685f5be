#include "exttools/viewer_bindings.h"

#include "exttools/viewer_commands.h"

namespace tb {

namespace {

const CommandBinding kBindings[] = {
    {"moreViewer", cmd_moreViewer},
    {"GetViewID", cmd_GetViewID},
    {"LogView_Send", cmd_LogView_Send},
    {"LogView_Wait", cmd_LogView_Wait},
};

}  // namespace

BindingList viewer_bindings() { return kBindings; }

}  // namespace tb
