// See spare_arrays.h.
#include "demo/spare_arrays.h"

#include <utility>

namespace {

thread_local std::vector<std::vector<float>> spareArrays;

}  // namespace

std::vector<float> TakeSpareArray() {
  if (spareArrays.empty()) return {};
  std::vector<float> v = std::move(spareArrays.back());
  spareArrays.pop_back();
  return v;
}

void GiveBackArray(std::vector<float> &v) {
  v.clear();
  if (v.capacity() != 0) spareArrays.push_back(std::move(v));
}
