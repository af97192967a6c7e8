// The generated data pack, read through the framework's pack handler the way
// the demo reads it: every file the demo, its layer effects and its dialogs
// open is there, in the exact layout its reader addresses (sizes, offsets,
// lit-pixel counts, record counts), the layer effects parse and show
// something at the frames the scenes draw them, the meshes index inside
// their vertices with unit normals, the music is 236 s of stereo Vorbis,
// and generating the pack again gives the same bytes.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "support/test_support.h"
#include "tools/content/music_score.h"

#ifdef EMBER_HAVE_TEXTURE_LOADER
#include "texture/loader.h"
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path PackPath() { return ember_test::BinaryDir() / "stage" / "emberfield.dat"; }

// ---- reading the pack --------------------------------------------------------

class ContentPack : public ::testing::Test {
protected:
  void SetUp() override {
    SYS_FileUnmountAll();
    ASSERT_TRUE(fs::exists(PackPath())) << PackPath();
    ASSERT_EQ(SYS_FilePackOpen(PackPath().c_str()), 0);
  }
  void TearDown() override { SYS_FileUnmountAll(); }

  // The whole file as the demo's whole-file loads read it.
  static Bytes Read(const std::string &name) {
    int32_t size = SYS_FileSize(name.c_str());
    EXPECT_GE(size, 0) << name << " is not in the pack";
    if (size < 0) return {};
    SYS_File_p f = SYS_FileOpen(name.c_str(), 0);
    EXPECT_NE(f, nullptr) << name;
    if (f == nullptr) return {};
    Bytes b(static_cast<size_t>(size));
    EXPECT_EQ(SYS_FileRead(f, b.data(), size), size) << name;
    SYS_FileClose(f);
    return b;
  }
  // Every entry name of the mounted pack, in catalog order.
  static std::vector<std::string> PackedNames() {
    std::vector<std::string> names;
    SYS_List_p node = SYS_PackList();
    EXPECT_NE(node, nullptr);
    if (node == nullptr) return names;
    const auto *pack = static_cast<const SYS_Pack_t *>(node->data);
    for (int32_t i = 0; i < pack->count; ++i) names.emplace_back(pack->entries[i].name);
    return names;
  }
  static std::string Text(const std::string &name) {
    Bytes b = Read(name);
    return std::string(b.begin(), b.end());
  }
};

