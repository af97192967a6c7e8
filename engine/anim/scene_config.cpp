// Scene text configuration: the key tables, the number forms, the reader
// and the writer.
#include "engine/anim/scene_config.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>

#include "engine/anim/text_file.h"
#include "engine/render/engine_state.h"
#include "engine/scene/scene_reader.h"
#include "window/wm.h"

namespace {

// Longest line the reader keeps, and longest string a field holds.
constexpr size_t kMaxLine = 255;

enum class Kind { Single, Vector, Rgb, Boolean, LongInt, Byte, String };

// One configuration key: its name, how its value reads and writes, and
// the field it sets. The tables below are in the order the writer uses.
template <typename Record>
struct ConfigKey {
  std::string_view key;
  Kind kind;
  void *(*field)(Record &);
};

#define CONFIG_KEY(Record, key, kind, member) \
  ConfigKey<Record> { key, Kind::kind, [](Record &r) -> void * { return &r.member; } }

const ConfigKey<_3DV_MATERIAL> kMaterialKeys[] = {
    CONFIG_KEY(_3DV_MATERIAL, "texturename", String, texturename),
    CONFIG_KEY(_3DV_MATERIAL, "transparency", Single, transparency),
    CONFIG_KEY(_3DV_MATERIAL, "utile", Single, utile),
    CONFIG_KEY(_3DV_MATERIAL, "vtile", Single, vtile),
    CONFIG_KEY(_3DV_MATERIAL, "textured", Boolean, textured),
    CONFIG_KEY(_3DV_MATERIAL, "ambient", Rgb, ambient),
    CONFIG_KEY(_3DV_MATERIAL, "diffuse", Rgb, diffuse),
    CONFIG_KEY(_3DV_MATERIAL, "specular", Rgb, specular),
    CONFIG_KEY(_3DV_MATERIAL, "shine", LongInt, shine),
    CONFIG_KEY(_3DV_MATERIAL, "envmap", Boolean, envmap),
    CONFIG_KEY(_3DV_MATERIAL, "envmaptexture", String, envmaptexture),
    CONFIG_KEY(_3DV_MATERIAL, "magtype", LongInt, magtype),
    CONFIG_KEY(_3DV_MATERIAL, "receivelight", Boolean, receivelight),
    CONFIG_KEY(_3DV_MATERIAL, "depthtest", Byte, depthtest),
    CONFIG_KEY(_3DV_MATERIAL, "alphatest", Single, alphatest),
    CONFIG_KEY(_3DV_MATERIAL, "texturewrap", Byte, texturewrap),
    CONFIG_KEY(_3DV_MATERIAL, "constantalpha", Single, constantalpha),
    CONFIG_KEY(_3DV_MATERIAL, "flaresize", Single, flaresize),
    // Read into the field; written from bpp and transparency.
    CONFIG_KEY(_3DV_MATERIAL, "blend", Byte, blend),
};

// The object keys up to the passno line, which the writer derives; then
// passno and backfacecull.
const ConfigKey<_3DV_OBJECT> kObjectKeys[] = {
    CONFIG_KEY(_3DV_OBJECT, "material", LongInt, material),
    CONFIG_KEY(_3DV_OBJECT, "rendermode", Byte, rendermode),
    CONFIG_KEY(_3DV_OBJECT, "visible", Boolean, visible),
    CONFIG_KEY(_3DV_OBJECT, "particleenabled", Boolean, particledata.particleenabled),
    CONFIG_KEY(_3DV_OBJECT, "deltavector", Vector, particledata.deltavector),
    CONFIG_KEY(_3DV_OBJECT, "deltavectorspread", Vector, particledata.deltavectorspread),
    CONFIG_KEY(_3DV_OBJECT, "color", Rgb, particledata.color),
    CONFIG_KEY(_3DV_OBJECT, "colorspread", Rgb, particledata.colorspread),
    CONFIG_KEY(_3DV_OBJECT, "colorattrib", Byte, particledata.colorattrib),
    CONFIG_KEY(_3DV_OBJECT, "power", Single, particledata.power),
    CONFIG_KEY(_3DV_OBJECT, "deltapower", Single, particledata.deltapower),
    CONFIG_KEY(_3DV_OBJECT, "newparticle", LongInt, particledata.newparticle),
    CONFIG_KEY(_3DV_OBJECT, "particletexture", String, particledata.particletexture),
    CONFIG_KEY(_3DV_OBJECT, "size", Single, particledata.size),
    CONFIG_KEY(_3DV_OBJECT, "passno", LongInt, passno),
    CONFIG_KEY(_3DV_OBJECT, "backfacecull", Boolean, backfacecull),
};
constexpr size_t kObjectKeysBeforePass = 14;

const ConfigKey<_3DV_LIGHT> kLightKeys[] = {
    CONFIG_KEY(_3DV_LIGHT, "enabled", Boolean, enabled),
    CONFIG_KEY(_3DV_LIGHT, "pos", Vector, pos),
    CONFIG_KEY(_3DV_LIGHT, "ambient", Rgb, ambient),
    CONFIG_KEY(_3DV_LIGHT, "diffuse", Rgb, diffuse),
    CONFIG_KEY(_3DV_LIGHT, "specular", Rgb, specular),
};

#undef CONFIG_KEY

// The lines between the camera and the first material.
constexpr std::string_view kMaterialHeader[] = {
    "#",
    "# Material Info",
    "# ",
    "#                  Texture min/mag filters:",
    "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)",
    "# ",
    "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A",
    "# Alphatest : 0 -N/A ; 0..1 -alpha testing value",
    "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA",
    "# ",
};

// The comment after a passno line, by pass.
constexpr std::string_view kPassComment[] = {
    "#standard texture :",
    "#transparent material :",
    "#alpha channel texture :",
};

// ---- numbers ---------------------------------------------------------

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Blanks, a sign, a base prefix, digits; nothing after them. Magnitudes
// beyond 32 bits are reported as just beyond.
std::optional<int64_t> ReadInteger(std::string_view s) {
  s = SkipBlanks(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.starts_with("0x")) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && (s.front() == '$' || s.front() == 'x')) {
    base = 16;
    s.remove_prefix(1);
  } else if (!s.empty() && s.front() == '%') {
    base = 2;
    s.remove_prefix(1);
  } else if (!s.empty() && s.front() == '&') {
    base = 8;
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  constexpr int64_t kBeyond = int64_t{1} << 33;
  int64_t magnitude = 0;
  for (char c : s) {
    const int d = DigitValue(c);
    if (d >= base) return std::nullopt;
    magnitude = std::min(magnitude * base + d, kBeyond);
  }
  return negative ? -magnitude : magnitude;
}

std::optional<int32_t> ToLongInt(std::optional<int64_t> v) {
  if (!v || *v < std::numeric_limits<int32_t>::min() || *v > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return int32_t(*v);
}

// A material Byte: a negative value is 0, a larger one keeps its low 8 bits.
uint8_t MaterialByte(std::string_view s) {
  const auto v = ReadInteger(s);
  if (!v || *v < 0 || *v > std::numeric_limits<uint32_t>::max()) return 0;
  return uint8_t(*v & 0xFF);
}

// Blanks, a sign, digits with an optional point and fraction, an optional
// exponent; anything else, or a value no float holds, is 0.
float ReadSingle(std::string_view s) {
  s = SkipBlanks(s);
  std::string_view number = s;
  if (!s.empty() && s.front() == '+') number = s = s.substr(1);
  else if (!s.empty() && s.front() == '-') s.remove_prefix(1);
  size_t i = 0, digits = 0;
  auto run = [&] {
    size_t n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++n;
    return n;
  };
  digits += run();
  if (i < s.size() && s[i] == '.') {
    ++i;
    digits += run();
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (run() == 0) return 0;
  }
  if (i != s.size()) return 0;
  // from_chars takes no plus sign in front, which was dropped above.
  double value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size()) return 0;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) return 0;
  return float(value);
}

