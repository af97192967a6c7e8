// projectplay: watches an effect project.
//
//   projectplay PROJECT                 plays it in real time until Escape
//   projectplay PROJECT OUTDIR T1 ...   plays it from 0 in 40 ms steps and
//                                       writes OUTDIR/frame-T.png at each
//                                       requested time T (milliseconds)
//
// The framework and the window start as the demo's do with "-default"
// (the data pack holds the configuration dialog's file; it is looked for
// beside the project's folder, then beside the build, or where EMBER_PACK
// names it). The project's files are plain files relative to the project's
// folder, which becomes the current folder. The random sequence is seeded,
// so a run writes the same frames every time.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "demo/modules.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "engine/effects/render_targets.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "framework/base.h"
#include "framework/log.h"
#include "framework/random.h"
#include "framework/sys.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;
constexpr int32_t kStepMs = 40;
constexpr uint32_t kSeed = 20260;

// The player's time is a single-precision number: whole milliseconds stay
// exact up to 2^24 (about 4 h 40 min), and every 40 ms step up to the
// last requested time is played.
constexpr int64_t kLastTimeMs = int64_t(1) << 24;

int Usage() {
  std::fprintf(stderr, "usage: projectplay PROJECT [OUTDIR T1 [T2 ...]]\n");
  return 2;
}

// A time in whole milliseconds from 0 to kLastTimeMs, or -1.
int64_t ParseTime(const char *text) {
  if (!*text) return -1;
  int64_t t = 0;
  for (const char *c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return -1;
    t = t * 10 + (*c - '0');
    if (t > kLastTimeMs) return -1;
  }
  return t;
}

// A file is there when it can be opened for reading: a plain file, or a
// pipe or FIFO that the reader takes as a stream.
bool There(const fs::path &path) {
  std::error_code ec;
  return fs::exists(path, ec) && !fs::is_directory(path, ec);
}
void NoteMissing(const std::string &path, std::vector<std::string> &missing) {
  if (!There(path)) missing.push_back(path);
}
std::vector<std::string> *missingFiles = nullptr;
void CheckScene(_3DV_SCENE &, const std::string &path) { NoteMissing(path, *missingFiles); }
void CheckLayers(ife_interface &, const std::string &path) { NoteMissing(path, *missingFiles); }

// Reads the project and the files it names before the window opens, so
// that what cannot be played is said on standard error, not in the
// engine's fatal exit. The current folder is the project's. The bytes are
// kept for the load, so a project that comes through a FIFO is read once.
bool CheckProject(const fs::path &project, std::vector<uint8_t> &bytes) {
  if (!There(project)) {
    std::fprintf(stderr, "projectplay: no project file %s\n", project.c_str());
    return false;
  }
  std::string error;
  if (!QEX_ReadProjectFile(project.string(), bytes, error)) {
    std::fprintf(stderr, "projectplay: %s %s\n", project.c_str(), error.c_str());
    return false;
  }
  std::vector<std::string> missing;
  missingFiles = &missing;
  QEX_Project parsed{};
  const bool whole =
      QEX_ParseProject(parsed, bytes.data(), bytes.size(), {CheckScene, CheckLayers, nullptr}, error);
  QEX_FreeProjectArrays(parsed);
  QEX_State.cachecount = 0;
  missingFiles = nullptr;
  if (!whole) {
    std::fprintf(stderr, "projectplay: %s is not a whole project: %s\n", project.c_str(),
                 error.c_str());
    return false;
  }
  for (const std::string &file : missing)
    std::fprintf(stderr, "projectplay: %s names %s, which is not there\n", project.c_str(),
                 (project.parent_path() / file).c_str());
  return missing.empty();
}

std::string FindPack(const fs::path &project) {
  if (const char *named = std::getenv("EMBER_PACK")) return named;
  const fs::path beside = project.parent_path().parent_path() / "emberfield.dat";
  if (fs::exists(beside)) return beside.string();
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    const fs::path staged = fs::path(self).parent_path().parent_path().parent_path() / "stage" /
                            "emberfield.dat";
    if (fs::exists(staged)) return staged.string();
  }
  return beside.string();
}

