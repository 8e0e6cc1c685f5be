#include "exttools/upload_bindings.h"

#include "exttools/upload_command.h"

namespace tb {

namespace {

const CommandBinding kBindings[] = {
    {"LogUpload", cmd_LogUpload},
};

}  // namespace

BindingList upload_bindings() { return kBindings; }

}  // namespace tb
