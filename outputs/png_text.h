// Text chunks in PNG pictures, so that a picture carries the record of the
// run that drew it.
#pragma once

#include <string>

namespace talvane {

// Inserts an iTXt chunk (UTF-8 text, uncompressed) with the given keyword
// (1 to 79 printable Latin-1 characters) right after the header chunk of
// png. False, with png unchanged, when png does not start with a PNG
// signature and header chunk or the keyword is not allowed.
bool addPngText(std::string& png, const std::string& keyword, const std::string& text);

}  // namespace talvane
