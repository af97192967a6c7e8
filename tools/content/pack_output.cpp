// Output of the generated files; see pack_output.h.
#include "tools/content/pack_output.h"

#include <filesystem>
#include <fstream>
#include <span>
#include <stdexcept>
#include <vector>

#include "tools/packtool/pack_writer.h"

namespace content {

namespace fs = std::filesystem;

namespace {

void WriteWhole(const fs::path &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace

void WriteFolder(const ContentSet &files, const std::string &dir) {
  fs::create_directories(dir);
  for (const ContentFile &f : files.files()) {
    const fs::path file = fs::path(dir) / f.name;
    fs::create_directories(file.parent_path());
    WriteWhole(file, f.bytes);
  }
}

void WritePackFile(const ContentSet &files, const std::string &path) {
  fs::path target(path);
  if (target.has_parent_path()) {
    fs::create_directories(target.parent_path());
  }
  std::vector<packwriter::Entry> entries;
  entries.reserve(files.files().size());
  for (const ContentFile &f : files.files()) {
    entries.push_back(packwriter::Entry{f.name, std::span<const uint8_t>(f.bytes)});
  }
  std::string error;
  if (!packwriter::WriteFile(path, entries, error)) {
    throw std::runtime_error("cannot write the pack " + path + ": " + error);
  }
}

}  // namespace content
