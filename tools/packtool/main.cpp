// packtool: creates data packs from files and folders, lists them and
// extracts their entries.
//
//   packtool create PACK PATH...      a folder adds every file below it
//                                     (hidden names left out), named by its
//                                     path inside the folder; a file adds
//                                     itself under the path as given
//   packtool list PACK                size, stored size, z (z-block) and name
//   packtool extract PACK FOLDER [NAME...]
//
// Listing and extracting read the pack through the framework's own file
// system: the pack is mounted with SYS_FilePackOpen and every entry read
// with SYS_FileOpen, so what the tool shows is what the program will see.
// While extracting, the tool stands in an empty scratch folder, so no file
// on disk can shadow an entry; names that would land outside the target
// folder are refused.
//
// Exit status: 0 done, 1 failed, 2 wrong usage.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "tools/packtool/pack_writer.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
  fprintf(stderr,
          "usage: packtool create PACK PATH...\n"
          "       packtool list PACK\n"
          "       packtool extract PACK FOLDER [NAME...]\n");
  return 2;
}

bool ReadDisk(const fs::path &path, std::vector<uint8_t> &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

int Create(const std::string &pack, const std::vector<std::string> &paths) {
  struct Item {
    std::string name;
    fs::path source;
  };
  std::vector<Item> items;
  for (const std::string &p : paths) {
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      std::vector<Item> found;
      auto it = fs::recursive_directory_iterator(p, ec);
      for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename().string().front() == '.') {
          if (it->is_directory()) it.disable_recursion_pending();
          continue;
        }
        if (it->is_regular_file()) found.push_back({it->path().lexically_relative(p).generic_string(), it->path()});
      }
      if (ec) {
        fprintf(stderr, "packtool: cannot list %s: %s\n", p.c_str(), ec.message().c_str());
        return 1;
      }
      std::sort(found.begin(), found.end(), [](const Item &a, const Item &b) { return a.name < b.name; });
      items.insert(items.end(), found.begin(), found.end());
    } else if (fs::is_regular_file(p, ec)) {
      std::string name = p;
      while (name.rfind("./", 0) == 0) name.erase(0, 2);
      items.push_back({name, p});
    } else {
      fprintf(stderr, "packtool: %s is neither a file nor a folder\n", p.c_str());
      return 1;
    }
  }

  std::vector<std::vector<uint8_t>> contents(items.size());
  std::vector<packwriter::Entry> entries;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!ReadDisk(items[i].source, contents[i])) {
      fprintf(stderr, "packtool: cannot read %s\n", items[i].source.c_str());
      return 1;
    }
    entries.push_back({items[i].name, contents[i]});
  }
  std::string error;
  if (!packwriter::WriteFile(pack, entries, error)) {
    fprintf(stderr, "packtool: %s\n", error.c_str());
    return 1;
  }
  printf("%s: %zu entries\n", pack.c_str(), entries.size());
  return 0;
}

// Mounts the pack file itself (never a folder of that name) and returns
// its record.
SYS_Pack_t *Mount(const std::string &pack) {
  std::error_code ec;
  if (!fs::is_regular_file(pack, ec)) {
    fprintf(stderr, "packtool: %s is not a file\n", pack.c_str());
    return nullptr;
  }
  if (SYS_FilePackOpen_pack(pack.c_str()) != 0) {
    int32_t code = SYS_ErrorGet();
    fprintf(stderr, "packtool: %s is not a usable pack (code %d)\n", pack.c_str(), code);
    return nullptr;
  }
  return static_cast<SYS_Pack_t *>(SYS_PackList()->data);
}

std::string Name(const SYS_PackEntry_t &e) { return std::string(e.name, e.name_length); }

int List(const std::string &pack) {
  SYS_Pack_t *p = Mount(pack);
  if (!p) return 1;
  for (int32_t i = 0; i < p->count; ++i) {
    const SYS_PackEntry_t &e = p->entries[i];
    printf("%10u %10u %c %s\n", e.size, e.stored_size, (e.flags & SYS_PACK_ZBLOCK) ? 'z' : '-', Name(e).c_str());
  }
  return 0;
}

// A name that stays inside the target folder: relative, no empty, "." or
// ".." parts, no NUL.
bool SafeName(const std::string &name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

int Extract(const std::string &pack_arg, const std::string &folder_arg, const std::vector<std::string> &wanted) {
  std::error_code ec;
  fs::path pack = fs::absolute(pack_arg, ec);
  fs::path folder = fs::absolute(folder_arg, ec);
  SYS_Pack_t *p = Mount(pack.string());
  if (!p) return 1;

  std::vector<std::string> names;
  if (wanted.empty()) {
    for (int32_t i = 0; i < p->count; ++i) names.push_back(Name(p->entries[i]));
  } else {
    names = wanted;
  }

  std::string scratch = (fs::temp_directory_path() / "packtool-XXXXXX").string();
  if (!mkdtemp(scratch.data())) {
    fprintf(stderr, "packtool: cannot make a scratch folder: %s\n", strerror(errno));
    return 1;
  }
  fs::path old = fs::current_path();
  fs::current_path(scratch);

  int status = 0;
  for (const std::string &name : names) {
    if (!SafeName(name)) {
      fprintf(stderr, "packtool: refusing entry name \"%s\"\n", name.c_str());
      status = 1;
      continue;
    }
    SYS_File_p f = SYS_FileOpen(name.c_str(), SYS_FILE_READ);
    if (!f) {
      fprintf(stderr, "packtool: cannot read %s (code %d)\n", name.c_str(), SYS_ErrorGet());
      status = 1;
      continue;
    }
    std::vector<char> bytes(size_t(std::max(f->size, 0)));
    int32_t got = bytes.empty() ? 0 : SYS_FileRead(f, bytes.data(), f->size);
    SYS_FileClose(f);
    if (got != int32_t(bytes.size())) {
      fprintf(stderr, "packtool: short read of %s\n", name.c_str());
      status = 1;
      continue;
    }
    fs::path target = folder / name;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
      fprintf(stderr, "packtool: cannot write %s\n", target.c_str());
      status = 1;
    }
  }
  fs::current_path(old);
  fs::remove_all(scratch, ec);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  std::vector<std::string> rest(argv + 2, argv + argc);
  if (command == "create" && rest.size() >= 2)
    return Create(rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
  if (command == "list" && rest.size() == 1) return List(rest[0]);
  if (command == "extract" && rest.size() >= 2)
    return Extract(rest[0], rest[1], std::vector<std::string>(rest.begin() + 2, rest.end()));
  return Usage();
}
