// The pack writer; see pack_writer.h for what it writes and refuses.
#include "tools/packtool/pack_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

#include "framework/memory.h"
#include "framework/zblock.h"

namespace packwriter {

namespace {

constexpr uint8_t kZBlock = 0x01;
constexpr size_t kMaxName = 0xffff;
constexpr uint64_t kMaxEntry = 0x7fffffff;  // sizes are signed 32-bit when read
constexpr uint64_t kMaxPack = 0xffffffff;   // offsets are unsigned 32-bit

void PutLE(std::vector<uint8_t> &out, uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void SetLE(std::vector<uint8_t> &out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A z-block of the bytes, or nothing when compression fails.
std::vector<uint8_t> Compress(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> block;
  void *data = nullptr;
  uint32_t length = 0;
  if (SYS_ZCompress(bytes.data(), static_cast<uint32_t>(bytes.size()), &data, &length) == 0) {
    auto *p = static_cast<const uint8_t *>(data);
    block.assign(p, p + length);
  }
  SYS_MemFree(&data, __FILE__, __LINE__);
  return block;
}

}  // namespace

bool Build(const std::vector<Entry> &entries, std::vector<uint8_t> &pack, std::string &error) {
  pack.clear();
  if (entries.empty()) {
    error = "a pack needs at least one entry";
    return false;
  }
  std::set<std::string_view> names;
  for (const Entry &e : entries) {
    if (e.name.empty() || e.name.size() > kMaxName || e.name.find('\0') != std::string::npos) {
      error = "unusable entry name \"" + std::string(e.name.c_str()) + "\"";
      return false;
    }
    if (!names.insert(e.name).second) {
      error = "entry \"" + e.name + "\" given twice";
      return false;
    }
    if (e.bytes.size() > kMaxEntry) {
      error = "entry \"" + e.name + "\" is larger than 2 GiB";
      return false;
    }
  }

  pack = {'Q', 'L', 'P', 'K'};
  PutLE(pack, static_cast<uint32_t>(entries.size()));
  PutLE(pack, 0);  // catalog offset, known at the end
  std::vector<uint8_t> records;
  for (const Entry &e : entries) {
    std::vector<uint8_t> block = e.bytes.empty() ? std::vector<uint8_t>{} : Compress(e.bytes);
    bool packed = !block.empty() && block.size() < e.bytes.size();
    std::span<const uint8_t> stored = packed ? std::span<const uint8_t>(block) : e.bytes;
    if (pack.size() + stored.size() > kMaxPack) {
      error = "the pack would be larger than 4 GiB";
      pack.clear();
      return false;
    }
    PutLE(records, static_cast<uint32_t>(stored.size()));
    PutLE(records, static_cast<uint32_t>(pack.size()));
    records.push_back(packed ? kZBlock : 0);
    PutLE(records, static_cast<uint32_t>(e.name.size()), 2);
    records.insert(records.end(), e.name.begin(), e.name.end());
    pack.insert(pack.end(), stored.begin(), stored.end());
  }

  std::vector<uint8_t> catalog = Compress(records);
  if (catalog.empty() || pack.size() + catalog.size() > kMaxPack) {
    error = catalog.empty() ? "the catalog does not compress" : "the pack would be larger than 4 GiB";
    pack.clear();
    return false;
  }
  SetLE(pack, 8, static_cast<uint32_t>(pack.size()));
  pack.insert(pack.end(), catalog.begin(), catalog.end());
  return true;
}

bool WriteFile(const std::string &path, const std::vector<Entry> &entries, std::string &error) {
  std::vector<uint8_t> pack;
  if (!Build(entries, pack, error)) return false;
  std::string temp = path + ".tmp";
  FILE *f = fopen(temp.c_str(), "wb");
  if (!f) {
    error = "cannot create " + temp + ": " + strerror(errno);
    return false;
  }
  bool ok = fwrite(pack.data(), 1, pack.size(), f) == pack.size();
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + strerror(errno);
    remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace packwriter