bool WritePng(const fs::path &file) {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  dgl::glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kWidth;
  image.height = kHeight;
  image.format = PNG_FORMAT_RGB;
  // GL rows run bottom-up: a negative stride writes them top-down.
  const png_int_32 stride = -png_int_32(kWidth * 3);
  const int ok = png_image_write_to_file(&image, file.c_str(), 0, rgb.data(), stride, nullptr);
  if (!ok) std::fprintf(stderr, "projectplay: cannot write %s: %s\n", file.c_str(), image.message);
  return ok != 0;
}

// While frames are written no one is there to dismiss the demo's message
// box: a file the framework cannot open ends the run at once, with its
// reason on standard error.
void EndOnFileError(int32_t code, const char *name) {
  static bool ending = false;
  if (ending) return;  // a file an exit procedure opens
  ending = true;
  std::fprintf(stderr, "projectplay: %s\n", FatalErrorMessage(code, name).c_str());
  std::fflush(stderr);
  CloseVideo();
  SYS_Exit(1);
}

// Memory that cannot be had ends the run with a reason and status 1, not
// with an uncaught exception's abort. Nothing more is allocated on the way
// out: the shutdown could need memory there is none of.
[[noreturn]] void OutOfMemory() {
  std::fputs("projectplay: out of memory\n", stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

// Writing frames, every failure ends the run with status 1 and its reason
// on standard error; the real-time player keeps the demo's message box.
void StartWindow(const std::string &pack, bool writingFrames) {
  static char program[] = "projectplay";
  static char skipDialog[] = "-default";
  static char *argv[] = {program, skipDialog, nullptr};
  InitialiseModules(2, argv);
  if (writingFrames) {
    SYS_ErrorSetCallback(EndOnFileError);
    wmFatalSetStream(stderr);
  }
  SYS_CallInitProcs();
  if (SYS_FilePackOpen(pack.c_str()) != 0)
    std::fprintf(stderr, "projectplay: no data pack at %s\n", pack.c_str());
  DemoWidth = kWidth;
  DemoHeight = kHeight;
  DemoFullScreen = 0;
  StartVideo("projectplay", DemoWidth, DemoHeight, DemoFullScreen);
  // Textures as the demo loads them: red first, at the chosen quality.
  txSetParam(3, TX_RED_FIRST);
  txSetParam(2, cfg_settings.texture_quality);
  txTexReset();
}

bool SoftwareRenderer() {
  const auto *renderer = reinterpret_cast<const char *>(dgl::glGetString(GL_RENDERER));
  const std::string name = renderer ? renderer : "";
  return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos;
}

void Frame(const QEX_Project &project, float t) {
  _3DV_FacesDrawn = _3DV_ObjectsDrawn = _3DV_ParticlesDrawn = 0;
  dgl::glViewport(0, 0, kWidth, kHeight);
  QEX_RenderProject(project, t);
}

// What a host program does between frames: the finished frame goes into
// render target 0, which materials named "$framebuffer$.jpg" and layers
// named "RT" show, and a small copy of it into the glow texture, which
// layers named "GLOW" show. So the next frame shows this one there. The
// small copy is drawn into the corner of the frame just written; the state
// the project's operators left is kept for the next frame.
void EndFrame() {
  dgl::glPushAttrib(GL_ALL_ATTRIB_BITS);
  _3DV_CopyFramebuffer(0);
  for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW, GL_TEXTURE}) {
    dgl::glMatrixMode(mode);
    dgl::glPushMatrix();
    dgl::glLoadIdentity();
  }
  for (GLenum cap : {GL_DEPTH_TEST, GL_STENCIL_TEST, GL_BLEND, GL_LIGHTING, GL_CULL_FACE, GL_FOG,
                     GL_ALPHA_TEST, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T})
    dgl::glDisable(cap);
  dgl::glViewport(0, 0, _3DV_GlowSize, _3DV_GlowSize);
  dgl::glColor4f(1, 1, 1, 1);
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(-1, -1);
  dgl::glTexCoord2f(1, 0);
  dgl::glVertex2f(1, -1);
  dgl::glTexCoord2f(1, 1);
  dgl::glVertex2f(1, 1);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(-1, 1);
  dgl::glEnd();
  _3DV_CopyGlow();
  for (GLenum mode : {GL_TEXTURE, GL_MODELVIEW, GL_PROJECTION}) {
    dgl::glMatrixMode(mode);
    dgl::glPopMatrix();
  }
  dgl::glPopAttrib();
  wmSwapBuffers(DemoWindow);
  wmPumpEvents();
}

}  // namespace