uint32_t U32(const Bytes &b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const Bytes &b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
float F32(const Bytes &b, size_t at) {
  uint32_t u = U32(b, at);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

// ---- the demo's names ------------------------------------------------------------

const std::vector<std::string> kLayerEffects = {
    "loadbar.ife",       "vantorlogo.ife",    "hatter.ife",   "hatter2.ife",   "uveg.ife",
    "gombhatter.ife",    "gombfadein.ife",    "fadeout.ife",  "bplogo.ife",    "bplogosmallhatter.ife",
    "bplogosmall.ife",   "bplogosmalllent.ife", "monsterflash.ife", "whiteflash.ife", "bpscreen.ife",
    "endpart.ife",       "v_blur.ife",        "h_blur.ife",   "h_blur2.ife"};

std::vector<std::string> DemoTextures() {
  std::vector<std::string> t = {"envmap.tga", "hatter.tga", "flare.tga"};
  for (int i = 1; i <= 10; ++i) t.push_back((i < 10 ? "virag0" : "virag") + std::to_string(i) + ".tga");
  for (int i = 1; i <= 5; ++i) t.push_back("text" + std::to_string(i) + ".tga");
  for (int i = 1; i <= 7; ++i) t.push_back("line" + std::to_string(i) + ".tga");
  for (int i = 1; i <= 5; ++i) t.push_back("level" + std::to_string(i) + ".tga");
  for (const char *n : {"credits.tga", "demos.tga", "vtrlogo.tga", "bplogobig.tga", "emberfld.tga", "monster.tga"})
    t.push_back(n);
  return t;
}

struct MeshNames {
  std::string base, third;
};
const std::vector<MeshNames> kMeshes = {{"0000_coin", "vertexnormal"},
                                        {"0000_Deckf", "vertexnormal"},
                                        {"0002_tft", "uvw"},
                                        {"0001_alap", "vertexnormal"},
                                        {"0000_csap", "vertexnormal"}};

// ---- TGA as the loader and the raw readers see it ---------------------------------

struct Tga {
  int id_length = 0, map_type = 0, type = 0, map_first = 0, map_length = 0, map_bits = 0;
  int width = 0, height = 0, depth = 0, descriptor = 0;
  size_t pixel_offset = 0;
  std::vector<std::array<uint8_t, 4>> top_down;  // B, G, R, A of each pixel, top row first
};

// Decodes exactly the forms the loader recognises; fails the test when the
// file is anything else or its size differs from what the header promises.
Tga DecodeTga(const Bytes &b, const std::string &name) {
  Tga t;
  EXPECT_GE(b.size(), 18u) << name;
  if (b.size() < 18) return t;
  t.id_length = b[0];
  t.map_type = b[1];
  t.type = b[2];
  t.map_first = U16(b, 3);
  t.map_length = U16(b, 5);
  t.map_bits = b[7];
  t.width = U16(b, 12);
  t.height = U16(b, 14);
  t.depth = b[16];
  t.descriptor = b[17];
  EXPECT_EQ(t.id_length, 0) << name << ": image identifier";
  bool mapped = t.map_type == 1 && t.type == 1 && t.map_first == 0 && t.map_length == 256 && t.map_bits == 24;
  bool plain = t.map_type == 0 && (t.type == 2 || t.type == 3) && t.map_first == 0 && t.map_length == 0 &&
               t.map_bits == 0;
  EXPECT_TRUE(mapped || plain) << name << ": header form the loader does not accept";
  int bpp = t.depth / 8;
  EXPECT_TRUE((t.type == 2 && (bpp == 3 || bpp == 4)) || (t.type != 2 && bpp == 1)) << name << " depth " << t.depth;
  t.pixel_offset = 18 + (mapped ? 768 : 0);
  size_t want = t.pixel_offset + static_cast<size_t>(t.width) * t.height * bpp;
  EXPECT_EQ(b.size(), want) << name << ": size";
  EXPECT_GT(t.width, 0);
  EXPECT_GT(t.height, 0);
  if (b.size() != want || !(mapped || plain) || bpp < 1) return t;
  bool top_first = (t.descriptor & 0x20) != 0;
  t.top_down.resize(static_cast<size_t>(t.width) * t.height);
  for (int y = 0; y < t.height; ++y) {
    int row = top_first ? y : t.height - 1 - y;
    for (int x = 0; x < t.width; ++x) {
      const uint8_t *p = &b[t.pixel_offset + (static_cast<size_t>(row) * t.width + x) * bpp];
      std::array<uint8_t, 4> px{};
      if (mapped) {
        const uint8_t *e = &b[18 + 3 * p[0]];
        px = {e[0], e[1], e[2], 255};
      } else if (bpp == 1) {
        px = {p[0], p[0], p[0], 255};
      } else {
        px = {p[0], p[1], p[2], static_cast<uint8_t>(bpp == 4 ? p[3] : 255)};
      }
      t.top_down[static_cast<size_t>(y) * t.width + x] = px;
    }
  }
  return t;
}

// The largest spread of any channel (alpha included): a blank picture,
// every pixel alike, has none.
int ChannelSpread(const Tga &t) {
  int best = 0;
  for (int c = 0; c < 4; ++c) {
    int lo = 255, hi = 0;
    for (const auto &p : t.top_down) {
      lo = std::min<int>(lo, p[c]);
      hi = std::max<int>(hi, p[c]);
    }
    best = std::max(best, hi - lo);
  }
  return best;
}

// Colour (blue, green, red) of a picture at fractional texture coordinates
// s, t (t = 0 at the top row), nearest pixel.
std::array<int, 3> At(const Tga &t, double s, double v) {
  int x = std::clamp(static_cast<int>(s * t.width), 0, t.width - 1);
  int y = std::clamp(static_cast<int>(v * t.height), 0, t.height - 1);
  const auto &p = t.top_down[static_cast<size_t>(y) * t.width + x];
  return {p[0], p[1], p[2]};
}

double Brightness(const std::array<int, 3> &c) { return (c[0] + c[1] + c[2]) / 3.0; }

// ---- layer effects as the loader reads them ------------------------------------------

struct Key {
  int time = 0, mode = 0;
  double x = 0, y = 0, angle = 0, w = 0, h = 0, r = 0, g = 0, b = 0, a = 0;
};
struct Layer {
  std::string name;
  int blend = 0;
  std::vector<Key> keys;
};

std::string Trim(const std::string &s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

bool StrictInt(const std::string &s, int &out) {
  static const std::regex re("-?[0-9]+");
  if (!std::regex_match(s, re)) return false;
  out = std::stoi(s);
  return true;
}

// Lines whose first byte is '#' are skipped; every other line is a value.
std::vector<Layer> ParseEffect(const std::string &text, const std::string &name) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l[0] == '#') continue;
    lines.push_back(Trim(l));
  }
  size_t at = 0;
  auto next = [&]() { return at < lines.size() ? lines[at++] : std::string(); };
  int count = 0, header = 0;
  std::vector<Layer> layers;
  EXPECT_TRUE(StrictInt(next(), count)) << name << ": layer count";
  EXPECT_TRUE(StrictInt(next(), header)) << name << ": second header value";
  EXPECT_GE(count, 1) << name;
  for (int i = 0; i < count && at < lines.size(); ++i) {
    Layer l;
    l.name = next();
    next();
    next();
    int keys = 0;
    EXPECT_TRUE(StrictInt(next(), keys)) << name << " layer " << i << ": key count";
    EXPECT_TRUE(StrictInt(next(), l.blend)) << name << " layer " << i << ": blend";
    EXPECT_GE(keys, 1) << name << " layer " << i;
    for (int k = 0; k < keys; ++k) {
      std::string line = next();
      // The loader splits on single blanks: two in a row would make an
      // empty word, read as 0.
      static const std::regex key_line("-?[0-9]+(\\.[0-9]+)?( -?[0-9]+(\\.[0-9]+)?){10}");
      EXPECT_TRUE(std::regex_match(line, key_line)) << name << " layer " << i << " key " << k << ": " << line;
      EXPECT_LE(line.size(), 255u);
      std::istringstream words(line);
      std::vector<double> v;
      for (double d; words >> d;) v.push_back(d);
      EXPECT_EQ(v.size(), 11u) << name << " layer " << i << " key " << k;
      v.resize(11);
      Key key;
      key.time = static_cast<int>(std::lround(v[0]));
      key.x = v[1];
      key.y = v[2];
      key.mode = static_cast<int>(std::lround(v[3]));
      key.angle = v[4];
      key.w = v[5];
      key.h = v[6];
      key.r = v[7];
      key.g = v[8];
      key.b = v[9];
      key.a = v[10];
      l.keys.push_back(key);
    }
    layers.push_back(l);
  }
  EXPECT_EQ(static_cast<int>(layers.size()), count) << name << ": file ends early";
  EXPECT_EQ(at, lines.size() - (lines.size() > at && lines.back().empty() ? 1 : 0)) << name << ": lines left over";
  return layers;
}

// A layer's key values at an effect time, as the renderer eases them.
Key At(const Layer &l, double t) {
  size_t n = l.keys.size(), earlier = 0, later = n - 1;
  for (size_t k = 0; k < n; ++k) {
    if (l.keys[k].time <= t) earlier = k;
    if (l.keys[n - 1 - k].time >= t) later = n - 1 - k;
  }
  const Key &a = l.keys[earlier], &b = l.keys[later];
  double f = earlier == later ? 0.0 : (t - a.time) / (b.time - a.time);
  auto ease = [&](double x, double y) {
    switch (a.mode) {
      case 0: return x + (y - x) * f;
      case 1: return x + (y - x) * std::sin(f * M_PI / 2);
      case 2: return x + (y - x) * (1 - std::cos(f * M_PI / 2));
      default: return 0.0;
    }
  };
  Key k;
  k.angle = ease(a.angle, b.angle);
  k.x = ease(a.x, b.x);
  k.y = ease(a.y, b.y);
  k.w = ease(a.w, b.w);
  k.h = ease(a.h, b.h);
  k.r = ease(a.r, b.r);
  k.g = ease(a.g, b.g);
  k.b = ease(a.b, b.b);
  k.a = ease(a.a, b.a);
  return k;
}

