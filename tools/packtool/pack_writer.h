// Writing data packs: the one writer of the pack format ("QLPK", entry
// count, catalog offset, the entries' stored bytes, then the catalog as
// one z-block at the end of the file).
//
// Each entry is stored as a z-block when that is smaller than its plain
// bytes, plain otherwise; the catalog lists the entries in the order given.
// The same entries always give the same bytes. A pack the framework could
// not serve is refused rather than written: no entries, an empty name or
// one with a NUL byte or longer than 65535 bytes, a name given twice, an
// entry over 2 GiB, or a pack over 4 GiB.
//
// Compression uses the framework's z-blocks at its current level.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace packwriter {

struct Entry {
  std::string name;
  std::span<const uint8_t> bytes;  // borrowed; must outlive the call
};

// The whole pack in memory; false and a reason when refused.
bool Build(const std::vector<Entry> &entries, std::vector<uint8_t> &pack, std::string &error);

// Builds the pack and writes it to `path` through "<path>.tmp", renamed
// into place, so a failed write never leaves a half pack behind.
bool WriteFile(const std::string &path, const std::vector<Entry> &entries, std::string &error);

}  // namespace packwriter
