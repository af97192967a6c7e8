// Small helpers shared by the test programs: scratch folders that clean up
// after themselves, whole-file reads and writes, and running a program with
// its output captured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ember_test {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes out of scope.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::string str(const std::string &name = "") const;

private:
  std::filesystem::path path_;
};

// Changes the current folder for the lifetime of the object.
class ScopedCwd {
public:
  explicit ScopedCwd(const std::filesystem::path &dir);
  ~ScopedCwd();

private:
  std::filesystem::path old_;
};

std::string ReadFile(const std::filesystem::path &p);
std::vector<unsigned char> ReadBytes(const std::filesystem::path &p);
void WriteFile(const std::filesystem::path &p, const std::string &data);
void WriteBytes(const std::filesystem::path &p, const std::vector<unsigned char> &data);

struct RunResult {
  int status = -1;      // exit status, or 128 + signal
  std::string output;   // standard output and standard error, interleaved
};

// Runs argv[0] with the given words in folder cwd (empty: current folder).
RunResult Run(const std::vector<std::string> &argv, const std::filesystem::path &cwd = {},
              const std::vector<std::string> &env = {});

// Which of the child's streams RunInChild captures.
enum ChildStreams { kChildStdout = 1, kChildStderr = 2, kChildBoth = 3 };

// Runs body in a forked child (killed after 30 s, so nothing hangs) with
// the chosen streams captured; a body that returns ends the child with
// `returned`. For code that ends the process itself.
RunResult RunInChild(const std::function<void()> &body, int streams = kChildStdout,
                     int returned = 99);

// Writes a file of `holes` bytes that take no disk (a sparse file's
// hole) followed by `tail`: a large file made in no time.
void WriteAfterHoles(const std::filesystem::path &p, uint64_t holes, const std::string &tail);

// In a child: caps the address space at what the process uses now plus
// `spare` bytes, so an allocation that grows with a file's claims rather
// than its bytes fails there. Ends the child with 90 or 91 when it cannot.
// (The sanitizer's shadow memory needs the whole address space: tests
// that call this are left out of that build.)
void LimitAddressSpaceAboveUse(size_t spare);

// Folder of the checked-in fixtures and the build tree.
std::filesystem::path FixturesDir();
std::filesystem::path BinaryDir();

}  // namespace ember_test