std::string VectorText(float a, float b, float c) {
  return _3DV_FixedText(a) + "," + _3DV_FixedText(b) + "," + _3DV_FixedText(c);
}

// ---- applying and writing fields -------------------------------------

// Sets the field from the value. Integers of a strict section that cannot
// be read leave the field alone and answer false.
bool Apply(Kind kind, void *field, std::string_view value, bool strict) {
  switch (kind) {
    case Kind::Single:
      *static_cast<float *>(field) = ReadSingle(value);
      return true;
    case Kind::Vector:
      *static_cast<_3DV_VECTOR *>(field) = {ReadSingle(_3DV_CfgFirst(value)),
                                            ReadSingle(_3DV_CfgSecond(value)),
                                            ReadSingle(_3DV_CfgThird(value))};
      return true;
    case Kind::Rgb:
      *static_cast<_3DV_RGB *>(field) = {ReadSingle(_3DV_CfgFirst(value)),
                                         ReadSingle(_3DV_CfgSecond(value)),
                                         ReadSingle(_3DV_CfgThird(value))};
      return true;
    case Kind::Boolean:
      *static_cast<_3DV_BOOLEAN *>(field) = value == "1" ? 1 : 0;
      return true;
    case Kind::LongInt: {
      const auto v = ToLongInt(ReadInteger(value));
      if (!v && strict) return false;
      *static_cast<int32_t *>(field) = v.value_or(0);
      return true;
    }
    case Kind::Byte: {
      if (!strict) {
        *static_cast<uint8_t *>(field) = MaterialByte(value);
        return true;
      }
      const auto v = ToLongInt(ReadInteger(value));
      if (!v) return false;
      *static_cast<uint8_t *>(field) = uint8_t(uint32_t(*v) & 0xFF);
      return true;
    }
    case Kind::String:
      static_cast<_3DV_SHORTSTRING *>(field)->assign(value);
      return true;
  }
  return true;
}

