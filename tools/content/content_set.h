// The generated files of the data pack, held in memory until the pack step
// writes them out. Every generator adds its files here under the exact names
// the demo, its dialogs and its layer effects open; a name may appear once.
// The order of the set is the order of the pack's catalog, so generators add
// files in a fixed order and the same build always yields the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace content {

using Bytes = std::vector<uint8_t>;

struct ContentFile {
  std::string name;
  Bytes bytes;
};

class ContentSet {
public:
  // Adds a file; a second file of the same name is a generator bug and
  // throws std::logic_error rather than silently shadowing the first.
  void Add(std::string name, Bytes bytes);
  void AddText(std::string name, std::string_view text);
  // Moves every file of another set to the end of this one, in its order.
  void Append(ContentSet &&other);

  const std::vector<ContentFile> &files() const { return files_; }
  const ContentFile *Find(std::string_view name) const;

private:
  std::vector<ContentFile> files_;
};

}  // namespace content
