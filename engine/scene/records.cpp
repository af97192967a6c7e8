// Element sizes, counted strings and the engine's allocation entry points.
#include "engine/scene/records.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/log.h"

int32_t _3DV_TypeSize[_3DV_TYPE_COUNT];

void _3DV_SHORTSTRING::assign(std::string_view s) {
  length = static_cast<uint8_t>(std::min<size_t>(s.size(), sizeof(text)));
  std::memcpy(text, s.data(), length);
}

void _3DV_InitTypeSizes() {
  static constexpr int32_t sizes[_3DV_TYPE_COUNT] = {
      1,    // no element
      1,    // Byte
      2,    // Word
      4,    // LongInt
      4,    // Single
      8,    // texture coordinate
      12,   // vector, colour or fog parameters
      16,   // colour with alpha
      256,  // counted string
      12,   // face
      16,   // vector key
      20,   // quaternion key
      64,   // matrix
      1,    // Boolean
  };
  std::copy(std::begin(sizes), std::end(sizes), _3DV_TypeSize);
}

void *_3DV_MemGet(int32_t size, std::string_view description) {
  // calloc(0) may answer null; one byte keeps "null means failure" true.
  void *block = size >= 0 ? std::calloc(std::max<int32_t>(size, 1), 1) : nullptr;
  if (!block) {
    // Nothing above the engine expects a null block; going on would only
    // move the crash away from its cause.
    std::fprintf(stderr, "3DV: cannot allocate %d bytes (%.*s)\n", size,
                 static_cast<int>(description.size()), description.data());
    SYS_Log(1, "3DV: cannot allocate %d bytes (%.*s)\n", size,
            static_cast<int>(description.size()), description.data());
    std::exit(1);
  }
  return block;
}

void _3DV_MemFree(void *block) { std::free(block); }