int main(int argc, char **argv) {
  std::set_new_handler(OutOfMemory);
  if (argc < 2 || argc == 3) return Usage();
  const fs::path projectPath = fs::absolute(argv[1]);
  fs::path outDir;
  std::vector<int64_t> times;
  if (argc > 3) {
    outDir = fs::absolute(argv[2]);
    for (int i = 3; i < argc; ++i) {
      const int64_t t = ParseTime(argv[i]);
      if (t < 0) {
        std::fprintf(stderr, "projectplay: %s is not a time in milliseconds from 0 to %lld\n",
                     argv[i], static_cast<long long>(kLastTimeMs));
        return Usage();
      }
      times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
      std::fprintf(stderr, "projectplay: cannot make the folder %s\n", outDir.c_str());
      return 1;
    }
  }
  std::vector<uint8_t> bytes;
  {
    std::error_code ec;
    fs::current_path(projectPath.parent_path(), ec);
    if (ec || !CheckProject(projectPath, bytes)) return 1;
  }

  StartWindow(FindPack(projectPath), !times.empty());
  // The framework has made the program's folder current; the project's
  // files are found from its own.
  fs::current_path(projectPath.parent_path());
  RandSeed(kSeed);
  _3DV_InitFramebufferTexture();
  _3DV_InitGlowTexture();
  QEX_Init(kWidth, kHeight);
  // Mesa's software rasteriser can spend unbounded time in its
  // anisotropic sampler on surfaces seen at a grazing angle; the pictures
  // this tool writes come from it under Xvfb.
  if (SoftwareRenderer()) _3DV_Anisotropic = 0;
  // The project lives as long as the process, as in play.
  static QEX_Project project{};
  std::string error;
  if (!QEX_ParseProject(project, bytes.data(), bytes.size(), QEX_DefaultLoaders(), error))
    wmFatal("Project file " + projectPath.filename().string() + " is damaged: " + error);

  if (!times.empty()) {
    // Every 40 ms step from 0, and each requested time between them.
    times.erase(std::unique(times.begin(), times.end()), times.end());
    int failures = 0;
    auto next = times.begin();
    for (int64_t ms = 0; next != times.end();) {
      Frame(project, float(ms));
      if (ms == *next) {
        const fs::path file = outDir / ("frame-" + std::to_string(ms) + ".png");
        if (!WritePng(file)) ++failures;
        ++next;
      }
      EndFrame();
      const int64_t step = (ms / kStepMs + 1) * kStepMs;
      ms = next != times.end() && *next < step ? *next : step;
    }
    const GLenum error = dgl::glGetError();
    if (error != GL_NO_ERROR) {
      std::fprintf(stderr, "projectplay: GL error 0x%x\n", unsigned(error));
      ++failures;
    }
    CloseVideo();
    return failures ? 1 : 0;
  }

  const auto start = std::chrono::steady_clock::now();
  while (!cfg_settings.quit) {
    const auto now = std::chrono::steady_clock::now();
    const float ms = std::chrono::duration<float, std::milli>(now - start).count();
    Frame(project, ms);
    cfg_settings.last_key = 0;
    EndFrame();
  }
  CloseVideo();
  return 0;
}