std::string FieldText(Kind kind, const void *field) {
  switch (kind) {
    case Kind::Single:
      return _3DV_FixedText(*static_cast<const float *>(field));
    case Kind::Vector: {
      const auto &v = *static_cast<const _3DV_VECTOR *>(field);
      return VectorText(v.x, v.y, v.z);
    }
    case Kind::Rgb: {
      const auto &c = *static_cast<const _3DV_RGB *>(field);
      return VectorText(c.r, c.g, c.b);
    }
    // Any byte but 0 is true, and only "1" reads back as true.
    case Kind::Boolean:
      return *static_cast<const _3DV_BOOLEAN *>(field) ? "1" : "0";
    case Kind::LongInt:
      return std::to_string(*static_cast<const int32_t *>(field));
    case Kind::Byte:
      return std::to_string(unsigned(*static_cast<const uint8_t *>(field)));
    case Kind::String:
      return std::string(static_cast<const _3DV_SHORTSTRING *>(field)->view());
  }
  return {};
}

template <typename Record>
const ConfigKey<Record> *FindKey(std::span<const ConfigKey<Record>> keys, std::string_view key) {
  for (const auto &k : keys) {
    if (k.key == key) return &k;
  }
  return nullptr;
}

template <typename Record>
std::string KeyLine(std::string_view section, std::string_view name, const ConfigKey<Record> &k,
                    const Record &record) {
  return std::string(section) + "(" + std::string(name) + ")." + std::string(k.key) + "=" +
         FieldText(k.kind, k.field(const_cast<Record &>(record))) + "\n";
}

// The pass a material's objects go in, where its bpp says one.
std::optional<int32_t> PassOf(const _3DV_MATERIAL &m) {
  if (m.bpp == 24 && m.transparency == 0) return 0;
  if (m.bpp == 24 && m.transparency > 0) return 1;
  if (m.bpp == 32) return 2;
  return std::nullopt;
}

std::string_view Before(std::string_view s, size_t end) {
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end);
}

// The text between the first `open` and the first `close`; empty when
// either is missing or close comes first.
std::string Between(std::string_view s, char open, char close) {
  const size_t a = s.find(open), b = s.find(close);
  if (a == std::string_view::npos || b == std::string_view::npos || b <= a) return {};
  return std::string(s.substr(a + 1, b - a - 1));
}

template <typename Record>
int32_t FindByName(const Record *entries, int32_t count, std::string_view name) {
  int32_t found = 0;
  for (int32_t i = 0; entries && i < count; ++i) {
    if (entries[i].name.view() == name) found = i;
  }
  return found;
}

}  // namespace

// ---- splitters -------------------------------------------------------

std::string _3DV_CfgKeyHead(std::string_view line) {
  return std::string(line.substr(0, line.find_first_of("=(.")));
}

std::string _3DV_CfgAfterParen(std::string_view line) { return Between(line, '(', ')'); }

std::string _3DV_CfgAfterDot(std::string_view line) { return Between(line, '.', '='); }

