// Scene files: parsing a 50 MB scene (chunks, checks and the derived data:
// normals, centres, tangents, shadow arrays) next to only reading the same
// file into memory, the floor any reader sits on; writing it, in memory and
// to a file; the neighbour search, which compares every pair of faces, at
// 1k to 8k faces; and a file of thousands of repeated object counts, each
// making a fresh array of 8001 bare records, which must cost what zeroing
// those records costs and no walk of every record before. All report bytes,
// faces or chunks per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_writer.h"

namespace {

// A grid of side x side vertices, two triangles per cell, with every array
// a file carries (neighbours included, so the search does not run on load).
struct Grid {
  std::vector<_3DV_VECTOR> vertices, normals;
  std::vector<_3DV_TEXTCOORD> uvs;
  std::vector<_3DV_FACE> faces, neighbours;
  _3DV_OBJECT object{};

  explicit Grid(int32_t side) {
    for (int32_t y = 0; y < side; ++y) {
      for (int32_t x = 0; x < side; ++x) {
        vertices.push_back({float(x), float(y), float((x * 7 + y * 3) % 5)});
        normals.push_back({0, 0, 1});
        uvs.push_back({x / float(side), y / float(side)});
      }
    }
    for (int32_t y = 0; y + 1 < side; ++y) {
      for (int32_t x = 0; x + 1 < side; ++x) {
        const int32_t a = y * side + x, b = a + 1, c = a + side, d = c + 1;
        faces.push_back({{a, b, c}});
        faces.push_back({{c, b, d}});
      }
    }
    object.vertexcount = int32_t(vertices.size());
    object.facecount = int32_t(faces.size());
    object.vertices = vertices.data();
    object.normals = normals.data();
    object.uvs = uvs.data();
    object.hasuv = object.hasnormals = 1;
    object.faces = object.origfaces = faces.data();
    neighbours.resize(faces.size());
    object.neighbours = neighbours.data();
    for (_3DV_FACE &n : neighbours) n = {{-1, -1, -1}};
  }
};

struct BigScene {
  std::vector<Grid> grids;
  std::vector<_3DV_OBJECT> objects;
  _3DV_MATERIAL material{};
  _3DV_SCENE scene{};
  std::vector<uint8_t> bytes;
  std::string path;

  BigScene() {
    _3DV_InitTypeSizes();
    _3DV_LoaderUnitInit();
    for (int i = 0; i < 4; ++i) grids.emplace_back(350);  // 12.7 MB each
    for (Grid &g : grids) objects.push_back(g.object);
    scene.materialcount = 1;
    scene.materials = &material;
    scene.objectcount = int32_t(objects.size());
    scene.objects = objects.data();
    std::string error;
    if (!_3DV_WriteSceneBytes(scene, bytes, error)) std::fprintf(stderr, "%s\n", error.c_str());
    path = "/tmp/scene_bench_" + std::to_string(getpid()) + ".3dv";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                 std::streamsize(bytes.size()));
  }
  ~BigScene() { std::remove(path.c_str()); }
};

BigScene &Big() {
  static BigScene big;
  return big;
}

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void ReadBytesOnly(benchmark::State &state) {
  BigScene &big = Big();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = ReadAll(big.path);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.bytes.size()));
}
BENCHMARK(ReadBytesOnly)->Unit(benchmark::kMillisecond);

void ReadAndParse(benchmark::State &state) {
  BigScene &big = Big();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = ReadAll(big.path);
    _3DV_SCENE scene{};
    std::string error;
    if (!_3DV_ParseScene(scene, bytes.data(), bytes.size(), error)) state.SkipWithError(error.c_str());
    _3DV_FreeSceneArrays(scene);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.bytes.size()));
}
BENCHMARK(ReadAndParse)->Unit(benchmark::kMillisecond);

void WriteToMemory(benchmark::State &state) {
  BigScene &big = Big();
  for (auto _ : state) {
    std::vector<uint8_t> out;
    std::string error;
    _3DV_WriteSceneBytes(big.scene, out, error);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.bytes.size()));
}
BENCHMARK(WriteToMemory)->Unit(benchmark::kMillisecond);

void SaveToFile(benchmark::State &state) {
  BigScene &big = Big();
  const std::string path = big.path + ".out";
  for (auto _ : state) _3DV_SaveScene(big.scene, path);
  std::remove(path.c_str());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.bytes.size()));
}
BENCHMARK(SaveToFile)->Unit(benchmark::kMillisecond);

// One chunk of the scene file: its head (type, id, count, size, packed,
// index), then its bytes.
void PutChunk(std::vector<uint8_t> &out, uint8_t type, uint8_t id, int32_t count, const void *data, int32_t size,
              int32_t index = 0) {
  out.insert(out.end(), {'Z', '!', type, id});
  for (int32_t v : {count, size, int32_t{0}, index})
    for (int s = 0; s < 32; s += 8) out.push_back(uint8_t(uint32_t(v) >> s));
  const auto *bytes = static_cast<const uint8_t *>(data);
  out.insert(out.end(), bytes, bytes + size);
}

void RepeatedObjectCounts(benchmark::State &state) {
  constexpr uint8_t kLong = 3, kVec = 6;
  const int32_t objects = 8001, quad = 4;
  const std::vector<_3DV_VECTOR> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  std::vector<uint8_t> file;
  auto count = [&](int32_t n) { PutChunk(file, kLong, 6, 1, &n, 4); };
  // The vertices of the array's last object.
  auto array = [&] {
    PutChunk(file, kVec, 51, quad, vertices.data(), int32_t(quad * sizeof(_3DV_VECTOR)), objects - 1);
  };
  count(objects);
  array();
  for (int64_t k = 0; k < state.range(0); ++k) count(objects);
  array();
  count(1);
  for (auto _ : state) {
    _3DV_SCENE scene{};
    std::string error;
    if (!_3DV_ParseScene(scene, file.data(), file.size(), error)) state.SkipWithError(error.c_str());
    _3DV_FreeSceneArrays(scene);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(RepeatedObjectCounts)->Arg(1000)->Arg(6000)->Unit(benchmark::kMillisecond);

template <void (*Search)(_3DV_OBJECT &)>
void Neighbours(benchmark::State &state) {
  // A strip of cells two rows high gives exactly the asked face count.
  const auto faces = int32_t(state.range(0));
  std::vector<_3DV_FACE> list, out(static_cast<size_t>(faces));
  const int32_t cells = faces / 2;
  for (int32_t x = 0; x < cells; ++x) {
    const int32_t a = x, b = x + 1, c = x + cells + 1, d = c + 1;
    list.push_back({{a, b, c}});
    list.push_back({{c, b, d}});
  }
  _3DV_OBJECT o{};
  o.facecount = faces;
  o.origfaces = list.data();
  o.neighbours = out.data();
  for (auto _ : state) {
    Search(o);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * faces);
}
BENCHMARK(Neighbours<_3DV_CalcNeighboursPairwise>)
    ->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(Neighbours<_3DV_CalcNeighbours>)
    ->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Arg(400000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
