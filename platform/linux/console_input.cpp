#include "platform/console_input.h"

#include <unistd.h>

namespace tb {

bool console_input_is_terminal() { return ::isatty(STDIN_FILENO) != 0; }

}  // namespace tb
