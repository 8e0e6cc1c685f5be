// Keyword lookup behind Result, ResultColumn, ResultHex and InitParam_Data.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// "key : value" lines of the newest command, first in the job log of `slot`,
// then in the file `file_name` of the job's log folder. `keywords` holds
// alternatives separated by '|'. False when no alternative is found.
bool find_keyword(int slot, std::string_view file_name, std::string_view keywords, std::string& value,
                  std::string* matched);

}  // namespace tb
