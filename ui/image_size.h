// Image height from the header bytes of PNG, BMP, GIF and JPEG files.
#pragma once

#include <string>
#include <string_view>

namespace tb {

// Height in pixels, or -1 when the bytes are no image of a known kind.
int image_height_of(std::string_view bytes);
// The same for a file; -1 when it cannot be read.
int image_height(const std::string& path);

}  // namespace tb