std::string _3DV_CfgValue(std::string_view line) {
  const size_t eq = line.find('=');
  return std::string(eq == std::string_view::npos ? line : line.substr(eq + 1));
}

std::string _3DV_CfgFirst(std::string_view value) { return std::string(Before(value, value.find(','))); }

std::string _3DV_CfgSecond(std::string_view value) {
  const size_t first = value.find(',');
  if (first == std::string_view::npos) return {};
  const std::string_view rest = value.substr(first + 1);
  return std::string(rest.substr(0, rest.find(',')));
}

std::string _3DV_CfgThird(std::string_view value) {
  const size_t first = value.find(',');
  if (first == std::string_view::npos) return {};
  const size_t second = value.find(',', first + 1);
  if (second == std::string_view::npos) return {};
  return std::string(value.substr(second + 1));
}

// ---- lookups and section lines ---------------------------------------

int32_t _3DV_FindMaterialByName(const _3DV_SCENE &scene, std::string_view name) {
  return FindByName(scene.materials, scene.materialcount, name);
}

int32_t _3DV_FindObjectByName(const _3DV_SCENE &scene, std::string_view name) {
  return FindByName(scene.objects, scene.objectcount, name);
}

int32_t _3DV_FindLightByName(const _3DV_SCENE &scene, std::string_view name) {
  return FindByName(scene.lights, _3DV_LIGHT_COUNT, name);
}

void _3DV_ConfigMaterialKey(std::string_view key, std::string_view value, std::string_view name,
                            _3DV_SCENE &scene) {
  // Entry 0 of a scene without materials does not exist.
  if (scene.materialcount <= 0 || !scene.materials) return;
  const auto *k = FindKey<_3DV_MATERIAL>(kMaterialKeys, key);
  if (!k) return;
  _3DV_MATERIAL &m = scene.materials[_3DV_FindMaterialByName(scene, name)];
  Apply(k->kind, k->field(m), value, false);
}

bool _3DV_ConfigObjectKey(std::string_view key, std::string_view value, std::string_view name,
                          _3DV_SCENE &scene) {
  if (scene.objectcount <= 0 || !scene.objects) return true;
  const auto *k = FindKey<_3DV_OBJECT>(kObjectKeys, key);
  if (!k) return true;
  _3DV_OBJECT &o = scene.objects[_3DV_FindObjectByName(scene, name)];
  if (key == "material") {
    const auto index = ToLongInt(ReadInteger(value));
    if (!index) return false;
    // The renderers index the materials with it unchecked.
    if (*index < 0 || *index >= scene.materialcount) {
      _3DV_Log("[3dv] config: object(" + std::string(name) + ").material=" + std::to_string(*index) +
               " is not a material of the scene; ignored");
      return true;
    }
    o.material = *index;
    return true;
  }
  return Apply(k->kind, k->field(o), value, true);
}

void _3DV_ConfigLightKey(std::string_view key, std::string_view value, std::string_view name,
                         _3DV_SCENE &scene) {
  const auto *k = FindKey<_3DV_LIGHT>(kLightKeys, key);
  if (!k) return;
  Apply(k->kind, k->field(scene.lights[_3DV_FindLightByName(scene, name)]), value, false);
}

// ---- reading ---------------------------------------------------------

namespace {

// One line, already cut to kMaxLine characters; number counts from 1.
void ConfigLine(_3DV_SCENE &scene, std::string_view line, size_t number, std::string &error) {
  if (line.starts_with('#')) return;
  const std::string head = _3DV_CfgKeyHead(line);
  const std::string value = _3DV_CfgValue(line);
  if (head == "camerafov") scene.camerafov = ReadSingle(value);
  else if (head == "cameranear") scene.cameranear = ReadSingle(value);
  else if (head == "camerafar") scene.camerafar = ReadSingle(value);
  else if (head == "material")
    _3DV_ConfigMaterialKey(_3DV_CfgAfterDot(line), value, _3DV_CfgAfterParen(line), scene);
  else if (head == "light")
    _3DV_ConfigLightKey(_3DV_CfgAfterDot(line), value, _3DV_CfgAfterParen(line), scene);
  else if (head == "object" &&
           !_3DV_ConfigObjectKey(_3DV_CfgAfterDot(line), value, _3DV_CfgAfterParen(line), scene))
    error = "line " + std::to_string(number) + ": \"" + std::string(line) +
            "\" does not hold a whole number";
}

void ConfigPassCount(_3DV_SCENE &scene) {
  scene.passcount = 0;
  for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i)
    scene.passcount = std::max(scene.passcount, scene.objects[i].passno);
}

}  // namespace

