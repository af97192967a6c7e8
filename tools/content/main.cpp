// embercontent: generates every file of the demo's data pack and writes the
// pack (or, with --folder, the loose files).
//
//   embercontent --fonts DIR (--out PACK | --folder DIR) [--threads N]
//   embercontent --fonts DIR --engine-sample DIR
//
// The second form writes the 3D engine's sample set (scenes, layer effects,
// textures and projects) as plain files into DIR.
//
// The output depends only on the program and the font files, never on the
// time, the machine's thread count or the order threads finish in.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

#include "tools/content/engine_sample.h"
#include "tools/content/generators.h"
#include "tools/content/pack_output.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: embercontent --fonts DIR (--out PACK | --folder DIR) [--threads N]\n"
               "       embercontent --fonts DIR --engine-sample DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::string fonts_dir, out, folder, engine_sample;
  int threads = static_cast<int>(std::thread::hardware_concurrency());
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (i + 1 >= argc) {
      return Usage();
    }
    if (arg == "--fonts") {
      fonts_dir = argv[++i];
    } else if (arg == "--out") {
      out = argv[++i];
    } else if (arg == "--folder") {
      folder = argv[++i];
    } else if (arg == "--engine-sample") {
      engine_sample = argv[++i];
    } else if (arg == "--threads") {
      threads = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (fonts_dir.empty() || (out.empty() && folder.empty() && engine_sample.empty())) {
    return Usage();
  }
  try {
    content::FontBook fonts(fonts_dir);
    if (!engine_sample.empty()) {
      content::WriteFolder(content::EngineSampleFiles(fonts), engine_sample);
      if (out.empty() && folder.empty()) return 0;
    }
    content::ContentSet files = content::RunTasks(content::AllTasks(fonts), threads > 0 ? threads : 1);
    if (!folder.empty()) {
      content::WriteFolder(files, folder);
    }
    if (!out.empty()) {
      content::WritePackFile(files, out);
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "embercontent: %s\n", e.what());
    return 1;
  }
  return 0;
}
