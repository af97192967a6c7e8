// The staged program, run from the outside under the virtual display with
// OpenAL Soft writing its output to a WAV file: the configuration dialog
// (on screens of several sizes), a whole run behind the loading bar with
// music until Escape, the seeking keys, the two ways a bad data file ends
// it, the message box that waits before a missing file ends it, and the
// log options, seen through the runs that end through the orderly
// shutdown. Each run starts in a scratch folder of its own; keys and
// clicks are real ones sent by xdotool.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ember_test::BinaryDir;
using ember_test::ReadFile;
using ember_test::RunResult;
using ember_test::TempDir;
using ember_test::WriteFile;

constexpr const char *kTitle = "vantor - emberfield";

fs::path RealStage() { return BinaryDir() / "stage"; }
fs::path ProgramIn(const fs::path &stage) {
  return stage / "Emberfield.app" / "Contents" / "MacOS" / "emberfield";
}

// A stage of our own: a copy of the program (its folder is found from the
// running executable, so a link would lead back to the real stage) and a
// data pack beside it.
struct Stage {
  TempDir dir;
  fs::path root() const { return dir.path() / "stage"; }
  fs::path folder() const { return ProgramIn(root()).parent_path(); }
  fs::path program() const { return ProgramIn(root()); }
  std::string canonicalFolder() const { return fs::canonical(folder()).string() + "/"; }

  explicit Stage(const fs::path &pack) {
    fs::create_directories(folder());
    fs::copy_file(ProgramIn(RealStage()), program());
    fs::create_symlink(pack, root() / "emberfield.dat");
  }
};

// The shipped pack without one entry, made with packtool once per run of
// the tests.
const fs::path &PackWithout(const std::string &name) {
  static TempDir dir;
  static std::map<std::string, fs::path> packs;
  fs::path &pack = packs[name];
  if (pack.empty()) {
    const std::string tool = (BinaryDir() / "tools" / "packtool" / "packtool").string();
    const fs::path files = dir.path() / ("without-" + name);
    fs::create_directory(files);
    RunResult x = ember_test::Run({tool, "extract", (RealStage() / "emberfield.dat").string(),
                                   files.string()});
    EXPECT_EQ(x.status, 0) << x.output;
    fs::remove(files / name);
    pack = dir.path() / (name + ".dat");
    RunResult c = ember_test::Run({tool, "create", pack.string(), files.string()});
    EXPECT_EQ(c.status, 0) << c.output;
  }
  return pack;
}

// The stage whose pack lacks "colors.ini": every run ends right after the
// window opens, through the file layer's error report, the message box and
// the orderly shutdown, so the log options can be seen from banner to end.
const Stage &NoColorsStage() {
  static Stage stage(PackWithout("colors.ini"));
  return stage;
}

// The run's environment: a home of its own and OpenAL Soft writing to a
// WAV file. In a sanitizer build every run is leak-checked at exit, against
// the same driver-only suppressions as the test programs (LSAN_OPTIONS is
// passed on): what the demo keeps until the process ends is still pointed
// at from its globals, so only a block nothing holds is reported. A report
// ends the run with status 23, which neither the normal end (0) nor the
// fatal exit (1) gives, so every status check fails on it.
std::vector<std::string> SoundEnv(const TempDir &dir) {
  WriteFile(dir.path() / "alsoft.conf",
            "[general]\ndrivers=wave\n[wave]\nfile=" + dir.str("music.wav") + "\n");
  const char *asan = std::getenv("ASAN_OPTIONS");
  return {"HOME=" + dir.str(), "ALSOFT_CONF=" + dir.str("alsoft.conf"),
          std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
              "detect_leaks=1:exitcode=23"};
}

RunResult RunIn(const TempDir &dir, const fs::path &program, std::vector<std::string> words) {
  words.insert(words.begin(), program.string());
  return ember_test::Run(words, dir.path(), SoundEnv(dir));
}

