// The ".ife" reader; see ife_file.h for the format.
//
// Numbers go through std::from_chars, so the reader neither depends on the
// process locale nor throws. Values that a record cannot hold are pinned
// to its range (times to 32 bits, the other key numbers to the largest
// finite float) rather than converted with undefined results.
#include "effects/ife_file.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "framework/base.h"
#include "framework/log.h"

namespace {

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

// A leading "+" is allowed once; from_chars itself only takes "-".
bool DropPlus(std::string_view &text) {
  if (text.empty() || text.front() != '+') return true;
  text.remove_prefix(1);
  return text.empty() || text.front() != '-';
}

int32_t RoundToInt32(double value) {
  const double r = std::round(value);
  if (r <= double(INT32_MIN)) return INT32_MIN;
  if (r >= double(INT32_MAX)) return INT32_MAX;
  return int32_t(r);
}

// The low 8 bits of the rounded value.
uint8_t RoundToByte(double value) {
  // Beyond 2^62 a double is a multiple of 256 anyway: its low byte is 0.
  constexpr double kLimit = 4611686018427387904.0;
  const double r = std::round(value);
  if (r >= kLimit || r <= -kLimit) return 0;
  return uint8_t(uint64_t(int64_t(r)) & 0xFF);
}

float ToFloat(double value) {
  if (value > double(FLT_MAX)) return FLT_MAX;
  if (value < -double(FLT_MAX)) return -FLT_MAX;
  return float(value);
}

// Key numbers: word n of the line, rounded or narrowed.
float KeyFloat(std::string_view line, int32_t n) { return ToFloat(ife_GetFloat(line, n)); }

}  // namespace

void ife_ReadLine(std::string &line, SYS_File_p file, int32_t *lineNumber) {
  char buffer[IFE_LINE_BUFFER];
  for (;;) {
    if (lineNumber) ++*lineNumber;
    buffer[0] = '\0';
    // Past the end a line is empty, whatever the file source leaves behind.
    if (!SYS_FileGets(file, buffer, IFE_LINE_BUFFER)) {
      buffer[0] = '\0';
      break;
    }
    buffer[IFE_LINE_BUFFER - 1] = '\0';
    if (buffer[0] != '#') break;
  }
  // Logged as read: a pack's lines still end in their line feed, a regular
  // file's have lost it.
  SYS_LogStr(buffer);
  std::string_view text = Trim(buffer);
  line.assign(text.substr(0, std::min<size_t>(text.size(), IFE_TEXT_MAX)));
}

void ife_GetWord(std::string &word, std::string_view line, int32_t n) {
  word.clear();
  if (n < 1) return;
  size_t start = 0;
  for (int32_t i = 1; i < n; ++i) {
    const size_t blank = line.find(' ', start);
    if (blank == std::string_view::npos) return;
    start = blank + 1;
  }
  const size_t end = std::min(line.find(' ', start), line.size());
  word.assign(Trim(line.substr(start, end - start)));
}

double ife_GetFloat(std::string_view line, int32_t n) {
  std::string word;
  ife_GetWord(word, line, n);
  std::string_view text = word;
  if (!DropPlus(text) || text.empty()) return 0;
  double value = 0;
  const char *end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || stop != end || !std::isfinite(value)) return 0;
  return value;
}

bool ife_ParseInt(std::string_view text, int32_t &value) {
  if (!DropPlus(text) || text.empty()) return false;
  int32_t parsed = 0;
  const char *end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, parsed, 10);
  if (ec != std::errc() || stop != end) return false;
  value = parsed;
  return true;
}

void ife_ParseKey(std::string_view line, ife_keys &key) {
  key.time = RoundToInt32(ife_GetFloat(line, 1));
  key.x = KeyFloat(line, 2);
  key.y = KeyFloat(line, 3);
  key.mode = RoundToByte(ife_GetFloat(line, 4));
  key.angle = KeyFloat(line, 5);
  key.width = KeyFloat(line, 6);
  key.height = KeyFloat(line, 7);
  key.red = KeyFloat(line, 8);
  key.green = KeyFloat(line, 9);
  key.blue = KeyFloat(line, 10);
  key.alpha = KeyFloat(line, 11);
}

namespace {

// Releases what a failed read allocated: the layer array and the key
// arrays in it (those not yet read are still NULL).
void FreeLayers(ife_layer *&layers, int32_t count) {
  if (!layers) return;
  for (int32_t i = 0; i < count; ++i) pasMemFree(&layers[i].keys);
  pasMemFree(&layers);
}

class Reader {
public:
  Reader(SYS_File_p file, ife_ParseError &error) : file_(file), error_(error) {}

  const std::string &Next() {
    ife_ReadLine(line_, file_, &number_);
    return line_;
  }

  // The next line as a strict integer within [low, high].
  bool Integer(const char *what, int32_t low, int32_t high, int32_t &value) {
    Next();
    if (!ife_ParseInt(line_, value)) return Fail(std::string(what) + " is not a decimal integer");
    if (value < low || value > high)
      return Fail(std::string(what) + " " + std::to_string(value) + " is outside " +
                  std::to_string(low) + " to " + std::to_string(high));
    return true;
  }

  bool Fail(std::string message) {
    error_.line = number_;
    error_.message = std::move(message);
    return false;
  }

private:
  SYS_File_p file_;
  ife_ParseError &error_;
  std::string line_;
  int32_t number_ = 0;
};

void CopyText(char (&dest)[IFE_TEXT_MAX + 1], const std::string &text) {
  const size_t n = std::min<size_t>(text.size(), IFE_TEXT_MAX);
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace

int32_t ife_ReadInterface(SYS_File_p file, ife_interface &iface, ife_LayerHook hook, void *user,
                          ife_ParseError &error) {
  iface = {};
  error = {};
  Reader in(file, error);

  int32_t layerCount = 0, header2 = 0;
  if (!in.Integer("layer count", 0, IFE_MAX_LAYERS, layerCount)) return -1;
  if (!in.Integer("second header value", INT32_MIN, INT32_MAX, header2)) return -1;

  ife_layer *layers = nullptr;
  if (layerCount > 0) {
    layers = static_cast<ife_layer *>(pasMemGet(sizeof(ife_layer) * size_t(layerCount), "Interface layers"));
    if (!layers) {
      in.Fail("no memory for the layers");
      return -1;
    }
  }

  for (int32_t i = 0; i < layerCount; ++i) {
    ife_layer &layer = layers[i];
    CopyText(layer.name, in.Next());
    CopyText(layer.line2, in.Next());
    if (hook) hook(layer, user);
    CopyText(layer.line3, in.Next());

    int32_t keyCount = 0, blend = 0;
    if (!in.Integer("key count", 1, IFE_MAX_KEYS, keyCount) ||
        !in.Integer("blend mode", INT32_MIN, INT32_MAX, blend)) {
      FreeLayers(layers, layerCount);
      return -1;
    }
    layer.keycount = keyCount;
    layer.blend = uint8_t(uint32_t(blend) & 0xFF);
    layer.keys = static_cast<ife_keys *>(
        pasMemGet(sizeof(ife_keys) * size_t(keyCount), "Animation keys for interface"));
    if (!layer.keys) {
      in.Fail("no memory for the keys");
      FreeLayers(layers, layerCount);
      return -1;
    }
    for (int32_t k = 0; k < keyCount; ++k) ife_ParseKey(in.Next(), layer.keys[k]);
  }

  iface.layercount = layerCount;
  iface.header2 = header2;
  iface.layers = layers;
  return 0;
}
