#include "platform/console_input.h"

#include <windows.h>

namespace tb {

bool console_input_is_terminal() {
    // Only a console has a console mode; the null device, which the C runtime
    // counts as a character device like a terminal, has none.
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    return input != nullptr && input != INVALID_HANDLE_VALUE && ::GetConsoleMode(input, &mode) != 0;
}

}  // namespace tb
