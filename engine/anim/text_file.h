// Text files the engine writes (scene configurations, geometry dumps):
// plain files relative to the current folder, written through a buffer.
// A file that cannot be created, a write that fails or a close that fails
// removes the file and ends the process through the fatal exit, naming
// the file: nothing written half is ever reported as done. Main thread
// only.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class _3DV_TextFile {
public:
  // `what` opens the fatal message ("Config file", "Vertex dump").
  _3DV_TextFile(std::string_view what, std::string_view filename);
  ~_3DV_TextFile();
  _3DV_TextFile(const _3DV_TextFile &) = delete;
  _3DV_TextFile &operator=(const _3DV_TextFile &) = delete;

  void Write(std::string_view text);
  // Closes the file; the destructor closes one that was not.
  void Close();

private:
  [[noreturn]] void Fail(int error);

  std::string what_, name_;
  std::FILE *file_ = nullptr;
};

// Fixed point with four decimals in every locale: 1 is "1.0000", -0.5
// "-0.5000". A negative value that rounds to zero keeps its sign
// ("-0.0000"), a negative zero included.
std::string _3DV_FixedText(float value);