// A run that keeps going while the test sends keys.
class LiveRun {
public:
  LiveRun(const TempDir &dir, const fs::path &program, std::vector<std::string> words,
          const std::vector<std::string> &extra_env = {})
      : output_(dir.path() / "output.txt"), log_(dir.path() / "debug.log") {
    words.insert(words.begin(), program.string());
    std::vector<std::string> env = SoundEnv(dir);
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    pid_ = fork();
    if (pid_ == 0) {
      FILE *out = std::fopen(output_.c_str(), "w");
      if (!out || chdir(dir.str().c_str()) != 0) _exit(126);
      dup2(fileno(out), 1);
      dup2(fileno(out), 2);
      for (const std::string &e : env) putenv(strdup(e.c_str()));
      std::vector<char *> args;
      for (const std::string &w : words) args.push_back(const_cast<char *>(w.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~LiveRun() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Waits until the log holds the text (the run needs "-v").
  bool WaitForLog(const std::string &text, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (fs::exists(log_) && ReadFile(log_).find(text) != std::string::npos) return true;
      if (Finished(0ms)) return false;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  // True once the process has ended, waiting at most `limit`.
  bool Finished(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
      if (status_ >= 0) return true;
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return true;
      }
      std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }

  int status() const { return status_; }
  pid_t pid() const { return pid_; }
  std::string output() const { return ReadFile(output_); }
  std::string log() const { return ReadFile(log_); }

private:
  fs::path output_, log_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Real key presses (press and release) into the focused window.
void Keys(const std::string &keys) {
  const std::string command = "xdotool search --sync --name '" + std::string(kTitle) +
                              "' >/dev/null && xdotool key --delay 40 " + keys;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The dialogs' window titles.
constexpr const char *kSetupTitle = "emberfield - setup";
constexpr const char *kBoxTitle = "emberfield";

// Runs xdotool once the visible window titled exactly `title` exists on
// the display ("" the test's own), with `then` acting on it as %1; what
// xdotool printed, or nullopt when it failed or timed out.
std::optional<std::string> Xdo(const std::string &title, const std::string &then,
                               const std::string &display = "") {
  const std::string command = (display.empty() ? "" : "DISPLAY=" + display + " ") +
                              "timeout 30 xdotool search --sync --onlyvisible --name '^" + title +
                              "$' " + then;
  RunResult r = ember_test::Run({"/bin/sh", "-c", command});
  if (r.status != 0) return std::nullopt;
  return r.output;
}

// Dismisses the message box with a released Return.
bool DismissBox(const std::string &display = "") {
  return Xdo(kBoxTitle, "windowfocus --sync %1 key --delay 40 Return", display).has_value();
}

// A run that ends in the message box: the box appears, waits, and the
// Return key ends the program.
RunResult RunDismissed(const TempDir &dir, const fs::path &program, std::vector<std::string> words) {
  LiveRun run(dir, program, std::move(words));
  RunResult r;
  if (!DismissBox() || !run.Finished(20s)) return r;
  r.status = run.status();
  r.output = run.output();
  return r;
}

// An X server of our own with one screen of the given size, for the modes
// the configuration dialog offers.
class OwnDisplay {
public:
  OwnDisplay(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
             "tcp", static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~OwnDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string &name() const { return name_; }

private:
  pid_t pid_ = -1;
  std::string name_;
};

// Once the player thread has its buffers, the timeline runs.
constexpr const char *kMusicPlays = "[qss][music] [_QSS_MusicPlayer] prefilled buffers";

void ExpectInOrder(const std::string &text, const std::vector<std::string> &pieces) {
  size_t at = 0;
  for (const std::string &piece : pieces) {
    size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << text;
    at = found + piece.size();
  }
}

// Sample bytes of a WAV file that are not silence.
size_t LoudBytes(const fs::path &wav) {
  const std::string bytes = ReadFile(wav);
  size_t loud = 0;
  for (size_t i = 44; i < bytes.size(); ++i) loud += bytes[i] != 0;
  return loud;
}

class Emberfield : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(ProgramIn(RealStage())));
    ASSERT_TRUE(fs::exists(RealStage() / "emberfield.dat"));
    ASSERT_EQ(std::system("command -v xdotool >/dev/null"), 0) << "xdotool is needed";
  }
  TempDir dir;
};

TEST_F(Emberfield, PlaysBehindTheLoadingBarWithMusicAndQuitsOnEscape) {
  LiveRun run(dir, ProgramIn(RealStage()), {"-default", "-v"});
  ASSERT_TRUE(run.WaitForLog(kMusicPlays, 60s)) << run.output() << run.log();
  std::this_thread::sleep_for(1500ms);
  ASSERT_FALSE(run.Finished(0ms));
  Keys("Escape");
  ASSERT_TRUE(run.Finished(20s));
  EXPECT_EQ(run.status(), 0) << run.output();

  const std::string log = run.log();
  ExpectInOrder(log, {"[init] call : Window manager ...", "[init] call : GL unit ...",
                      "[init] call : GLU unit ...", "[init] call : Texture loader ...",
                      "[cfg] width: 800\n", "[cfg] height: 600\n", "[cfg] windowed: true\n",
                      " - set view mode.\n", "[file] open loadbar.ife", "[file] open colors.ini",
                      "[file] open musicsync.dat", "[file] open matrix.dat",
                      "[file] open h_blur2.ife", "[file] open envmap.tga",
                      "[file] open emberfld.tga", "[vorbis] stream: emberfield.ogg", kMusicPlays,
                      "[qss][music] [QSS_FreeMusic] freeing: emberfield.ogg"});
  // The timeline's end skips the exit procedures and the framework's shutdown.
  EXPECT_EQ(log.find("[exit]"), std::string::npos);
  EXPECT_EQ(log.find("--- End of log."), std::string::npos);
  // Over a second and a half of music went into the WAV file.
  const fs::path wav = dir.path() / "music.wav";
  ASSERT_TRUE(fs::exists(wav));
  EXPECT_GT(fs::file_size(wav), 44u + 176400u);
  EXPECT_GT(LoudBytes(wav), 100000u);
}

TEST_F(Emberfield, WithDebugThePageDownKeyRunsTheTimelineToItsEnd) {
  LiveRun run(dir, ProgramIn(RealStage()), {"-default", "-debug", "-v"});
  ASSERT_TRUE(run.WaitForLog(kMusicPlays, 60s)) << run.output() << run.log();
  // Each tap moves 5 s on, its release nothing: 30 taps stay short of
  // 236 s, 50 pass it.
  std::string keys;
  for (int i = 0; i < 30; ++i) keys += " Next";
  Keys(keys);
  ASSERT_FALSE(run.Finished(3s)) << "a tap moved more than one step";
  Keys(keys.substr(0, 20 * 5));
  ASSERT_TRUE(run.Finished(90s)) << "the timeline did not reach its end";
  EXPECT_EQ(run.status(), 0) << run.output();
  EXPECT_NE(run.log().find("[qss][music] [QSS_FreeMusic] freeing: emberfield.ogg"),
            std::string::npos);
}

TEST_F(Emberfield, WithoutDebugTheSeekingKeysDoNothing) {
  LiveRun run(dir, ProgramIn(RealStage()), {"-default", "-v"});
  ASSERT_TRUE(run.WaitForLog(kMusicPlays, 60s)) << run.output() << run.log();
  std::string keys;
  for (int i = 0; i < 26; ++i) keys += " Next";
  Keys(keys);
  EXPECT_FALSE(run.Finished(4s));
  Keys("Escape");
  ASSERT_TRUE(run.Finished(20s));
  EXPECT_EQ(run.status(), 0);
}

TEST_F(Emberfield, ATextureThatDoesNotDecodeEndsWithTheLoaderError) {
  Stage stage(RealStage() / "emberfield.dat");
  // A file on disk beside the program shadows the packed one.
  WriteFile(stage.folder() / "envmap.tga", "this is no image at all");
  RunResult r = RunIn(dir, stage.program(), {"-default"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Error occoured ! Texture Loader Error. ( envmap.tga )\n"),
            std::string::npos)
      << r.output;
}

TEST_F(Emberfield, AShortRawImageEndsTheProgramNamingIt) {
  Stage stage(RealStage() / "emberfield.dat");
  WriteFile(stage.folder() / "emberfld.raw", std::string(6271, '\1'));
  RunResult r = RunIn(dir, stage.program(), {"-default"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(r.output, "File too short: emberfld.raw.\n");
}

// Started where no display can be reached (none named, or one whose server
// is gone), the program ends at once through the window manager's error,
// with the dialog as without it, instead of playing where nobody sees.
TEST_F(Emberfield, WithoutADisplayItEndsAtOnceWithTheWindowManagerError) {
  ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X4242"));
  for (const char *display : {"", "DISPLAY=:4242"}) {
    for (const std::vector<std::string> &options : {std::vector<std::string>{}, {"-default"}}) {
      std::vector<std::string> words = {"/usr/bin/timeout", "30", "/usr/bin/env", "-u", "DISPLAY",
                                        "-u", "WAYLAND_DISPLAY"};
      if (*display) words.push_back(display);
      words.push_back(ProgramIn(RealStage()).string());
      words.insert(words.end(), options.begin(), options.end());
      const auto start = std::chrono::steady_clock::now();
      RunResult r = ember_test::Run(words, dir.path(), SoundEnv(dir));
      const auto took = std::chrono::steady_clock::now() - start;
      const std::string what = std::string(*display ? display : "no DISPLAY") + (options.empty() ? "" : " -default");
      EXPECT_EQ(r.status, 1) << what << "\n" << r.output;
      EXPECT_NE(r.output.find("WM initialization error.\n"), std::string::npos) << what << "\n" << r.output;
      EXPECT_LT(took, 20s) << what;
    }
  }
}

// ---- the start-up dialogs ------------------------------------------------

TEST_F(Emberfield, TheDialogWaitsAndEscapeEndsItWithZeroBeforeAnythingLoads) {
  LiveRun run(dir, ProgramIn(RealStage()), {"-v"});
  ASSERT_TRUE(Xdo(kSetupTitle, "")) << run.output();
  EXPECT_FALSE(run.Finished(1s));
  ASSERT_TRUE(Xdo(kSetupTitle, "windowfocus --sync %1 key --delay 40 Escape"));
  ASSERT_TRUE(run.Finished(20s));
  EXPECT_EQ(run.status(), 0) << run.output();
  const std::string log = run.log();
  EXPECT_NE(log.find("[cfg] yep.\n"), std::string::npos) << log;
  for (const char *absent : {"[cfg] width:", " - set view mode.", "[file] open loadbar.ife", "[exit]"})
    EXPECT_EQ(log.find(absent), std::string::npos) << absent;
}

// The screen is the only display mode, so its size decides which mode
// buttons answer. Each run unchecks "windowed", clicks its buttons in turn
// (a greyed one does nothing, so the last live one wins) and starts.
TEST_F(Emberfield, TheScreenDecidesTheModesAndTheChosenOneOpensFullScreen) {
  struct Point {
    int x, y;
  };
  const std::map<int, Point> button = {{101, {100, 170}}, {102, {330, 170}}, {103, {100, 206}},
                                       {104, {330, 206}}};
  const struct Case {
    int width, height;
    std::vector<int> clicks;
  } cases[] = {
      {800, 600, {101, 102, 103, 104}},
      {1024, 768, {102, 101, 103}},
      {1024, 768, {104, 101, 103}},
      {1280, 720, {103, 101, 102, 104}},
  };
  for (const Case &k : cases) {
    const std::string size = std::to_string(k.width) + "x" + std::to_string(k.height);
    SCOPED_TRACE(size);
    OwnDisplay display(k.width, k.height);
    ASSERT_FALSE(display.name().empty());
    TempDir run_dir;
    LiveRun run(run_dir, ProgramIn(RealStage()), {"-v"}, {"DISPLAY=" + display.name()});
    // The window shows before its first frame is drawn; a slow build (the
    // sanitizers) loses clicks made before that.
    std::string clicks = "sleep 2 mousemove --window %1 90 249 click 1 sleep 0.2";
    for (int id : k.clicks)
      clicks += " mousemove --window %1 " + std::to_string(button.at(id).x) + " " +
                std::to_string(button.at(id).y) + " click 1 sleep 0.2";
    clicks += " mousemove --window %1 350 365 click 1";
    ASSERT_TRUE(Xdo(kSetupTitle, clicks, display.name())) << run.output();
    const auto geometry = Xdo(kTitle, "getwindowgeometry %1", display.name());
    ASSERT_TRUE(geometry) << run.output();
    EXPECT_NE(geometry->find("Position: 0,0"), std::string::npos) << *geometry;
    EXPECT_NE(geometry->find("Geometry: " + size), std::string::npos) << *geometry;
    ASSERT_TRUE(run.WaitForLog(kMusicPlays, 60s)) << run.output();
    ASSERT_TRUE(Xdo(kTitle, "windowfocus --sync %1 key --delay 40 Escape", display.name()));
    ASSERT_TRUE(run.Finished(30s));
    EXPECT_EQ(run.status(), 0) << run.output();
    ExpectInOrder(run.log(), {"[cfg] - " + size + " 32bits\n", "[cfg] width: " + std::to_string(k.width) + "\n",
                              "[cfg] height: " + std::to_string(k.height) + "\n", "[cfg] windowed: false\n",
                              " - set view mode.\n"});
  }
}

TEST_F(Emberfield, AMissingFileIsShownInTheBoxWhichWaitsForOk) {
  LiveRun run(dir, NoColorsStage().program(), {"-default", "-v"});
  ASSERT_TRUE(Xdo(kBoxTitle, "")) << run.output();
  EXPECT_FALSE(run.Finished(1s));
  // Said on standard error before the box was shown.
  EXPECT_EQ(run.output(), "File not found: colors.ini.\n");
  ASSERT_TRUE(Xdo(kBoxTitle, "mousemove --window %1 280 115 click 1"));
  ASSERT_TRUE(run.Finished(20s));
  EXPECT_EQ(run.status(), 1) << run.output();
  ExpectInOrder(run.log(), {" - set view mode.\n", "[file] open colors.ini", "File not found: colors.ini.\n",
                            "[exit] --- subsystems\n"});
}

TEST_F(Emberfield, AMissingDialogFileIsShownBeforeAnyDemoWindow) {
  const Stage stage(PackWithout("cfg.xml"));
  LiveRun run(dir, stage.program(), {"-v"});
  ASSERT_TRUE(Xdo(kBoxTitle, "")) << run.output();
  // The program's only window on screen is the box.
  const std::string mine = "xdotool search --all --onlyvisible --pid " + std::to_string(run.pid()) + " --name . getwindowname %@";
  const RunResult windows = ember_test::Run({"/bin/sh", "-c", mine});
  EXPECT_EQ(windows.output, std::string(kBoxTitle) + "\n");
  ASSERT_TRUE(DismissBox());
  ASSERT_TRUE(run.Finished(20s));
  EXPECT_EQ(run.status(), 1);
  EXPECT_EQ(run.output(), "File not found: cfg.xml.\n");
  EXPECT_EQ(run.log().find(" - set view mode."), std::string::npos);
}

// A dialog file beside the program whose 60,000 groups each name the next
// and whose button's title is 3,000 W at the largest size: the dialog
// shows in little memory, the button with the part of its title that fits
// and the whole title measured, and Escape ends it as usual.
TEST_F(Emberfield, ADialogOfEndlessGroupsAndAnEndlessTitleShowsAndQuits) {
  const Stage stage(RealStage() / "emberfield.dat");
  std::string file = "<WINDOW TITLE=\"" + std::string(kSetupTitle) +
                     "\"/><FONT ID=\"1\" NAME=\"DejaVuSans.ttf\" FONTNAME=\"DejaVuSans.ttf\" SIZE=\"1024\" "
                     "ENCODING=\"UTF8\"/><BUTTON FONTID=\"1\" TITLE=\"" + std::string(3000, 'W') + "\"/>\n";
  for (int i = 0; i < 60000; ++i)
    file += "<GROUP ID=\"" + std::to_string(5000 + i) + "\" WID=\"" + std::to_string(5001 + i) + "\"/>\n";
  WriteFile(stage.folder() / "cfg.xml", file);
  LiveRun run(dir, stage.program(), {"-v"});
  ASSERT_TRUE(Xdo(kSetupTitle, "")) << run.output();
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own memory would count
  const std::string status = ReadFile("/proc/" + std::to_string(run.pid()) + "/status");
  const size_t peak = status.find("VmHWM:");
  ASSERT_NE(peak, std::string::npos);
  EXPECT_LT(std::stol(status.substr(peak + 6)), 200L << 10) << "kB at the most";
#endif
  ASSERT_TRUE(Xdo(kSetupTitle, "windowfocus --sync %1 key --delay 40 Escape")) << run.output();
  ASSERT_TRUE(run.Finished(60s));
  EXPECT_EQ(run.status(), 0) << run.output();
  const std::string log = run.log();
  EXPECT_NE(log.find("[widget][group]  ! group 5064 nests deeper than 64 groups, not entered.\n"),
            std::string::npos);
  const size_t button = log.find("WWW' 'label-");
  ASSERT_NE(button, std::string::npos);
  const std::string line = log.substr(button, log.find('\n', button) - button);
  long width = 0, height = 0;
  ASSERT_EQ(std::sscanf(line.substr(line.rfind(' ')).c_str(), "%ldx%ld", &width, &height), 2) << line;
  EXPECT_EQ(width % 3000, 0) << line;  // 3,000 equal advances
  EXPECT_GT(width / 3000, 512) << line;
  EXPECT_GT(height, 512) << line;
}

// ---- the log options, on runs that end through the orderly shutdown ------

// "YYYYMMDD HHMMSS" at position at of the text.
bool StampAt(const std::string &text, size_t at) {
  if (text.size() < at + 15) return false;
  for (size_t i = 0; i < 15; ++i) {
    const char c = text[at + i];
    if (i == 8 ? c != ' ' : (c < '0' || c > '9')) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

constexpr const char *kMissing = "File not found: colors.ini.\n";

TEST_F(Emberfield, WithoutVOrCNothingIsLoggedAndAnOldLogStaysUntouched) {
  WriteFile(dir.path() / "debug.log", "from an earlier run\n");
  RunResult r = RunDismissed(dir, NoColorsStage().program(),
                      {"-default", "-debug-ts", "-debug-log", "other.log", "-debug-append"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, kMissing);
  EXPECT_EQ(ReadFile(dir.path() / "debug.log"), "from an earlier run\n");
  EXPECT_FALSE(fs::exists(dir.path() / "other.log"));
  EXPECT_FALSE(fs::exists(dir.path() / "debug.memleaks"));
}

TEST_F(Emberfield, VWritesOneLogInTheStartFolderFromBannerToEnd) {
  const Stage &stage = NoColorsStage();
  RunResult r = RunDismissed(dir, stage.program(), {"-default", "-v"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(stage.folder() / "debug.log"));
  std::string log = ReadFile(dir.path() / "debug.log");
  ASSERT_FALSE(log.empty());

  EXPECT_EQ(log.rfind("\n\n--- zelka!quorvix application framework 0.8\n", 0), 0u) << log;
  const size_t started = log.find("\n--- started : ");
  ASSERT_NE(started, std::string::npos);
  EXPECT_TRUE(StampAt(log, started + 15));
  EXPECT_EQ(log[started + 30], '\n');
  ExpectInOrder(log, {
                         "--- application : " + fs::canonical(stage.program()).string() + "\n\n",
                         "[info] OS type: Linux\n",
                         "[cpu] CPU: ",
                         "[cpu]  - [" + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cpu] ",
                         "[base] HOME: '" + dir.str() + "/'\n",
                         "[base] SYSTEM DIR: '" + stage.canonicalFolder() + "'\n",
                         "[init] --- subsystems\n",
                         "[init] call : Window manager ...\n",
                         "[init] --- end\n",
                         kMissing,
                         "[exit] --- subsystems\n",
                     });
  const std::string tail = "[exit] call : Release base lib ...\n[exit]\n\n--- End of log.\n\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
}

TEST_F(Emberfield, CCopiesEveryPieceToStandardOutput) {
  RunResult r = RunDismissed(dir, NoColorsStage().program(), {"-default", "-c"});
  EXPECT_EQ(r.status, 1);
  std::string log = ReadFile(dir.path() / "debug.log");
  EXPECT_NE(log.find("[base] SYSTEM DIR: "), std::string::npos);
  // The report also goes to standard error, once.
  std::string output = r.output;
  const size_t report = output.find(kMissing);
  ASSERT_NE(report, std::string::npos);
  output.erase(report, std::string(kMissing).size());
  EXPECT_EQ(output, log);
}

TEST_F(Emberfield, DebugTsStampsEveryLevelOnePieceButNotTheLevelZeroOnes) {
  RunResult r = RunDismissed(dir, NoColorsStage().program(), {"-default", "-v", "-DEBUG-TS"});
  EXPECT_EQ(r.status, 1);
  std::string log = ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(log.rfind("\n\n", 0), 0u);
  size_t checked = 0;
  for (const std::string &line : Lines(log)) {
    bool tagged = line.find("[info]") != std::string::npos ||
                  line.find("[base]") != std::string::npos ||
                  line.find("[init]") != std::string::npos ||
                  line.find("[exit]") != std::string::npos ||
                  line.find("[cfg]") != std::string::npos ||
                  line.find("--- zelka") != std::string::npos;
    if (!tagged) continue;
    EXPECT_TRUE(StampAt(line, 0) && line.size() > 16 && line[15] == ' ' &&
                (line[16] == '[' || line.compare(16, 3, "---") == 0))
        << line;
    ++checked;
  }
  EXPECT_GE(checked, 12u);
}

TEST_F(Emberfield, DebugLogNamesTheLogFileRelativeToTheStartFolder) {
  fs::create_directory(dir.path() / "logs");
  RunResult r = RunDismissed(dir, NoColorsStage().program(), {"-default", "-v", "-debug-log", "logs/run.log"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "debug.log"));
  EXPECT_FALSE(fs::exists(NoColorsStage().folder() / "logs"));
  EXPECT_NE(ReadFile(dir.path() / "logs" / "run.log").find("--- End of log."), std::string::npos);
}

TEST_F(Emberfield, AnOldLogIsRemovedUnlessDebugAppendIsGiven) {
  const fs::path program = NoColorsStage().program();
  WriteFile(dir.path() / "debug.log", "OLD LINE\n");
  EXPECT_EQ(RunDismissed(dir, program, {"-default", "-v", "-debug-append"}).status, 1);
  std::string appended = ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(appended.rfind("OLD LINE\n\n\n--- zelka!quorvix application framework 0.8\n", 0), 0u);

  EXPECT_EQ(RunDismissed(dir, program, {"-default", "-v"}).status, 1);
  std::string fresh = ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(fresh.find("OLD LINE"), std::string::npos);
  EXPECT_EQ(fresh.rfind("\n\n--- zelka!quorvix", 0), 0u);
}

TEST_F(Emberfield, DebugMemleakWritesTheReportToTheStartFolder) {
  EXPECT_EQ(RunDismissed(dir, NoColorsStage().program(), {"-default", "-debug-memleak"}).status, 1);
  std::string report = ReadFile(dir.path() / "debug.memleaks");
  ExpectInOrder(report, {"\n--- zelka!quorvix memory manager\n", "--- started : ", "\nTotal: ",
                         " bytes\n---\n"});
  EXPECT_FALSE(fs::exists(NoColorsStage().folder() / "debug.memleaks"));
}

TEST_F(Emberfield, MfNamesTheReportWhichListsItsOwnNameAmongTheLiveBlocks) {
  const fs::path program = NoColorsStage().program();
  EXPECT_EQ(RunDismissed(dir, program, {"-default", "-debug-memleak", "-mf", "leaks.txt"}).status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "debug.memleaks"));
  std::string report = ReadFile(dir.path() / "leaks.txt");
  ExpectInOrder(report, {"Unreleased memory:\n\n", "StrDup: ", "\nTotal: "});
  TempDir other;
  EXPECT_EQ(RunDismissed(other, program, {"-default", "-mf", "leaks.txt"}).status, 1);
  EXPECT_FALSE(fs::exists(other.path() / "leaks.txt"));
}

TEST_F(Emberfield, ARelativeProgramPathStillNamesTheAbsoluteProgramFolder) {
  const Stage &stage = NoColorsStage();
  fs::create_directory_symlink(stage.root(), dir.path() / "stage");
  RunResult r = RunDismissed(dir, "stage/Emberfield.app/Contents/MacOS/emberfield", {"-default", "-v"});
  EXPECT_EQ(r.status, 1) << r.output;
  std::string log = ReadFile(dir.path() / "debug.log");
  EXPECT_NE(log.find("[base] SYSTEM DIR: '" + stage.canonicalFolder() + "'\n"), std::string::npos)
      << log;
}

// A program found through PATH receives a bare name as its first word.
TEST_F(Emberfield, ABareProgramNameIsLocatedThroughTheRunningExecutable) {
  const Stage &stage = NoColorsStage();
  const std::vector<std::string> env = SoundEnv(dir);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.str().c_str()) != 0) _exit(126);
    for (const std::string &e : env) putenv(strdup(e.c_str()));
    const std::string path = stage.program().string();
    char name[] = "emberfield";
    char v[] = "-v";
    char def[] = "-default";
    char *argv[] = {name, v, def, nullptr};
    execv(path.c_str(), argv);
    _exit(127);
  }
  EXPECT_TRUE(DismissBox());
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string log = ReadFile(dir.path() / "debug.log");
  EXPECT_NE(log.find("[base] SYSTEM DIR: '" + stage.canonicalFolder() + "'\n"), std::string::npos)
      << log;
}

}  // namespace
