// Writing a file whole or not at all: the text goes to a temporary file beside the chosen name and is
// renamed over it only when complete, so a full disk, a missing folder or a refused permission never
// leaves half a file under that name. Raises std::runtime_error naming the file on failure.
#pragma once

#include <string>

void WriteWholeFile(const std::string& path, const std::string& text);
