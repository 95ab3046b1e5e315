// Writing a file whole or not at all: the text goes to a temporary file beside the chosen name and is
// renamed over it only when complete, so a full disk, a missing folder or a refused permission never
// leaves half a file under that name. A name that is a device, a pipe, a folder or any other file
// that is not a regular one (followed through symbolic links) is refused before anything is
// written: the rename would put a regular file in its place. Raises std::runtime_error naming the
// file on failure.
#pragma once

#include <string>

void WriteWholeFile(const std::string& path, const std::string& text);

// Raises std::runtime_error when `path` exists and is not a regular file; nothing when it is one or
// does not exist.
void RequireRegularFileOrNone(const std::string& path);