// Whether a layer puts anything on the 800 x 600 screen at time t.
bool Shows(const Layer &l, double t) {
  Key k = At(l, t);
  bool on_screen = k.w > 1 && k.h > 1 && k.x + k.w / 2 > 0 && k.x - k.w / 2 < 800 && k.y + k.h / 2 > 0 &&
                   k.y - k.h / 2 < 600;
  double light = std::max({k.r, k.g, k.b});
  switch (l.blend) {
    case 0: return on_screen;
    case 1: return on_screen && light > 1;
    default: return on_screen && k.a > 1;
  }
}

bool IsSpecial(const std::string &name) {
  return name == "white.tga" || name == "RT" || name == "GLOW" || name.rfind("BUF", 0) == 0;
}

}  // namespace

// ---- presence ----------------------------------------------------------------------

TEST_F(ContentPack, EveryFileTheDemoAndItsDialogsOpenIsThere) {
  std::vector<std::string> names = kLayerEffects;
  for (const std::string &t : DemoTextures()) names.push_back(t);
  for (const MeshNames &m : kMeshes) {
    names.push_back(m.base + ".face");
    names.push_back(m.base + ".vertex");
    names.push_back(m.base + "." + m.third);
  }
  for (const char *n : {"musicsync.dat", "emberfld.raw", "greets.tga", "bplogo_small.tga", "text.tga", "matrix.dat",
                        "monster_alpha.tga", "monster_color.tga", "colors.ini", "emberfield.ogg", "cfg.xml",
                        "msgbox.xml"})
    names.push_back(n);
  for (const std::string &n : names) {
    EXPECT_GT(SYS_FileSize(n.c_str()), 0) << n;
  }
  // Names are matched exactly: no case folding rescues a wrong name.
  EXPECT_LT(SYS_FileSize("0000_deckf.face"), 0);
}

// ---- textures -------------------------------------------------------------------------

TEST_F(ContentPack, TexturesAreUncompressedTgasTheLoaderAcceptsAndNoneIsBlank) {
  const std::vector<std::string> demo = DemoTextures();
  std::set<std::string> names(demo.begin(), demo.end());
  for (const std::string &e : kLayerEffects) {
    for (const Layer &l : ParseEffect(Text(e), e)) {
      if (!IsSpecial(l.name)) names.insert(l.name);
    }
  }
  for (const std::string &n : names) {
    Tga t = DecodeTga(Read(n), n);
    EXPECT_EQ(t.type, 2) << n << ": textures are true colour";
    EXPECT_GT(ChannelSpread(t), 64) << n << " looks blank";
  }
}

#ifdef EMBER_HAVE_TEXTURE_LOADER
TEST_F(ContentPack, EveryImageDecodesThroughTheTextureLoader) {
  ASSERT_EQ(txInit(nullptr), 0);
  std::set<std::string> names;
  for (const std::string &n : PackedNames()) {
    if (n.size() > 4 && n.substr(n.size() - 4) == ".tga") names.insert(n);
  }
  ASSERT_GT(names.size(), 50u);
  for (const std::string &n : names) {
    Tga t = DecodeTga(Read(n), n);
    pxBitmap b = txLoad(n.c_str());
    ASSERT_NE(b, nullptr) << n << ": error " << txGetError();
    EXPECT_EQ(b->width, t.width) << n;
    EXPECT_EQ(b->height, t.height) << n;
    // Colour-mapped images come out expanded to 24 bits.
    EXPECT_EQ(b->bits, t.type == 1 ? 24 : t.depth) << n;
    txFree(&b);
  }
}
#endif

TEST_F(ContentPack, BackgroundPicturesShowWhichWayIsUp) {
  // Distinct quadrants: the mean colour of each quadrant differs from the
  // others, so a picture drawn flipped or turned is told apart.
  for (const char *n : {"hatter.tga", "gombhatter.tga", "vtrback.tga", "level5.tga"}) {
    Tga t = DecodeTga(Read(n), n);
    std::array<std::array<double, 3>, 4> mean{};
    for (int y = 0; y < t.height; ++y) {
      for (int x = 0; x < t.width; ++x) {
        int q = (y >= t.height / 2 ? 2 : 0) + (x >= t.width / 2 ? 1 : 0);
        for (int c = 0; c < 3; ++c) mean[q][c] += t.top_down[static_cast<size_t>(y) * t.width + x][c];
      }
    }
    for (auto &m : mean)
      for (double &c : m) c /= t.width * t.height / 4.0;
    for (int a = 0; a < 4; ++a) {
      for (int b = a + 1; b < 4; ++b) {
        double d = std::fabs(mean[a][0] - mean[b][0]) + std::fabs(mean[a][1] - mean[b][1]) +
                   std::fabs(mean[a][2] - mean[b][2]);
        EXPECT_GT(d, 3.0) << n << ": quadrants " << a << " and " << b << " look alike";
      }
    }
  }
}

// ---- images read byte by byte ------------------------------------------------------------

// Scene 6's paths start at the leftmost lit pixels, where its camera looks
// first, and the camera follows them across the whole width.
TEST_F(ContentPack, FieldImageIs196By32WithExactly1591LitPixelsFromTheLeftEdgeAcross) {
  Bytes raw = Read("emberfld.raw");
  ASSERT_EQ(raw.size(), 196u * 32u);
  int lit = 0, left = 196, right = -1;
  for (size_t p = 0; p < raw.size(); ++p) {
    if (raw[p] != 0) {
      ++lit;
      left = std::min(left, static_cast<int>(p % 196));
      right = std::max(right, static_cast<int>(p % 196));
    }
  }
  EXPECT_EQ(lit, 1591);
  EXPECT_LE(left, 2);
  EXPECT_GE(right, 192);
}