bool _3DV_ParseConfig(_3DV_SCENE &scene, std::string_view text, std::string &error) {
  error.clear();
  size_t number = 0;
  while (!text.empty() && error.empty()) {
    const size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) text = {};
    else text.remove_prefix(end + (text.substr(end).starts_with("\r\n") ? 2 : 1));
    ConfigLine(scene, line.substr(0, kMaxLine), ++number, error);
  }
  ConfigPassCount(scene);
  return error.empty();
}

void _3DV_LoadConfig(_3DV_SCENE &scene, std::string_view filename) {
  const std::string name(filename);
  std::FILE *file = std::fopen(name.c_str(), "rb");
  if (!file) {
    _3DV_LoadLog("Config file (" + name + ") not found.");
    wmFatal("Config file " + name + " cannot be opened.");
  }
  // Read through stdio, whose error flag also catches a folder given as
  // the file: a stream iterator would see an empty file there. Lines are
  // taken as they come, each kept to the characters a line holds, so a
  // file costs the memory of one line whatever its size. They end as
  // _3DV_ParseConfig's do: at "\r\n", "\r" or "\n".
  std::string error, line;
  size_t number = 0;
  bool open = false, afterCr = false;
  char buffer[4096];
  size_t got;
  while (error.empty() && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    for (size_t i = 0; i < got && error.empty(); ++i) {
      const char c = buffer[i];
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        ConfigLine(scene, line, ++number, error);
        line.clear();
        open = false;
        continue;
      }
      open = true;
      if (line.size() < kMaxLine) line += c;
    }
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) wmFatal("Config file " + name + " cannot be read.");
  if (open && error.empty()) ConfigLine(scene, line, ++number, error);
  ConfigPassCount(scene);
  if (!error.empty()) wmFatal("Config file " + name + ", " + error);
}

// ---- writing ---------------------------------------------------------

std::string _3DV_ConfigText(const _3DV_SCENE &scene) {
  std::string out = "# 3DVell config file\n#\n";
  out += "camerafov=" + _3DV_FixedText(scene.camerafov) + "\n";
  out += "cameranear=" + _3DV_FixedText(scene.cameranear) + "\n";
  out += "camerafar=" + _3DV_FixedText(scene.camerafar) + "\n";
  for (std::string_view line : kMaterialHeader) (out += line) += '\n';

  for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
    const _3DV_MATERIAL &m = scene.materials[i];
    for (const auto &k : std::span(kMaterialKeys).first(std::size(kMaterialKeys) - 1))
      out += KeyLine("material", m.name.view(), k, m);
    if (const auto blend = PassOf(m))
      out += "material(" + std::string(m.name.view()) + ").blend=" + std::to_string(*blend) + "\n";
    out += "#\n";
  }

  out += "# Object Info\n";
  for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
    const _3DV_OBJECT &o = scene.objects[i];
    const std::string name(o.name.view());
    for (const auto &k : std::span(kObjectKeys).first(kObjectKeysBeforePass))
      out += KeyLine("object", name, k, o);
    // An object whose material index is not a material has no pass to say.
    const bool has_material = scene.materials && o.material >= 0 && o.material < scene.materialcount;
    if (has_material) {
      const _3DV_MATERIAL &m = scene.materials[o.material];
      if (const auto pass = PassOf(m)) {
        out += "object(" + name + ").passno=" + std::to_string(*pass) + "\n";
        out += std::string(kPassComment[*pass]) + std::string(m.texturename.view()) + "\n";
      }
    }
    out += KeyLine("object", name, kObjectKeys[std::size(kObjectKeys) - 1], o);
    out += "#\n";
  }

  out += "# Light Info\n";
  for (const _3DV_LIGHT &light : scene.lights) {
    for (const auto &k : kLightKeys) out += KeyLine("light", light.name.view(), k, light);
    out += "#\n";
  }
  return out;
}

void _3DV_SaveConfig(const _3DV_SCENE &scene, std::string_view filename) {
  _3DV_TextFile file("Config file", filename);
  file.Write(_3DV_ConfigText(scene));
  file.Close();
}
