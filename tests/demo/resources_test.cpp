// Meshes made of their file blocks, and the size checks that stop a short
// file before a reader addresses bytes it does not have.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "demo/resources.h"
#include "support/test_support.h"

namespace {

struct Block {
  std::vector<uint8_t> bytes;
  TLoadedFile file() { return {bytes.data(), static_cast<int32_t>(bytes.size())}; }
};

template <typename T>
Block Of(const std::vector<T> &values, size_t extra = 0) {
  Block b;
  b.bytes.resize(values.size() * sizeof(T) + extra, 0xEE);
  std::memcpy(b.bytes.data(), values.data(), values.size() * sizeof(T));
  return b;
}

TEST(MeshFromBlocks, CountsComeFromWholeEntriesOfEachFile) {
  for (size_t r = 0; r < 12; ++r) {
    Block faces = Of<int32_t>({0, 1, 2, 2, 1, 0}, r);  // 2 faces + r stray bytes
    Block vertices = Of<float>({0, 0, 0, 1, 0, 0, 0, 1, 0}, r);
    Block normals = Of<float>({0, 0, 1, 0, 0, 1, 0, 0, 1});
    TMeshRecord mesh{};
    // With r > 0 the stray bytes would make a fourth index; they are no face.
    EXPECT_EQ(MeshFromBlocks(mesh, faces.file(), vertices.file(), normals.file()), MESH_OK) << r;
    EXPECT_EQ(mesh.faceCount, 2) << r;
    EXPECT_EQ(mesh.vertexCount, 3) << r;
    EXPECT_EQ(mesh.faces[5], 0);
    EXPECT_EQ(mesh.third[2], 1.0f);
  }
}

TEST(MeshFromBlocks, AnIndexOutsideTheVerticesIsRefused) {
  Block vertices = Of<float>({0, 0, 0, 1, 0, 0, 0, 1, 0});
  Block normals = Of<float>(std::vector<float>(9, 0.0f));
  for (int32_t bad : {3, -1, 1 << 30}) {
    Block faces = Of<int32_t>({0, 1, 2, 0, bad, 1});
    TMeshRecord mesh{};
    EXPECT_EQ(MeshFromBlocks(mesh, faces.file(), vertices.file(), normals.file()), MESH_BAD_INDEX)
        << bad;
  }
}

TEST(MeshFromBlocks, FewerNormalsThanVerticesAreRefused) {
  Block faces = Of<int32_t>({0, 1, 2});
  Block vertices = Of<float>(std::vector<float>(9, 0.0f));
  Block normals = Of<float>(std::vector<float>(6, 0.0f), 11);
  TMeshRecord mesh{};
  EXPECT_EQ(MeshFromBlocks(mesh, faces.file(), vertices.file(), normals.file()), MESH_THIRD_SHORT);
  // More than enough is fine: uvw files may run longer.
  Block more = Of<float>(std::vector<float>(30, 0.0f));
  EXPECT_EQ(MeshFromBlocks(mesh, faces.file(), vertices.file(), more.file()), MESH_OK);
}

TEST(MeshFromBlocks, AnEmptyMeshHasNoFaces) {
  uint8_t none = 0;
  TLoadedFile empty{&none, 0};
  TMeshRecord mesh{};
  EXPECT_EQ(MeshFromBlocks(mesh, empty, empty, empty), MESH_OK);
  EXPECT_EQ(mesh.faceCount, 0);
  EXPECT_EQ(mesh.vertexCount, 0);
}

TEST(SwapWords, LeavesLittleEndianDataAsReadOnThisHost) {
  uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7};
  SwapWords(bytes, 7);
  if constexpr (std::endian::native == std::endian::little)
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  else
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 7), (std::vector<uint8_t>{4, 3, 2, 1, 5, 6, 7}));
}

// Runs body in a child and returns its exit status and standard output.
std::pair<int, std::string> InChild(void (*body)()) {
  const ember_test::RunResult r = ember_test::RunInChild(body);
  return {r.status, r.output};
}

TEST(RequireFileSize, AShortFileEndsTheProgramNamingIt) {
  auto [status, out] = InChild([] {
    static uint8_t bytes[6271];
    RequireFileSize({bytes, 6271}, EMBERFIELD_RAW_BYTES, "emberfld.raw");
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "File too short: emberfld.raw.\n");
  auto [ok, quiet] = InChild([] {
    static uint8_t bytes[6272];
    RequireFileSize({bytes, 6272}, EMBERFIELD_RAW_BYTES, "emberfld.raw");
    _exit(0);
  });
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(quiet, "");
}

TEST(ResourceLayouts, SizesMatchTheImagesTheReadersAddress) {
  EXPECT_EQ(EMBERFIELD_RAW_BYTES, 6272);
  EXPECT_EQ(GREETS_TGA_BYTES, 459538);
  EXPECT_EQ(TEXT_TGA_BYTES, 8850);
  EXPECT_EQ(BPLOGO_SMALL_TGA_BYTES, 524306);
  EXPECT_EQ(MONSTER_ALPHA_TGA_BYTES, 480018);
  EXPECT_EQ(MONSTER_COLOR_TGA_BYTES, 1440018);
  EXPECT_EQ(MATRIX_BYTES, 786432);
}

}  // namespace