TEST_F(ContentPack, GlyphAndGreetingStripsAreColourMappedWithPixelsFromByte786) {
  struct Strip {
    const char *name;
    int w, h, count, max_lit;
  };
  for (const Strip &s : {Strip{"text.tga", 48, 24, 7, 433}, Strip{"greets.tga", 256, 128, 14, 3391}}) {
    Bytes b = Read(s.name);
    Tga t = DecodeTga(b, s.name);
    EXPECT_EQ(t.type, 1) << s.name;
    EXPECT_EQ(t.pixel_offset, 786u) << s.name;
    ASSERT_EQ(t.width, s.w) << s.name;
    ASSERT_EQ(t.height, s.h * s.count) << s.name;
    ASSERT_EQ(b.size(), 786u + static_cast<size_t>(s.w) * s.h * s.count);
    for (int k = 0; k < s.count; ++k) {
      int lit = 0;
      for (int i = 0; i < s.w * s.h; ++i) lit += b[786 + static_cast<size_t>(k) * s.w * s.h + i] != 0;
      EXPECT_GE(lit, 1) << s.name << " frame " << k;
      EXPECT_LE(lit, s.max_lit) << s.name << " frame " << k;
    }
  }
}

TEST_F(ContentPack, SmallLogoIs512By256Of32BitsAndStaysWhereTheSwarmShowsIt) {
  Bytes b = Read("bplogo_small.tga");
  Tga t = DecodeTga(b, "bplogo_small.tga");
  ASSERT_EQ(t.width, 512);
  ASSERT_EQ(t.height, 256);
  ASSERT_EQ(t.depth, 32);
  ASSERT_EQ(b.size(), 18u + 512u * 256u * 4u);
  // The swarm reads pixel (i, j) at byte 18 + 4 (512 j + i), j from the
  // bottom; its large pose shows columns 108..402 and rows 16..245, its
  // corner poses rows 52..212.
  int opaque = 0, outside = 0;
  for (int j = 0; j < 256; ++j) {
    for (int i = 0; i < 512; ++i) {
      if (b[18 + 4 * (512 * static_cast<size_t>(j) + i) + 3] > 0) {
        ++opaque;
        if (i < 108 || i > 402 || j < 52 || j > 212) ++outside;
      }
    }
  }
  EXPECT_GT(opaque, 5000);
  EXPECT_EQ(outside, 0);
}

TEST_F(ContentPack, MonsterImagesAre800By600FromByte18AndLightTheScanRows) {
  Bytes alpha = Read("monster_alpha.tga"), colour = Read("monster_color.tga");
  Tga ta = DecodeTga(alpha, "monster_alpha.tga"), tc = DecodeTga(colour, "monster_color.tga");
  EXPECT_EQ(ta.type, 3);
  EXPECT_EQ(ta.depth, 8);
  EXPECT_EQ(tc.type, 2);
  EXPECT_EQ(tc.depth, 24);
  ASSERT_EQ(alpha.size(), 18u + 800u * 600u);
  ASSERT_EQ(colour.size(), 18u + 800u * 600u * 3u);
  // Row 0 is drawn at the bottom; rays come from rows 64..536 at columns
  // 100..700: the creature must be there, and its upper half (the eyes)
  // must glow more than the edge of the picture.
  int lit = 0, lit_upper = 0;
  for (int y = 64; y <= 536; ++y) {
    for (int x = 100; x <= 700; x += 4) {
      if (alpha[18 + static_cast<size_t>(y) * 800 + x] > 0) {
        ++lit;
        if (y > 300) ++lit_upper;
      }
    }
  }
  EXPECT_GT(lit, 10000);
  EXPECT_GT(lit_upper, 2000);
  EXPECT_EQ(alpha[18], 0) << "the corner is background";
}

// ---- voxels and timing -----------------------------------------------------------------------

TEST_F(ContentPack, VoxelGridHoldsAFewThousandCubesAndLeavesTheOriginEmpty) {
  Bytes m = Read("matrix.dat");
  ASSERT_EQ(m.size(), 128u * 128u * 48u);
  size_t filled = static_cast<size_t>(std::count(m.begin(), m.end(), uint8_t{1}));
  EXPECT_GE(filled, 1500u);
  EXPECT_LE(filled, 9000u);
  EXPECT_EQ(m[0], 0) << "voxel (0, 0, 0) has no swirl axis";
  // The model is centred: its filled voxels balance around (64, 64, 24).
  double si = 0, sj = 0, sk = 0;
  for (size_t p = 0; p < m.size(); ++p) {
    if (m[p] == 1) {
      si += static_cast<double>(p / 6144) - 64;
      sj += static_cast<double>(p / 48 % 128) - 64;
      sk += static_cast<double>(p % 48) - 24;
    }
  }
  EXPECT_LT(std::fabs(si / filled), 6);
  EXPECT_LT(std::fabs(sj / filled), 6);
  EXPECT_LT(std::fabs(sk / filled), 3);
}

TEST_F(ContentPack, SyncRecordsAre4232SortedEventsOnTheMusicsGrid) {
  Bytes s = Read("musicsync.dat");
  ASSERT_EQ(s.size(), 4232u * 5u);
  int32_t prev = -1;
  std::map<int, int> per_channel;
  for (size_t r = 0; r < 4232; ++r) {
    int32_t time = static_cast<int32_t>(U32(s, r * 5));
    int channel = s[r * 5 + 4];
    EXPECT_GE(time, prev) << "record " << r;
    prev = time;
    // Sync units are 0.96 per millisecond; a sixteenth (125 ms) is 120.
    EXPECT_EQ(time % 120, 0) << "record " << r;
    EXPECT_LT(time, static_cast<int32_t>(236000 * 0.96));
    if (channel == 0) {
      EXPECT_EQ(time % 480, 0) << "kick off the beat, record " << r;
    }
    ++per_channel[channel];
  }
  EXPECT_GT(per_channel[0], 200) << "kicks";
  EXPECT_GT(per_channel[1], 100) << "snares";
  EXPECT_GE(per_channel.size(), 8u);
}

// ---- music -------------------------------------------------------------------------------------

