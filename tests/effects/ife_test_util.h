// Builders shared by the layer-effect tests: ".ife" texts, key records,
// small TGA images, and a child process for paths that end the program.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "effects/ife.h"
#include "effects/ife_file.h"
#include "framework/file.h"
#include "support/test_support.h"

namespace ember_test {

// One layer of an ".ife" text.
struct IfeLayerText {
  std::string name = "white.tga";
  std::string line2 = "second";
  std::string line3 = "third";
  std::string keyCount;  // empty: the number of key lines
  std::string blend = "0";
  std::vector<std::string> keys = {"0 400 300 0 0 800 600 255 255 255 255"};
};

inline std::string IfeText(const std::vector<IfeLayerText> &layers, const std::string &header2 = "0") {
  std::string text = std::to_string(layers.size()) + "\n" + header2 + "\n";
  for (const IfeLayerText &l : layers) {
    text += l.name + "\n" + l.line2 + "\n" + l.line3 + "\n";
    text += (l.keyCount.empty() ? std::to_string(l.keys.size()) : l.keyCount) + "\n";
    text += l.blend + "\n";
    for (const std::string &k : l.keys) text += k + "\n";
  }
  return text;
}

// A key line from its eleven numbers.
inline std::string KeyLine(int time, float x, float y, int mode, float angle, float w, float h,
                           float r = 255, float g = 255, float b = 255, float a = 255) {
  char line[256];
  std::snprintf(line, sizeof line, "%d %g %g %d %g %g %g %g %g %g %g", time, x, y, mode, angle, w,
                h, r, g, b, a);
  return line;
}

inline ife_keys Key(int32_t time, float x, uint8_t mode = IFE_LINEAR) {
  ife_keys k{};
  k.time = time;
  k.x = x;
  k.mode = mode;
  return k;
}

// A layer over caller-owned keys; no texture.
inline ife_layer Layer(std::vector<ife_keys> &keys, const char *name = "white.tga") {
  ife_layer layer{};
  std::snprintf(layer.name, sizeof layer.name, "%s", name);
  layer.keycount = int32_t(keys.size());
  layer.keys = keys.data();
  return layer;
}

// Reads an ".ife" text through the virtual file system.
struct ReadResult {
  int32_t status = -1;
  ife_ParseError error;
};

inline ReadResult ReadIfeText(const std::string &text, ife_interface &out,
                              ife_LayerHook hook = nullptr, void *user = nullptr) {
  TempDir dir;
  const std::string path = dir.str("effect.ife");
  WriteFile(path, text);
  ReadResult r;
  SYS_File_p file = SYS_FileOpen(path.c_str(), SYS_FILE_TEXT);
  if (!file) return r;
  r.status = ife_ReadInterface(file, out, hook, user, r.error);
  SYS_FileClose(file);
  return r;
}

// An uncompressed 24-bit TGA, stored top row first, of w x h pixels of one
// colour.
inline std::vector<unsigned char> SolidTga(int w, int h, unsigned char r, unsigned char g,
                                           unsigned char b) {
  std::vector<unsigned char> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    (unsigned char)(w & 255), (unsigned char)(w >> 8),
                                    (unsigned char)(h & 255), (unsigned char)(h >> 8), 24, 0x20};
  for (int i = 0; i < w * h; ++i) {
    tga.push_back(b);
    tga.push_back(g);
    tga.push_back(r);
  }
  return tga;
}

using ChildResult = RunResult;

}  // namespace ember_test
