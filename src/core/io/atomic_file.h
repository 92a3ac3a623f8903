#pragma once

#include <string>
#include <string_view>

namespace vennadar {

// Writes a whole file so that it is either fully replaced or left as it was: the bytes go to a
// temporary file in the same folder, which then takes the file's place, keeping its mode. A
// symbolic link is written through and stays a link; a file the user may not write is left
// alone. False on any failure.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vennadar