namespace {

struct Memory {
  const Bytes *data;
  size_t pos = 0;
};

size_t MemRead(void *ptr, size_t size, size_t n, void *src) {
  auto *m = static_cast<Memory *>(src);
  size_t bytes = std::min(size * n, m->data->size() - m->pos);
  std::memcpy(ptr, m->data->data() + m->pos, bytes);
  m->pos += bytes;
  return size ? bytes / size : 0;
}
int MemSeek(void *src, ogg_int64_t off, int whence) {
  auto *m = static_cast<Memory *>(src);
  long long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<long long>(m->pos) : static_cast<long long>(m->data->size());
  long long to = base + off;
  if (to < 0 || to > static_cast<long long>(m->data->size())) return -1;
  m->pos = static_cast<size_t>(to);
  return 0;
}
long MemTell(void *src) { return static_cast<long>(static_cast<Memory *>(src)->pos); }

// Root mean square of one second of the decoded music from `second` on.
double Loudness(OggVorbis_File &vf, double second) {
  EXPECT_EQ(ov_time_seek(&vf, second), 0);
  std::vector<char> buf(44100 * 4);
  size_t got = 0;
  int section = 0;
  while (got < buf.size()) {
    long n = ov_read(&vf, buf.data() + got, static_cast<int>(buf.size() - got), 0, 2, 1, &section);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  double sum = 0;
  size_t samples = got / 2;
  for (size_t i = 0; i < samples; ++i) {
    int16_t v;
    std::memcpy(&v, buf.data() + 2 * i, 2);
    sum += static_cast<double>(v) * v;
  }
  return samples ? std::sqrt(sum / samples) / 32768.0 : 0.0;
}

}  // namespace

TEST_F(ContentPack, MusicIs236SecondsOfStereoVorbisAt44100HzAndPlaysThroughout) {
  Bytes ogg = Read("emberfield.ogg");
  Memory mem{&ogg};
  ov_callbacks cb{MemRead, MemSeek, nullptr, MemTell};
  OggVorbis_File vf;
  ASSERT_EQ(ov_open_callbacks(&mem, &vf, nullptr, 0, cb), 0);
  vorbis_info *vi = ov_info(&vf, -1);
  EXPECT_EQ(vi->channels, 2);
  EXPECT_EQ(vi->rate, 44100);
  EXPECT_EQ(ov_pcm_total(&vf, -1), 236 * 44100);
  // Sound in every scene, silence at the very end.
  for (double s : {4.0, 20.0, 60.0, 84.0, 130.0, 170.0, 200.0}) {
    EXPECT_GT(Loudness(vf, s), 0.02) << "at " << s << " s";
  }
  EXPECT_LT(Loudness(vf, 235.0), 0.005);
  ov_clear(&vf);
}

// ---- meshes ----------------------------------------------------------------------------------

namespace {

struct Mesh {
  std::vector<std::array<int32_t, 3>> faces;
  std::vector<std::array<float, 3>> pos, attr;
};

std::vector<std::array<float, 3>> Vectors(const Bytes &b) {
  std::vector<std::array<float, 3>> v(b.size() / 12);
  for (size_t i = 0; i < v.size(); ++i) v[i] = {F32(b, 12 * i), F32(b, 12 * i + 4), F32(b, 12 * i + 8)};
  return v;
}

}  // namespace

class Meshes : public ContentPack {
protected:
  static Mesh Load(const MeshNames &n) {
    Mesh m;
    Bytes f = Read(n.base + ".face"), v = Read(n.base + ".vertex"), a = Read(n.base + "." + n.third);
    EXPECT_EQ(f.size() % 12, 0u) << n.base;
    EXPECT_EQ(v.size() % 12, 0u) << n.base;
    EXPECT_EQ(a.size(), v.size()) << n.base << ": one attribute per vertex";
    for (size_t i = 0; i + 12 <= f.size(); i += 12)
      m.faces.push_back({static_cast<int32_t>(U32(f, i)), static_cast<int32_t>(U32(f, i + 4)),
                         static_cast<int32_t>(U32(f, i + 8))});
    m.pos = Vectors(v);
    m.attr = Vectors(a);
    return m;
  }
  static std::array<double, 6> Bounds(const Mesh &m) {
    std::array<double, 6> b{1e30, 1e30, 1e30, -1e30, -1e30, -1e30};
    for (const auto &p : m.pos)
      for (int c = 0; c < 3; ++c) {
        b[c] = std::min<double>(b[c], p[c]);
        b[c + 3] = std::max<double>(b[c + 3], p[c]);
      }
    return b;
  }
};

TEST_F(Meshes, IndicesStayInsideTheVerticesAndNormalsAreUnitAndFaceOutwards) {
  for (const MeshNames &n : kMeshes) {
    Mesh m = Load(n);
    ASSERT_FALSE(m.faces.empty()) << n.base;
    for (const auto &f : m.faces)
      for (int32_t c : f) ASSERT_TRUE(c >= 0 && static_cast<size_t>(c) < m.pos.size()) << n.base << " index " << c;
    for (const auto &p : m.pos)
      for (float c : p) ASSERT_TRUE(std::isfinite(c)) << n.base;
    if (n.third != "vertexnormal") continue;
    size_t outwards = 0;
    for (const auto &a : m.attr) {
      double len = std::sqrt(double(a[0]) * a[0] + double(a[1]) * a[1] + double(a[2]) * a[2]);
      ASSERT_NEAR(len, 1.0, 1e-3) << n.base;
    }
    // Counter-clockwise winding seen from outside: the face's own normal
    // agrees with its corners' normals.
    for (const auto &f : m.faces) {
      const auto &a = m.pos[f[0]], &b = m.pos[f[1]], &c = m.pos[f[2]];
      double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      double g[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
      double d = 0;
      for (int32_t k : f)
        for (int i = 0; i < 3; ++i) d += g[i] * m.attr[k][i];
      outwards += d > 0;
    }
    EXPECT_GT(outwards, m.faces.size() * 97 / 100) << n.base;
  }
}

TEST_F(Meshes, SizesAndPlacesSuitTheScenesCameras) {
  // Scene 2 scales the coin by 0.4 in front of a camera 530 away.
  auto coin = Bounds(Load(kMeshes[0]));
  EXPECT_NEAR(coin[3], 400, 20);
  EXPECT_NEAR(coin[0], -400, 20);
  EXPECT_LT(coin[5] - coin[2], 120) << "a coin is flat";
  // Scene 5's camera comes within 200 of the centred deck mesh (view 230
  // high there).
  auto deck = Bounds(Load(kMeshes[1]));
  for (int c = 0; c < 3; ++c) EXPECT_LT(deck[c + 3] - deck[c], 260) << "axis " << c;
  EXPECT_GT(deck[3] - deck[0], 120);
  // Scene 16: the monitor stands on the floor (z = 0) at the tunnel's axis,
  // well inside the rings (radius 960) and below the camera's start (z 90
  // looking at a span of about 800).
  for (int i = 2; i < 5; ++i) {
    auto b = Bounds(Load(kMeshes[i]));
    EXPECT_GE(b[2], -0.01) << kMeshes[i].base;
    EXPECT_LT(b[5], 700) << kMeshes[i].base;
    for (int c = 0; c < 2; ++c) EXPECT_LT(std::max(std::fabs(b[c]), std::fabs(b[c + 3])), 300) << kMeshes[i].base;
  }
}

// ---- layer effects ------------------------------------------------------------------------------

TEST_F(ContentPack, LayerEffectsNameOnlyPackedTexturesThatMayBeClamped) {
  for (const std::string &e : kLayerEffects) {
    for (const Layer &l : ParseEffect(Text(e), e)) {
      EXPECT_TRUE(l.blend >= 0 && l.blend <= 4) << e << ": blend " << l.blend;
      for (size_t k = 1; k < l.keys.size(); ++k) EXPECT_LT(l.keys[k - 1].time, l.keys[k].time) << e << " " << l.name;
      for (const Key &k : l.keys) EXPECT_TRUE(k.mode >= 0 && k.mode <= 2) << e << " " << l.name;
      if (IsSpecial(l.name)) {
        EXPECT_TRUE(l.name == "white.tga" || l.name == "BUF0.JPG") << e << ": " << l.name << " shows nothing here";
        continue;
      }
      EXPECT_GT(SYS_FileSize(l.name.c_str()), 0) << e << " names " << l.name;
      // The loader clamps every texture it loads; the ring bands must repeat.
      EXPECT_EQ(l.name.rfind("line", 0), std::string::npos) << e << " names a ring band";
    }
  }
}

TEST_F(ContentPack, LayerEffectsShowSomethingAtEveryFrameTheScenesDrawThem) {
  // Frames each effect is drawn at (constant poses and the ends and middles
  // of the running ones).
  const std::map<std::string, std::vector<double>> frames = {
      {"loadbar.ife", {9, 500, 981}},        {"vantorlogo.ife", {0, 100, 333}},
      {"hatter.ife", {999}},                  {"hatter2.ife", {0, 500, 999, 1000}},
      {"uveg.ife", {999}},                    {"gombhatter.ife", {160, 600, 999, 999.58}},
      {"gombfadein.ife", {-15000, 0, 998}},   {"fadeout.ife", {250, 500}},
      {"bplogo.ife", {999}},                  {"bplogosmallhatter.ife", {999}},
      {"bplogosmall.ife", {999}},             {"bplogosmalllent.ife", {999}},
      {"monsterflash.ife", {500, 1500}},     {"whiteflash.ife", {0, 8000, 16000, 24000}},
      {"bpscreen.ife", {0, 500, 999.875}},   {"endpart.ife", {0, 500, 999}},
      {"v_blur.ife", {90, 500, 1000}},        {"h_blur.ife", {500, 1000}},
      {"h_blur2.ife", {90}}};
  for (const auto &[file, times] : frames) {
    std::vector<Layer> layers = ParseEffect(Text(file), file);
    for (double t : times) {
      bool any = std::any_of(layers.begin(), layers.end(), [&](const Layer &l) { return Shows(l, t); });
      EXPECT_TRUE(any) << file << " shows nothing at frame " << t;
    }
  }
  // Loading frames are not cleared: the loading bar's first layer is opaque
  // and covers the screen.
  Layer first = ParseEffect(Text("loadbar.ife"), "loadbar.ife").front();
  EXPECT_EQ(first.blend, 0);
  Key k = At(first, 9);
  EXPECT_TRUE(k.w >= 800 && k.h >= 600 && std::fabs(k.x - 400) < 1 && std::fabs(k.y - 300) < 1);
  // Fades are invisible before they start.
  for (const char *f : {"fadeout.ife", "monsterflash.ife"}) {
    for (const Layer &l : ParseEffect(Text(f), f)) EXPECT_FALSE(Shows(l, -100)) << f;
  }
}

TEST_F(ContentPack, EffectsEndWithTheStateLaterDrawsInherit) {
  auto last = [&](const std::string &f) { return ParseEffect(Text(f), f).back(); };
  // Scene 4 draws its pages with the blending "uveg.ife" left last frame.
  EXPECT_TRUE(last("uveg.ife").blend == 0 || last("uveg.ife").blend == 2);
  // Scene 5 draws its mesh with the texturing "gombhatter.ife" left on.
  EXPECT_NE(last("gombhatter.ife").name, "white.tga");
  // Scene 11 draws the monster opaque with its blending; scene 12's cubes
  // take its colour.
  Layer sh = last("bplogosmallhatter.ife");
  EXPECT_TRUE(sh.blend == 0 || sh.blend == 2);
  Key c = At(sh, 999);
  EXPECT_GT(std::min({c.r, c.g, c.b, c.a}), 200);
  // Scene 18 draws its page with the blending of the effect drawn before:
  // alpha blending, so its pictures lie over each other instead of adding
  // up to white.
  for (const char *f : {"bpscreen.ife", "v_blur.ife", "h_blur.ife"}) EXPECT_EQ(last(f).blend, 2) << f;
}

TEST_F(ContentPack, BlursKeepThePicturesBrightnessWhereTheyReplaceIt) {
  // A first blur redraws the captured frame into a cleared square: its
  // copies' weights add up to one. The glow laid over the frame adds less.
  // Layers that put nothing on the screen only leave their state behind.
  auto weight = [&](const std::string &f, double t) {
    double sum = 0;
    for (const Layer &l : ParseEffect(Text(f), f)) {
      if (!Shows(l, t)) continue;
      EXPECT_EQ(l.name, "BUF0.JPG") << f;
      EXPECT_EQ(l.blend, 1) << f;
      sum += At(l, t).r / 255.0;
    }
    return sum;
  };
  EXPECT_NEAR(weight("h_blur.ife", 1000), 1.0, 0.02);
  EXPECT_NEAR(weight("h_blur.ife", 500), 1.0, 0.02);
  EXPECT_NEAR(weight("v_blur.ife", 90), 1.0, 0.02);
  EXPECT_GT(weight("v_blur.ife", 1000), 0.3);
  EXPECT_LT(weight("v_blur.ife", 1000), 1.0);
  EXPECT_GT(weight("h_blur2.ife", 90), 0.9);
}

// ---- dialogs ---------------------------------------------------------------------------------

TEST_F(ContentPack, DialogFilesCarryTheIdsTheirCodeFindsAndTheirFontsAndImages) {
  auto ids = [](const std::string &xml) {
    std::set<int> out;
    std::regex re("\\bID=\"([0-9]+)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator(); ++it)
      out.insert(std::stoi((*it)[1]));
    return out;
  };
  std::string cfg = Text("cfg.xml"), box = Text("msgbox.xml");
  std::set<int> cfg_ids = ids(cfg), box_ids = ids(box);
  for (int id : {23, 101, 102, 103, 104, 110, 111, 112, 115, 116, 117, 1000}) EXPECT_TRUE(cfg_ids.count(id)) << id;
  for (int id : {23, 100}) EXPECT_TRUE(box_ids.count(id)) << id;
  for (const std::string &xml : {cfg, box}) {
    EXPECT_NE(xml.find("<WINDOW"), std::string::npos);
    std::regex file_re("\\b(FONTNAME|SRC|BG)=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), file_re); it != std::sregex_iterator(); ++it) {
      std::string name = (*it)[2];
      EXPECT_GT(SYS_FileSize(name.c_str()), 0) << name;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".tga") DecodeTga(Read(name), name);
    }
  }
}

// ---- the generator ------------------------------------------------------------------------------

TEST(ContentGenerator, GeneratingAgainGivesTheSameBytes) {
  ember_test::TempDir dir;
  fs::path program = ember_test::BinaryDir() / "tools" / "content" / "embercontent";
  ASSERT_TRUE(fs::exists(program)) << program;
  std::string out = dir.str("again.dat");
  ember_test::RunResult r =
      ember_test::Run({program.string(), "--fonts", EMBER_FONT_DIR, "--out", out, "--threads", "3"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(ember_test::ReadBytes(out) == ember_test::ReadBytes(PackPath())) << "the pack differs between runs";
}

// ---- pictures that have to agree with each other and with the scenes ------------------------

TEST_F(ContentPack, ScenesJoinWithoutAJump) {
  // Scene 2 ends with "gombfadein.ife" at frame 998; scene 3 starts with
  // "gombhatter.ife" at frame 160: the same layers in the same pose.
  std::vector<Layer> in = ParseEffect(Text("gombfadein.ife"), "gombfadein.ife");
  std::vector<Layer> bg = ParseEffect(Text("gombhatter.ife"), "gombhatter.ife");
  ASSERT_EQ(in.size(), bg.size());
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(in[i].name, bg[i].name);
    EXPECT_EQ(in[i].blend, bg[i].blend);
    Key a = At(in[i], 998), b = At(bg[i], 160);
    for (auto [x, y] : {std::pair{a.x, b.x}, {a.y, b.y}, {a.w, b.w}, {a.h, b.h}, {a.angle, b.angle}, {a.r, b.r},
                        {a.g, b.g}, {a.b, b.b}})
      EXPECT_NEAR(x, y, 2.0) << in[i].name;
  }
}

TEST_F(ContentPack, LogoEffectsSitWhereTheLogoSwarmStartsAndEnds) {
  // The swarm draws logo pixel (i, j) at offset + (i, j) x size: large pose
  // (-268, -42) x 2.62, top-left corner (-108, 388) x 1 (scenes 9, 13, 10-12),
  // bottom-right corner (402, -52) x 1 (scenes 14, 15).
  auto centre = [&](const char *file) {
    Layer l = ParseEffect(Text(file), file).front();
    EXPECT_EQ(l.name, "bplogo_small.tga") << file;
    Key k = At(l, 999);
    EXPECT_NEAR(k.w, 512, 0.5) << file;
    EXPECT_NEAR(k.h, 256, 0.5) << file;
    return std::pair{k.x, k.y};
  };
  auto tl = centre("bplogosmall.ife"), br = centre("bplogosmalllent.ife");
  EXPECT_NEAR(tl.first, -108 + 256, 0.5);
  EXPECT_NEAR(tl.second, 388 + 128, 0.5);
  EXPECT_NEAR(br.first, 402 + 256, 0.5);
  EXPECT_NEAR(br.second, -52 + 128, 0.5);

  // "bplogobig.tga", shown full screen by "bplogo.ife" just before the swarm
  // starts, holds the small logo at the large pose.
  Bytes small = Read("bplogo_small.tga");
  Tga big = DecodeTga(Read("bplogobig.tga"), "bplogobig.tga");
  int compared = 0, close = 0;
  for (int j = 60; j < 200; j += 7) {
    for (int i = 120; i < 390; i += 7) {
      const uint8_t *p = &small[18 + 4 * (512 * static_cast<size_t>(j) + i)];
      if (p[3] < 255) continue;
      double sx = -268 + 2.62 * (i + 0.5), sy = -42 + 2.62 * (j + 0.5);
      auto c = At(big, sx / 800.0, 1.0 - sy / 600.0);
      ++compared;
      close += std::abs(c[0] - p[0]) + std::abs(c[1] - p[1]) + std::abs(c[2] - p[2]) < 60;
    }
  }
  EXPECT_GT(compared, 100);
  EXPECT_GT(close, compared * 8 / 10);
}

TEST_F(ContentPack, TextPagesFrameTheNextPageWhereTheZoomPutsIt) {
  // Page k + 1 appears inside page k centred 2/9 of the way in from the left
  // and from the bottom, one eighth of the page in size, and is drawn over a
  // dark window with a bright frame; the last page holds a spark there.
  for (int k = 1; k <= 5; ++k) {
    std::string name = "text" + std::to_string(k) + ".tga";
    Tga t = DecodeTga(Read(name), name);
    const double cs = 2.0 / 9.0, ct = 7.0 / 9.0, half = 1.0 / 16.0;
    double centre = Brightness(At(t, cs + half * 0.5, ct + half * 0.5));
    double frame = std::max({Brightness(At(t, cs - half - 0.006, ct)), Brightness(At(t, cs - half - 0.004, ct)),
                             Brightness(At(t, cs - half - 0.008, ct))});
    EXPECT_GT(frame, 90) << name << ": frame of the window";
    if (k < 5) {
      EXPECT_LT(centre, 20) << name << ": the window is dark";
    } else {
      EXPECT_GT(Brightness(At(t, cs, ct)), 150) << name << ": the spark";
    }
  }
}

TEST_F(ContentPack, EnvironmentMapHasItsSkyWhereSphereMappingLooksUp) {
  // Textures keep their first row at t = 0 and sphere mapping looks up at
  // t = 1: the bright sky belongs in the lower half of the picture.
  Tga t = DecodeTga(Read("envmap.tga"), "envmap.tga");
  double upper = 0, lower = 0;
  for (double s = 0.3; s <= 0.7; s += 0.05) {
    upper += Brightness(At(t, s, 0.3));
    lower += Brightness(At(t, s, 0.7));
  }
  EXPECT_GT(lower, upper * 1.5);
}

TEST_F(ContentPack, RingBandsWrapAroundWithoutASeam) {
  for (int b = 1; b <= 7; ++b) {
    std::string name = "line" + std::to_string(b) + ".tga";
    Tga t = DecodeTga(Read(name), name);
    auto column_step = [&](int x0, int x1) {
      double d = 0;
      for (int y = 0; y < t.height; ++y)
        for (int c = 0; c < 3; ++c)
          d += std::abs(t.top_down[static_cast<size_t>(y) * t.width + x0][c] -
                        t.top_down[static_cast<size_t>(y) * t.width + x1][c]);
      return d / t.height;
    };
    double seam = column_step(t.width - 1, 0), inside = 0;
    for (int x = 1; x < t.width; ++x) inside = std::max(inside, column_step(x - 1, x));
    EXPECT_LE(seam, inside + 1.0) << name;
  }
}

// The case fills much of scene 16's frame when the spinning world turns its
// back to the camera: it must not be a black hole in the tunnel.
TEST_F(ContentPack, MonitorCaseSamplesAVisibleColourAndItsScreenTheWholePicture) {
  Tga screen = DecodeTga(Read("demos.tga"), "demos.tga");
  Bytes uvw = Read("0002_tft.uvw");
  double min_u = 1, max_u = 0, min_v = 1, max_v = 0;
  for (size_t i = 0; i + 12 <= uvw.size(); i += 12) {
    double u = F32(uvw, i), v = F32(uvw, i + 4);
    min_u = std::min(min_u, u), max_u = std::max(max_u, u);
    min_v = std::min(min_v, v), max_v = std::max(max_v, v);
    // The demo turns v over at load: t = 1 - v.
    auto c = At(screen, u, 1.0 - v);
    bool picture_corner = (u == 0 || u == 1) && (v == 0 || v == 1);
    if (!picture_corner) {
      EXPECT_GT(Brightness(c), 64) << "u " << u << " v " << v;
    }
  }
  EXPECT_EQ(min_u, 0);
  EXPECT_EQ(max_u, 1);
  EXPECT_EQ(min_v, 0);
  EXPECT_EQ(max_v, 1);
}

// ---- the sync rule --------------------------------------------------------------------------------

TEST(SyncRecords, KeepEveryStruckNoteButThinTheArpeggioToExactly4232) {
  using content::Note;
  std::vector<Note> notes;
  // A chord of three pad notes, 1000 kicks, and 5000 arpeggio notes.
  for (int p : {57, 60, 64}) notes.push_back(Note{0, 16, content::kPad, p, 1.0});
  for (int i = 0; i < 1000; ++i) notes.push_back(Note{4 * i, 1, content::kKick, 0, 1.0});
  for (int i = 0; i < 5000; ++i) notes.push_back(Note{i, 1, content::kArp, 69, 1.0});
  std::vector<content::SyncRecord> r = content::SyncRecords(notes);
  ASSERT_EQ(r.size(), 4232u);
  int pads = 0, kicks = 0, arps = 0, last_arp = -1, widest_gap = 0;
  for (const auto &x : r) {
    pads += x.channel == content::kPad;
    kicks += x.channel == content::kKick;
    if (x.channel == content::kArp) {
      ++arps;
      if (last_arp >= 0) widest_gap = std::max(widest_gap, x.time - last_arp);
      last_arp = x.time;
    }
  }
  EXPECT_EQ(pads, 1) << "a chord is one event";
  EXPECT_EQ(kicks, 1000);
  EXPECT_EQ(arps, 4232 - 1001);
  EXPECT_LE(widest_gap, 2 * 120) << "arpeggio records are thinned evenly";
  EXPECT_TRUE(std::is_sorted(r.begin(), r.end(), [](const auto &a, const auto &b) { return a.time < b.time; }));
}

TEST(SyncRecords, AScoreThatCannotGiveExactly4232RecordsIsRefused) {
  std::vector<content::Note> few;
  for (int i = 0; i < 100; ++i) few.push_back(content::Note{i, 1, content::kKick, 0, 1.0});
  EXPECT_THROW(content::SyncRecords(few), std::logic_error);
  std::vector<content::Note> many;
  for (int i = 0; i < 5000; ++i) many.push_back(content::Note{i, 1, content::kSnare, 0, 1.0});
  EXPECT_THROW(content::SyncRecords(many), std::logic_error);
}
