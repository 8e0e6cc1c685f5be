// The handlers of exttools/ for uploading the job's logs to the lab's server.
#pragma once

#include "script/command_binding.h"

namespace tb {

BindingList upload_bindings();

}  // namespace tb
