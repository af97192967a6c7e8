// Bookkeeping of the generated files; see content_set.h.
#include "tools/content/content_set.h"

#include <stdexcept>

namespace content {

void ContentSet::Add(std::string name, Bytes bytes) {
  if (Find(name) != nullptr) {
    throw std::logic_error("content file generated twice: " + name);
  }
  files_.push_back(ContentFile{std::move(name), std::move(bytes)});
}

void ContentSet::AddText(std::string name, std::string_view text) {
  Add(std::move(name), Bytes(text.begin(), text.end()));
}

void ContentSet::Append(ContentSet &&other) {
  for (ContentFile &f : other.files_) {
    Add(std::move(f.name), std::move(f.bytes));
  }
  other.files_.clear();
}

const ContentFile *ContentSet::Find(std::string_view name) const {
  for (const ContentFile &f : files_) {
    if (f.name == name) {
      return &f;
    }
  }
  return nullptr;
}

}  // namespace content
