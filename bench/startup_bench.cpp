// Time from process start to the first timeline frame of the staged
// program with the sample pack, under the current X display (run it under
// xvfb-run). Usage: startup_bench [runs] [program]
//
// The first frame follows the music's start at once, and OpenAL Soft's
// wave driver creates its output file when the sound system opens its
// device, the last step before the timeline's start time is taken. So a run
// counts from the fork to the moment that file appears, polled every
// millisecond, without "-v" (logging would add its own cost). Each run then
// ends the program and starts afresh in a new scratch folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

fs::path DefaultProgram() {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  return self.parent_path().parent_path() / "stage" / "Emberfield.app" / "Contents" / "MacOS" /
         "emberfield";
}

// Processor time the process has used so far (all threads), in ms.
double CpuMs(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // fields 3 to 13
  unsigned long long user = 0, system = 0;
  fields >> user >> system;
  return 1000.0 * static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Timing {
  double wall = -1;  // ms to the first frame; negative: never got there
  double cpu = 0;    // processor ms used by then
};

Timing OneRun(const fs::path &program) {
  char pattern[] = "/tmp/ember-startup-XXXXXX";
  if (!mkdtemp(pattern)) return {};
  const fs::path dir = pattern;
  const fs::path wav = dir / "music.wav";
  std::ofstream(dir / "alsoft.conf") << "[general]\ndrivers=wave\n[wave]\nfile=" << wav.string()
                                     << "\n";
  const std::string conf = "ALSOFT_CONF=" + (dir / "alsoft.conf").string();
  const std::string home = "HOME=" + dir.string();

  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    putenv(const_cast<char *>(conf.c_str()));
    putenv(const_cast<char *>(home.c_str()));
    std::freopen("/dev/null", "w", stdout);
    execl(program.c_str(), program.c_str(), "-default", static_cast<char *>(nullptr));
    _exit(127);
  }
  Timing timing;
  while (Clock::now() - start < std::chrono::seconds(30)) {
    if (fs::exists(wav)) {
      timing.wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      timing.cpu = CpuMs(pid);
      break;
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      fs::remove_all(dir);
      return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  fs::remove_all(dir);
  return timing;
}

}  // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const fs::path program = argc > 2 ? fs::path(argv[2]) : DefaultProgram();
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "startup_bench: no X display; run it under xvfb-run -a\n");
    return 2;
  }
  if (!fs::exists(program)) {
    std::fprintf(stderr, "startup_bench: no program at %s\n", program.c_str());
    return 2;
  }
  std::vector<double> walls, cpus;
  for (int i = 0; i < runs; ++i) {
    const Timing t = OneRun(program);
    if (t.wall < 0) {
      std::fprintf(stderr, "startup_bench: run %d did not reach the timeline\n", i + 1);
      return 1;
    }
    std::printf("run %d: %.1f ms (processor %.0f ms)\n", i + 1, t.wall, t.cpu);
    walls.push_back(t.wall);
    cpus.push_back(t.cpu);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  std::printf("process start to first timeline frame: median %.1f ms, best %.1f ms, worst %.1f ms; "
              "processor time median %.0f ms (%d runs)\n",
              walls[walls.size() / 2], walls.front(), walls.back(), cpus[cpus.size() / 2], runs);
  return 0;
}
