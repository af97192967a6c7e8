#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace ember_test {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "ember-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(tmpl);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::str(const std::string &name) const {
  return name.empty() ? path_.string() : (path_ / name).string();
}

ScopedCwd::ScopedCwd(const fs::path &dir) : old_(fs::current_path()) { fs::current_path(dir); }
ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  fs::current_path(old_, ec);
}

std::string ReadFile(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<unsigned char> ReadBytes(const fs::path &p) {
  std::string s = ReadFile(p);
  return std::vector<unsigned char>(s.begin(), s.end());
}

void WriteFile(const fs::path &p, const std::string &data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

void WriteBytes(const fs::path &p, const std::vector<unsigned char> &data) {
  WriteFile(p, std::string(data.begin(), data.end()));
}

RunResult Run(const std::vector<std::string> &argv, const fs::path &cwd,
              const std::vector<std::string> &env) {
  RunResult r;
  int pipefd[2];
  if (argv.empty() || pipe(pipefd) != 0) return r;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
    dup2(pipefd[1], 2);
    close(pipefd[0]);
    close(pipefd[1]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    for (const auto &e : env) putenv(strdup(e.c_str()));
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipefd[1]);
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) r.output.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return r;
}

void WriteAfterHoles(const std::filesystem::path &p, uint64_t holes, const std::string &tail) {
  WriteFile(p, "");
  std::filesystem::resize_file(p, holes);
  std::ofstream out(p, std::ios::binary | std::ios::app);
  out.write(tail.data(), std::streamsize(tail.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + p.string());
}

void LimitAddressSpaceAboveUse(size_t spare) {
  long pages = 0;
  std::FILE *statm = std::fopen("/proc/self/statm", "r");
  if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(90);
  std::fclose(statm);
  const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + rlim_t(spare);
  const rlimit limit{room, room};
  if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(91);
}

RunResult RunInChild(const std::function<void()> &body, int streams, int returned) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (streams & kChildStdout) dup2(fds[1], STDOUT_FILENO);
    if (streams & kChildStderr) dup2(fds[1], STDERR_FILENO);
    alarm(30);
    body();
    std::fflush(stdout);
    _exit(returned);
  }
  close(fds[1]);
  RunResult result;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, size_t(n));
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  return result;
}

fs::path FixturesDir() {
  if (const char *e = std::getenv("EMBER_FIXTURES")) return e;
  return fs::path(EMBER_SOURCE_DIR) / "tests" / "fixtures";
}

fs::path BinaryDir() {
  if (const char *e = std::getenv("EMBER_BIN")) return e;
  return EMBER_BINARY_DIR;
}

}  // namespace ember_test
