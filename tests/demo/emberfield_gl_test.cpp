// The staged program, run from the outside under the virtual display with
// OpenAL Soft writing its output to a WAV file: a whole run behind the
// loading bar with music until Escape, the seeking keys, the two ways a
// bad data file ends it, and the log options, seen through the runs that
// end through the orderly shutdown. Each run starts in a scratch folder of
// its own; keys are real key presses sent by xdotool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
  static fs::path pack;
  if (pack.empty()) {
    const std::string tool = (BinaryDir() / "tools" / "packtool" / "packtool").string();
    const fs::path files = dir.path() / "files";
    fs::create_directory(files);
    RunResult x = ember_test::Run({tool, "extract", (RealStage() / "emberfield.dat").string(),
                                   files.string()});
    EXPECT_EQ(x.status, 0) << x.output;
    fs::remove(files / name);
    pack = dir.path() / "emberfield.dat";
    RunResult c = ember_test::Run({tool, "create", pack.string(), files.string()});
    EXPECT_EQ(c.status, 0) << c.output;
  }
  return pack;
}

// The stage whose pack lacks "colors.ini": every run ends right after the
// window opens, through the file layer's error report and the orderly
// shutdown, so the log options can be seen from banner to end.
const Stage &NoColorsStage() {
  static Stage stage(PackWithout("colors.ini"));
  return stage;
}

// The run's environment: a home of its own and OpenAL Soft writing to a
// WAV file. In a sanitizer build the program's own leak report at exit is
// left out: the demo keeps what it loaded until the process ends, and the
// report would only add to the output these tests read.
std::vector<std::string> SoundEnv(const TempDir &dir) {
  WriteFile(dir.path() / "alsoft.conf",
            "[general]\ndrivers=wave\n[wave]\nfile=" + dir.str("music.wav") + "\n");
  const char *asan = std::getenv("ASAN_OPTIONS");
  return {"HOME=" + dir.str(), "ALSOFT_CONF=" + dir.str("alsoft.conf"),
          std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") + "detect_leaks=0"};
}

RunResult RunIn(const TempDir &dir, const fs::path &program, std::vector<std::string> words) {
  words.insert(words.begin(), program.string());
  return ember_test::Run(words, dir.path(), SoundEnv(dir));
}

// A run that keeps going while the test sends keys.
class LiveRun {
public:
  LiveRun(const TempDir &dir, const fs::path &program, std::vector<std::string> words)
      : output_(dir.path() / "output.txt"), log_(dir.path() / "debug.log") {
    words.insert(words.begin(), program.string());
    const std::vector<std::string> env = SoundEnv(dir);
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

TEST_F(Emberfield, AMissingColorsIniEndsWithItsNameAndStatusOne) {
  RunResult r = RunIn(dir, NoColorsStage().program(), {"-default", "-v"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_EQ(r.output, "File not found: colors.ini.\n");
  const std::string log = ReadFile(dir.path() / "debug.log");
  ExpectInOrder(log, {" - set view mode.\n", "[file] open colors.ini",
                      "File not found: colors.ini.\n", "[exit] --- subsystems\n"});
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
  RunResult r = RunIn(dir, NoColorsStage().program(),
                      {"-default", "-debug-ts", "-debug-log", "other.log", "-debug-append"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, kMissing);
  EXPECT_EQ(ReadFile(dir.path() / "debug.log"), "from an earlier run\n");
  EXPECT_FALSE(fs::exists(dir.path() / "other.log"));
  EXPECT_FALSE(fs::exists(dir.path() / "debug.memleaks"));
}

TEST_F(Emberfield, VWritesOneLogInTheStartFolderFromBannerToEnd) {
  const Stage &stage = NoColorsStage();
  RunResult r = RunIn(dir, stage.program(), {"-default", "-v"});
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
  RunResult r = RunIn(dir, NoColorsStage().program(), {"-default", "-c"});
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
  RunResult r = RunIn(dir, NoColorsStage().program(), {"-default", "-v", "-DEBUG-TS"});
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
  RunResult r = RunIn(dir, NoColorsStage().program(), {"-default", "-v", "-debug-log", "logs/run.log"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "debug.log"));
  EXPECT_FALSE(fs::exists(NoColorsStage().folder() / "logs"));
  EXPECT_NE(ReadFile(dir.path() / "logs" / "run.log").find("--- End of log."), std::string::npos);
}

TEST_F(Emberfield, AnOldLogIsRemovedUnlessDebugAppendIsGiven) {
  const fs::path program = NoColorsStage().program();
  WriteFile(dir.path() / "debug.log", "OLD LINE\n");
  EXPECT_EQ(RunIn(dir, program, {"-default", "-v", "-debug-append"}).status, 1);
  std::string appended = ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(appended.rfind("OLD LINE\n\n\n--- zelka!quorvix application framework 0.8\n", 0), 0u);

  EXPECT_EQ(RunIn(dir, program, {"-default", "-v"}).status, 1);
  std::string fresh = ReadFile(dir.path() / "debug.log");
  EXPECT_EQ(fresh.find("OLD LINE"), std::string::npos);
  EXPECT_EQ(fresh.rfind("\n\n--- zelka!quorvix", 0), 0u);
}

TEST_F(Emberfield, DebugMemleakWritesTheReportToTheStartFolder) {
  EXPECT_EQ(RunIn(dir, NoColorsStage().program(), {"-default", "-debug-memleak"}).status, 1);
  std::string report = ReadFile(dir.path() / "debug.memleaks");
  ExpectInOrder(report, {"\n--- zelka!quorvix memory manager\n", "--- started : ", "\nTotal: ",
                         " bytes\n---\n"});
  EXPECT_FALSE(fs::exists(NoColorsStage().folder() / "debug.memleaks"));
}

TEST_F(Emberfield, MfNamesTheReportWhichListsItsOwnNameAmongTheLiveBlocks) {
  const fs::path program = NoColorsStage().program();
  EXPECT_EQ(RunIn(dir, program, {"-default", "-debug-memleak", "-mf", "leaks.txt"}).status, 1);
  EXPECT_FALSE(fs::exists(dir.path() / "debug.memleaks"));
  std::string report = ReadFile(dir.path() / "leaks.txt");
  ExpectInOrder(report, {"Unreleased memory:\n\n", "StrDup: ", "\nTotal: "});
  TempDir other;
  EXPECT_EQ(RunIn(other, program, {"-default", "-mf", "leaks.txt"}).status, 1);
  EXPECT_FALSE(fs::exists(other.path() / "leaks.txt"));
}

TEST_F(Emberfield, ARelativeProgramPathStillNamesTheAbsoluteProgramFolder) {
  const Stage &stage = NoColorsStage();
  fs::create_directory_symlink(stage.root(), dir.path() / "stage");
  RunResult r = ember_test::Run({"stage/Emberfield.app/Contents/MacOS/emberfield", "-default", "-v"},
                                dir.path(), SoundEnv(dir));
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
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::string log = ReadFile(dir.path() / "debug.log");
  EXPECT_NE(log.find("[base] SYSTEM DIR: '" + stage.canonicalFolder() + "'\n"), std::string::npos)
      << log;
}

}  // namespace
