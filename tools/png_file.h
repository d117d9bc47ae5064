// Pictures of the canvas as 8-bit palette PNG files (colour type 3, the 256-entry canvas
// palette), so a file is both an exact record of the indices and a picture anyone can
// open. Files are written under a temporary name in the same directory and renamed into
// place, so an interrupted run never leaves a truncated file under the final name.
#pragma once

#include <string>

#include "platform/palette.h"
#include "platform/raster.h"

namespace som {

// Returns an empty string, or a one-line reason.
std::string write_png(const std::string& path, const Image& image, const Palette& palette);

// Writes `text` to `path` the same way.
std::string write_text_file(const std::string& path, const std::string& text);

// Reads an 8-bit palette PNG back into indices and palette (for tests).
std::string read_png(const std::string& path, Image& image, Palette& palette);

}  // namespace som
