// Scene files: parsing a 50 MB scene (chunks, checks and the derived data:
// normals, centres, tangents, shadow arrays) next to only reading the same
// file into memory, the floor any reader sits on; writing it, in memory and
// to a file; and the neighbour search, which compares every pair of faces,
// at 1k to 8k faces. All report bytes or faces per second.
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
