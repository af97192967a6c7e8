// Project files built in memory for the tests, laid out as the loader
// reads them (little-endian images of the records).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ember_test {

struct TestKey {
  int32_t start, end;
  uint8_t mode;
  int32_t startValue, middleValue, endValue;
};

struct TestOperator {
  int32_t type = 0, index = 0;
  std::vector<std::pair<int, uint8_t>> bytes;  // (record offset 8..39, value)
  std::vector<TestKey> keys;
};

inline void PutInt(std::vector<uint8_t> &out, int32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out.insert(out.end(), b, b + 4);
}

inline void PutName(std::vector<uint8_t> &out, const std::string &s) {
  std::vector<uint8_t> image(256, 0);
  image[0] = uint8_t(s.size());
  std::memcpy(image.data() + 1, s.data(), s.size());
  out.insert(out.end(), image.begin(), image.end());
}

inline std::vector<uint8_t> ProjectBytes(const std::vector<std::string> &scenes,
                                         const std::vector<std::string> &layers,
                                         const std::vector<TestOperator> &ops) {
  std::vector<uint8_t> out;
  PutName(out, "test");
  for (int i = 0; i < 4; ++i) PutInt(out, 0);
  PutInt(out, int32_t(scenes.size()));
  PutInt(out, int32_t(layers.size()));
  PutInt(out, int32_t(ops.size()));
  for (const auto &s : scenes) PutName(out, s);
  for (const auto &s : layers) PutName(out, s);
  for (const auto &op : ops) {
    PutInt(out, op.type);
    PutInt(out, op.index);
    uint8_t params[32] = {};
    for (auto [offset, value] : op.bytes) params[offset - 8] = value;
    out.insert(out.end(), params, params + 32);
    PutInt(out, 0x7eadbeef);  // key reference: ignored
    PutInt(out, int32_t(op.keys.size()));
    PutName(out, "op");
  }
  for (const auto &op : ops) {
    for (const TestKey &k : op.keys) {
      PutInt(out, k.start);
      PutInt(out, k.end);
      out.push_back(k.mode);
      out.insert(out.end(), {0, 0, 0});
      PutInt(out, k.startValue);
      PutInt(out, k.middleValue);
      PutInt(out, k.endValue);
    }
  }
  return out;
}

}  // namespace ember_test
