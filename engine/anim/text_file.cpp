// Checked text output and the fixed-point number form of the engine's
// text files.
#include "engine/anim/text_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "window/wm.h"

_3DV_TextFile::_3DV_TextFile(std::string_view what, std::string_view filename)
    : what_(what), name_(filename) {
  file_ = std::fopen(name_.c_str(), "wb");
  if (!file_) wmFatal(what_ + " " + name_ + " cannot be created: " + std::strerror(errno));
}

_3DV_TextFile::~_3DV_TextFile() {
  if (file_) Close();
}

void _3DV_TextFile::Write(std::string_view text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) Fail(errno);
}

void _3DV_TextFile::Close() {
  std::FILE *file = file_;
  file_ = nullptr;
  // A write the buffer held back fails here at the latest.
  const bool failed = std::ferror(file) != 0;
  const int write_error = errno;
  if (std::fclose(file) != 0 || failed) Fail(failed ? write_error : errno);
}

void _3DV_TextFile::Fail(int error) {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (error == 0) error = EIO;
  std::remove(name_.c_str());
  wmFatal(what_ + " " + name_ + " cannot be written: " + std::strerror(error));
}

std::string _3DV_FixedText(float value) {
  // The largest float has 39 integer digits.
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, double(value), std::chars_format::fixed, 4);
  // A negative value keeps its sign when it rounds to zero, and so does a
  // negative zero: what "-0.0000" reads back as writes the same again.
  return std::string(buffer, ec == std::errc() ? end : buffer);
}
