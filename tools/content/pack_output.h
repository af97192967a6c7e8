// Writing the generated files out: as the data pack the demo mounts, or as a
// plain folder of files (for looking at them, and for the framework's folder
// handler, which serves the same names).
#pragma once

#include <string>

#include "tools/content/content_set.h"

namespace content {

// Writes the pack with the pack writer, which goes through a temporary file
// renamed into place, so an interrupted build never leaves a half-written
// pack behind. Throws std::runtime_error on failure.
void WritePackFile(const ContentSet &files, const std::string &path);
// Writes every file into the folder (created when missing).
void WriteFolder(const ContentSet &files, const std::string &dir);

}  // namespace content
