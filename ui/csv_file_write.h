// Writing a CSV file whole and in one step: the text goes to a file beside
// it that then replaces it, so a reader never sees half a file.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// False when the text cannot be written or put in place; `error` then says why.
bool write_csv_atomically(const std::string& path, std::string_view text, std::string& error);

}  // namespace tb
