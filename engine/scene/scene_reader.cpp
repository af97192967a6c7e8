// The scene-file reader: chunk loop, checks, derived data, buffer upload.
#include "engine/scene/scene_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/render/vectors.h"
#include "framework/base.h"
#include "framework/memory.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr char kCorruption[] = "Chunk size corruption !";

enum class Owner : uint8_t { kNone, kScene, kMaterial, kObject, kLight };

// Where a plain chunk lands: which record, and the field's place and width.
struct Field {
  Owner owner = Owner::kNone;
  uint16_t offset = 0;
  uint16_t width = 0;
};

// Where an array chunk lands: the pointer member, its element size and the
// description its allocation carries.
struct Array {
  Owner owner = Owner::kNone;
  uint16_t offset = 0;
  uint16_t element = 0;
  const char *what = nullptr;
};

#define SCENE_FIELD(id, member) \
  t[id] = {Owner::kScene, offsetof(_3DV_SCENE, member), sizeof(_3DV_SCENE::member)}
#define MATERIAL_FIELD(id, member) \
  t[id] = {Owner::kMaterial, offsetof(_3DV_MATERIAL, member), sizeof(_3DV_MATERIAL::member)}
#define OBJECT_FIELD(id, member) \
  t[id] = {Owner::kObject, offsetof(_3DV_OBJECT, member), sizeof(_3DV_OBJECT::member)}
#define PARTICLE_FIELD(id, member)                                                      \
  t[id] = {Owner::kObject,                                                              \
           offsetof(_3DV_OBJECT, particledata) + offsetof(_3DV_PARTICLEDATA, member), \
           sizeof(_3DV_PARTICLEDATA::member)}
#define LIGHT_FIELD(id, member) \
  t[id] = {Owner::kLight, offsetof(_3DV_LIGHT, member), sizeof(_3DV_LIGHT::member)}

struct Tables {
  Field fields[256];
  Array arrays[256];
};

Tables MakeTables() {
  Tables tables{};
  Field *t = tables.fields;
  SCENE_FIELD(1, versionmajor);
  SCENE_FIELD(2, versionminor);
  SCENE_FIELD(3, name);
  SCENE_FIELD(4, reserved);
  SCENE_FIELD(5, materialcount);
  SCENE_FIELD(6, objectcount);
  SCENE_FIELD(7, camerafov);
  SCENE_FIELD(8, cameranear);
  SCENE_FIELD(9, camerafar);
  SCENE_FIELD(10, camerapositioncount);
  SCENE_FIELD(11, cameratargetcount);
  MATERIAL_FIELD(12, name);
  MATERIAL_FIELD(13, texturename);
  MATERIAL_FIELD(14, envmaptexture);
  MATERIAL_FIELD(15, transparency);
  MATERIAL_FIELD(16, utile);
  MATERIAL_FIELD(17, vtile);
  MATERIAL_FIELD(18, alphatest);
  MATERIAL_FIELD(19, constantalpha);
  MATERIAL_FIELD(20, flaresize);
  MATERIAL_FIELD(21, magtype);
  MATERIAL_FIELD(22, shine);
  MATERIAL_FIELD(23, envmap);
  MATERIAL_FIELD(24, receivelight);
  MATERIAL_FIELD(25, textured);
  MATERIAL_FIELD(26, depthtest);
  MATERIAL_FIELD(27, blend);
  MATERIAL_FIELD(28, texturewrap);
  MATERIAL_FIELD(29, bpp);
  MATERIAL_FIELD(30, ambient);
  MATERIAL_FIELD(31, diffuse);
  MATERIAL_FIELD(32, specular);
  OBJECT_FIELD(33, name);
  OBJECT_FIELD(34, vertexcount);
  OBJECT_FIELD(35, facecount);
  OBJECT_FIELD(36, material);
  OBJECT_FIELD(37, positionkeycount);
  OBJECT_FIELD(38, rotationkeycount);
  OBJECT_FIELD(39, scalekeycount);
  OBJECT_FIELD(40, stripcount);
  OBJECT_FIELD(41, passno);
  OBJECT_FIELD(42, hasuv);
  OBJECT_FIELD(43, hascolors);
  OBJECT_FIELD(44, hasnormals);
  OBJECT_FIELD(45, visible);
  OBJECT_FIELD(46, backfacecull);
  OBJECT_FIELD(47, rendermode);
  OBJECT_FIELD(48, matrix);
  OBJECT_FIELD(49, pivot);
  PARTICLE_FIELD(59, particletexture);
  PARTICLE_FIELD(60, newparticle);
  PARTICLE_FIELD(61, power);
  PARTICLE_FIELD(62, deltapower);
  PARTICLE_FIELD(63, size);
  PARTICLE_FIELD(64, particleenabled);
  PARTICLE_FIELD(65, colorattrib);
  PARTICLE_FIELD(66, deltavector);
  PARTICLE_FIELD(67, deltavectorspread);
  PARTICLE_FIELD(68, color);
  PARTICLE_FIELD(69, colorspread);
  LIGHT_FIELD(72, name);
  LIGHT_FIELD(73, positionkeycount);
  LIGHT_FIELD(74, enabled);
  LIGHT_FIELD(75, pos);
  LIGHT_FIELD(76, ambient);
  LIGHT_FIELD(77, diffuse);
  LIGHT_FIELD(78, specular);
  OBJECT_FIELD(80, reservedflag1);
  OBJECT_FIELD(81, reservedflag2);
  MATERIAL_FIELD(82, depthfunc);
  OBJECT_FIELD(83, distancecull);
  SCENE_FIELD(84, viewdistance);
  SCENE_FIELD(87, chunkcount);
  OBJECT_FIELD(88, castshadow);
  OBJECT_FIELD(89, uselightfactor);
  SCENE_FIELD(90, lightfactor);
  OBJECT_FIELD(91, texturescroll);
  MATERIAL_FIELD(92, envalpha);
  MATERIAL_FIELD(93, envcolor);
  MATERIAL_FIELD(94, envblend);
  OBJECT_FIELD(95, fog);
  OBJECT_FIELD(96, fogmode);
  OBJECT_FIELD(97, fogparam);
  OBJECT_FIELD(98, fogcolor);

  Array *a = tables.arrays;
  a[50] = {Owner::kObject, offsetof(_3DV_OBJECT, strip), 2, " triangle strip"};
  a[51] = {Owner::kObject, offsetof(_3DV_OBJECT, vertices), 12, " vertex vectors"};
  a[52] = {Owner::kObject, offsetof(_3DV_OBJECT, faces), 12, " face list"};
  a[53] = {Owner::kObject, offsetof(_3DV_OBJECT, colors), 12, " vertex color list"};
  a[54] = {Owner::kObject, offsetof(_3DV_OBJECT, uvs), 8, " UV coordinates"};
  a[55] = {Owner::kObject, offsetof(_3DV_OBJECT, normals), 12, " vertex normals"};
  a[56] = {Owner::kObject, offsetof(_3DV_OBJECT, positionkeys), 16, " position vectors"};
  a[57] = {Owner::kObject, offsetof(_3DV_OBJECT, rotationkeys), 20, " rotation quats"};
  a[58] = {Owner::kObject, offsetof(_3DV_OBJECT, scalekeys), 16, " scale vectors"};
  a[70] = {Owner::kScene, offsetof(_3DV_SCENE, camerapositions), 16, " camera positions"};
  a[71] = {Owner::kScene, offsetof(_3DV_SCENE, cameratargets), 16, " camera target positions"};
  a[79] = {Owner::kLight, offsetof(_3DV_LIGHT, positionkeys), 16, " light positions"};
  a[86] = {Owner::kObject, offsetof(_3DV_OBJECT, neighbours), 12, " connectivity list"};
  a[99] = {Owner::kObject, offsetof(_3DV_OBJECT, origfaces), 12, " orignal face list"};
  return tables;
}

#undef SCENE_FIELD
#undef MATERIAL_FIELD
#undef OBJECT_FIELD
#undef PARTICLE_FIELD
#undef LIGHT_FIELD

const Tables &ChunkTables() {
  static const Tables tables = MakeTables();
  return tables;
}

int32_t ReadLongInt(const uint8_t *p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

// Entries of a framework block of element-sized entries; 0 for none.
int64_t Entries(const void *block, int64_t element) {
  if (!block) return 0;
  const int64_t bytes = SYS_MemSize(block);
  return bytes < 0 ? 0 : bytes / element;
}

template <typename T>
void FreeTracked(T *&pointer) {
  void *p = pointer;
  pasMemFree(&p);
  pointer = nullptr;
}

template <typename T>
void FreeHeap(T *&pointer) {
  _3DV_MemFree(pointer);
  pointer = nullptr;
}

void FreeObjectArrays(_3DV_OBJECT &o) {
  FreeTracked(o.strip);
  FreeTracked(o.faces);
  FreeTracked(o.origfaces);
  FreeTracked(o.vertices);
  FreeTracked(o.colors);
  FreeTracked(o.uvs);
  FreeTracked(o.normals);
  FreeTracked(o.positionkeys);
  FreeTracked(o.rotationkeys);
  FreeTracked(o.scalekeys);
  FreeTracked(o.neighbours);
  FreeHeap(o.tangents);
  FreeHeap(o.binormals);
  FreeHeap(o.facenormals);
  FreeHeap(o.planes);
  FreeHeap(o.lightvisible);
  FreeHeap(o.contour);
  FreeHeap(o.facecenters);
}

void FreeObjects(_3DV_SCENE &scene) {
  if (scene.objects) {
    for (int32_t i = 0; i < scene.objectcount; ++i) FreeObjectArrays(scene.objects[i]);
  }
  FreeTracked(scene.objects);
  scene.objectcount = 0;
}

std::string SceneName(const _3DV_SCENE &scene) { return std::string(scene.name.view()); }

// The blocks one load made. A load never frees or writes into an array it
// did not make itself: copies of a scene record (the effect-project cache)
// share the arrays of the record they were copied from.
class Blocks {
public:
  void Add(void *block) {
    if (block) mine_.insert(block);
  }
  bool Mine(void *block) const { return block && mine_.count(block) != 0; }
  // Notes that the object at index of an objects array this load made is
  // given an array of its own.
  void Touch(void *objects, int32_t index) {
    int32_t &reach = reach_[objects];
    reach = std::max(reach, index + 1);
  }
  // Frees a block this load made, and the object arrays it made inside it
  // when the block is an objects array. Only objects up to the last one
  // given an array are looked at: a file of repeated count chunks makes
  // thousands of bare records a chunk, and walking them all each time
  // would cost far more than the file's bytes.
  void Drop(void *block, int32_t objects = 0) {
    if (!Mine(block)) return;
    if (auto reach = reach_.find(block); reach != reach_.end()) {
      auto *records = static_cast<_3DV_OBJECT *>(block);
      for (int32_t i = 0; i < std::min(objects, reach->second); ++i) {
        for (void **slot : ObjectSlots(records[i])) Drop(*slot);
      }
      reach_.erase(reach);
    }
    mine_.erase(block);
    pasMemFree(&block);
  }
  // Every block this load made goes back.
  void DropAll() {
    for (void *block : mine_) pasMemFree(&block);
    mine_.clear();
    reach_.clear();
  }
  static std::array<void **, 11> ObjectSlots(_3DV_OBJECT &o) {
    return {reinterpret_cast<void **>(&o.strip),        reinterpret_cast<void **>(&o.faces),
            reinterpret_cast<void **>(&o.origfaces),    reinterpret_cast<void **>(&o.vertices),
            reinterpret_cast<void **>(&o.colors),       reinterpret_cast<void **>(&o.uvs),
            reinterpret_cast<void **>(&o.normals),      reinterpret_cast<void **>(&o.positionkeys),
            reinterpret_cast<void **>(&o.rotationkeys), reinterpret_cast<void **>(&o.scalekeys),
            reinterpret_cast<void **>(&o.neighbours)};
  }

private:
  std::unordered_set<void *> mine_;
  // Objects arrays this load made: one past the last object given an array.
  std::unordered_map<void *, int32_t> reach_;
};

// Makes a materials or objects array one of this load's own blocks,
// copying the caller's records, before the load writes into them: what it
// writes must not reach another copy of the record.
template <typename T>
bool Own(T *&array, int32_t count, Blocks &blocks, const std::string &what) {
  if (!array || count <= 0 || blocks.Mine(array)) return true;
  if (Entries(array, sizeof(T)) < count) return false;
  void *fresh = pasMemGet(size_t(count) * sizeof(T), what.c_str());
  if (!fresh) return false;
  std::memcpy(fresh, static_cast<const void *>(array), size_t(count) * sizeof(T));
  blocks.Add(fresh);
  array = static_cast<T *>(fresh);
  return true;
}

// Where the chunk loop takes its bytes from. A file is read as the loop
// goes: the bytes of a chunk the scene keeps are read when it is stored,
// everything else (words that start no chunk, packed or foreign chunks) is
// stepped over. So a file costs memory for what the scene keeps, not for
// its size: a file of 4 GB of holes takes no more than an empty one.
// An input whose size is known (bytes in memory, a plain file) refuses a
// chunk larger than what is left before reading any of it. A stream (a
// pipe, a FIFO, a terminal) shows its end only when it reaches it, so
// what it holds is read as it arrives: a size it does not back costs the
// bytes it does carry, no more.
class Input {
public:
  virtual ~Input() = default;
  // Whether no byte is left; a stream reads ahead to tell.
  virtual bool AtEnd() = 0;
  // False when fewer than n bytes are known to be left.
  virtual bool MayHold(uint64_t n) const = 0;
  // The next n bytes, good until the next call; null when the input ends
  // first or cannot be read.
  virtual const uint8_t *Take(size_t n) = 0;
  // Steps over n bytes; false when the input ends first or cannot be read.
  virtual bool Skip(uint64_t n) = 0;
  // Whether a read failed (as against the input ending).
  bool Failed() const { return failed_; }

protected:
  static const uint8_t *Nothing() {
    static const uint8_t none = 0;
    return &none;
  }
  bool failed_ = false;
};

class MemoryInput final : public Input {
public:
  MemoryInput(const uint8_t *bytes, size_t size) : bytes_(bytes), size_(size) {}
  bool AtEnd() override { return pos_ == size_; }
  bool MayHold(uint64_t n) const override { return n <= size_ - pos_; }
  const uint8_t *Take(size_t n) override {
    if (!MayHold(n)) return nullptr;
    if (n == 0) return Nothing();
    const uint8_t *p = bytes_ + pos_;
    pos_ += n;
    return p;
  }
  bool Skip(uint64_t n) override {
    if (!MayHold(n)) return false;
    pos_ += size_t(n);
    return true;
  }

private:
  const uint8_t *bytes_;
  size_t size_;
  size_t pos_ = 0;
};

// A file through stdio, from where it stands. A plain file has a size:
// bytes past it are never read, and data that is stepped over is sought
// past. Anything else is a stream, read to its end and stepped over by
// reading.
class FileInput final : public Input {
public:
  FileInput(std::FILE *file, std::optional<uint64_t> size)
      : file_(file), sized_(size.has_value()), left_(size.value_or(0)) {}
  bool AtEnd() override { return sized_ ? left_ == 0 : !Fill(1); }
  bool MayHold(uint64_t n) const override { return !sized_ || n <= left_; }
  const uint8_t *Take(size_t n) override {
    if (n == 0) return Nothing();
    if (!MayHold(n) || !Fill(n)) return nullptr;
    const uint8_t *p = window_.data() + at_;
    Advance(n);
    return p;
  }
  bool Skip(uint64_t n) override {
    if (!MayHold(n)) return false;
    const size_t here = size_t(std::min<uint64_t>(n, end_ - at_));
    Advance(here);
    n -= here;
    if (n == 0) return true;
    at_ = end_ = 0;
    if (sized_) {
      if (fseeko(file_, off_t(n), SEEK_CUR) != 0) {
        failed_ = true;
        return false;
      }
      left_ -= n;
      return true;
    }
    if (window_.size() < kWindow) window_.resize(kWindow);
    while (n > 0) {
      const size_t got =
          std::fread(window_.data(), 1, size_t(std::min<uint64_t>(n, window_.size())), file_);
      if (got == 0) {
        failed_ = std::ferror(file_) != 0;
        return false;
      }
      n -= got;
    }
    return true;
  }

private:
  static constexpr size_t kWindow = size_t(1) << 16;

  void Advance(size_t n) {
    at_ += n;
    if (sized_) left_ -= n;
  }
  // Makes the next n bytes ready in the window. The window grows by
  // doubling, and only once the bytes it holds have arrived: a stream
  // that ends early has cost about what it carried.
  bool Fill(size_t n) {
    if (end_ - at_ >= n) return true;
    if (at_ > 0) std::memmove(window_.data(), window_.data() + at_, end_ - at_);
    end_ -= at_;
    at_ = 0;
    while (end_ < n) {
      if (end_ == window_.size())
        window_.resize(std::max(kWindow, std::min(n, 2 * window_.size())));
      size_t room = window_.size() - end_;
      if (sized_) room = size_t(std::min<uint64_t>(room, left_ - end_));
      const size_t got = std::fread(window_.data() + end_, 1, room, file_);
      end_ += got;
      if (got == 0) {
        // A plain file that ends before its size was cut while being read.
        failed_ = sized_ || std::ferror(file_) != 0;
        return false;
      }
    }
    return true;
  }

  std::FILE *file_;
  bool sized_;
  uint64_t left_;  // of a plain file: its bytes from the read position on
  std::vector<uint8_t> window_;
  size_t at_ = 0, end_ = 0;
};

constexpr char kUnreadable[] = "the file cannot be read";

// The chunk loop over one input, into a copy of the caller's record.
class Reader {
public:
  Reader(_3DV_SCENE &scene, Blocks &blocks, Input &input)
      : scene_(scene), blocks_(blocks), input_(input) {}

  bool Run(std::string &error);

private:
  // Says why the input gave out: a read that failed, or else `why`.
  bool Fail(std::string &error, std::string why) const {
    error = input_.Failed() ? kUnreadable : std::move(why);
    return false;
  }
  bool Chunk(uint8_t type, uint8_t id, std::string &error);
  // The record a chunk addresses, or null when it has none yet.
  uint8_t *Target(Owner owner, int32_t index);
  bool Counts(uint8_t id, const uint8_t *data, int32_t size);
  // Stores a chunk's data, taking it from the input only when it is kept.
  bool Store(uint8_t id, int32_t index, int32_t size, const std::function<const uint8_t *()> &data);

  _3DV_SCENE &scene_;
  Blocks &blocks_;
  Input &input_;
};

bool Reader::Run(std::string &error) {
  // Four bytes are read before the end is tested: an empty file, or one
  // with 1 to 3 bytes after its last chunk, is cut short.
  if (input_.AtEnd()) return Fail(error, "the file is empty");
  for (;;) {
    const uint8_t *head = input_.Take(4);
    if (!head) return Fail(error, "the file ends inside a chunk");
    if (head[0] == 'Z' && head[1] == '!') {
      if (!Chunk(head[2], head[3], error)) return false;
    }
    if (input_.AtEnd()) return !input_.Failed() || Fail(error, "");
  }
}

bool Reader::Chunk(uint8_t type, uint8_t id, std::string &error) {
  const uint8_t *head = input_.Take(16);
  if (!head) return Fail(error, "file ends inside a chunk");
  const int32_t count = ReadLongInt(head);
  const int32_t size = ReadLongInt(head + 4);
  const int32_t packed = ReadLongInt(head + 8);
  const int32_t index = ReadLongInt(head + 12);
  auto past = [&](const char *what) {
    return Fail(error, what + std::to_string(id) + " runs past the end of the file");
  };

  if (packed != 0) {
    // No packing method exists; step over the packed data.
    if (packed < 0 || !input_.MayHold(static_cast<uint64_t>(packed))) return past("packed chunk ");
    _3DV_LoadLog("Packed chunk skipped (id " + std::to_string(id) + ")");
    return input_.Skip(static_cast<uint64_t>(packed)) || past("packed chunk ");
  }
  if (size < 0) {
    // No data to step over: the search for the next magic goes on after
    // the header.
    _3DV_LoadLog(kCorruption);
    return true;
  }
  if (!input_.MayHold(static_cast<uint64_t>(size))) return past("chunk ");
  if (type >= _3DV_TYPE_COUNT) {
    _3DV_LoadLog(kCorruption);
    return input_.Skip(static_cast<uint64_t>(size)) || past("chunk ");
  }
  bool taken = false, missing = false;
  const auto data = [&]() -> const uint8_t * {
    taken = true;
    const uint8_t *p = input_.Take(static_cast<size_t>(size));
    missing = !p;
    return p;
  };
  // A count that disagrees with the size is reported, and the size rules;
  // a chunk that cannot be stored is reported the same way, once.
  const bool agrees = int64_t{count} * _3DV_TypeSize[type] == size;
  const bool stored = Store(id, index, size, data);
  if (missing) return past("chunk ");
  if (!stored || !agrees) _3DV_LoadLog(kCorruption);
  return taken || input_.Skip(static_cast<uint64_t>(size)) || past("chunk ");
}

uint8_t *Reader::Target(Owner owner, int32_t index) {
  switch (owner) {
    case Owner::kScene:
      return reinterpret_cast<uint8_t *>(&scene_);
    case Owner::kMaterial:
      if (!scene_.materials || index < 0 || index >= scene_.materialcount) return nullptr;
      if (!Own(scene_.materials, scene_.materialcount, blocks_, SceneName(scene_) + " materials"))
        return nullptr;
      return reinterpret_cast<uint8_t *>(&scene_.materials[index]);
    case Owner::kObject:
      if (!scene_.objects || index < 0 || index >= scene_.objectcount) return nullptr;
      if (!Own(scene_.objects, scene_.objectcount, blocks_, SceneName(scene_) + " objects"))
        return nullptr;
      return reinterpret_cast<uint8_t *>(&scene_.objects[index]);
    case Owner::kLight:
      if (index < 0 || index >= _3DV_LIGHT_COUNT) return nullptr;
      return reinterpret_cast<uint8_t *>(&scene_.lights[index]);
    case Owner::kNone:
      break;
  }
  return nullptr;
}

// Chunks 5 and 6: the count, then a new zeroed array of that many records.
bool Reader::Counts(uint8_t id, const uint8_t *data, int32_t size) {
  int32_t count = id == 5 ? scene_.materialcount : scene_.objectcount;
  std::memcpy(&count, data, static_cast<size_t>(size));
  const int32_t most = id == 5 ? _3DV_MATERIAL_ARRAY_MAX_INDEX + 1 : _3DV_OBJECT_ARRAY_MAX_INDEX + 1;
  if (count < 0 || count > most) return false;
  const std::string name = SceneName(scene_);
  if (id == 5) {
    void *fresh = pasMemGet(size_t(count) * sizeof(_3DV_MATERIAL), (name + " materials").c_str());
    if (count > 0 && !fresh) return false;
    blocks_.Drop(scene_.materials);
    blocks_.Add(fresh);
    scene_.materials = static_cast<_3DV_MATERIAL *>(fresh);
    scene_.materialcount = count;
  } else {
    void *fresh = pasMemGet(size_t(count) * sizeof(_3DV_OBJECT), (name + " objects").c_str());
    if (count > 0 && !fresh) return false;
    blocks_.Drop(scene_.objects, scene_.objectcount);
    blocks_.Add(fresh);
    scene_.objects = static_cast<_3DV_OBJECT *>(fresh);
    scene_.objectcount = count;
  }
  return true;
}

bool Reader::Store(uint8_t id, int32_t index, int32_t size,
                   const std::function<const uint8_t *()> &take) {
  const Tables &tables = ChunkTables();
  const Field &field = tables.fields[id];
  if (field.owner != Owner::kNone) {
    if (size > field.width) return false;
    const uint8_t *data = take();
    if (!data) return false;
    if (id == 5 || id == 6) return Counts(id, data, size);
    uint8_t *record = Target(field.owner, index);
    if (!record) return false;
    std::memcpy(record + field.offset, data, static_cast<size_t>(size));
    return true;
  }
  const Array &array = tables.arrays[id];
  if (array.owner == Owner::kNone) return true;  // not ours: dropped quietly
  uint8_t *record = Target(array.owner, index);
  if (!record) return false;
  if (array.owner == Owner::kObject) blocks_.Touch(scene_.objects, index);

  std::string what = SceneName(scene_);
  if (array.owner == Owner::kObject) {
    what += " " + std::string(scene_.objects[index].name.view());
  } else if (array.owner == Owner::kLight) {
    what += " " + std::string(scene_.lights[index].name.view());
  }
  what += array.what;
  // The bytes first: from a stream, an array is only as large as the
  // data that has arrived for it.
  const uint8_t *data = take();
  if (!data) return false;
  void *fresh = pasMemGet(static_cast<size_t>(size), what.c_str());
  if (size > 0 && !fresh) return false;
  if (size > 0) std::memcpy(fresh, data, static_cast<size_t>(size));
  void *&slot = *reinterpret_cast<void **>(record + array.offset);
  // A repeated chunk replaces the array; the one before goes back only
  // when this load made it.
  blocks_.Drop(slot);
  blocks_.Add(fresh);
  slot = fresh;
  return true;
}

std::string ObjectField(const _3DV_SCENE &scene, int32_t i, const char *field) {
  return "object " + std::to_string(i) + " (" + std::string(scene.objects[i].name.view()) +
         "): " + field;
}

// A face list whose corners all lie in 0..vertexcount-1.
bool CornersInRange(const _3DV_FACE *faces, int32_t count, int32_t vertexcount) {
  for (int32_t f = 0; f < count; ++f) {
    for (int32_t c : faces[f].v) {
      if (c < 0 || c >= vertexcount) return false;
    }
  }
  return true;
}

// Whether neighbours come from the file or are worked out after loading:
// files before 1.2 carry none worth keeping.
bool OldFile(const _3DV_SCENE &scene) {
  return scene.versionmajor == 1 && scene.versionminor < 2;
}
bool NeighboursComputed(const _3DV_SCENE &scene, const _3DV_OBJECT &o) {
  return OldFile(scene) || !o.neighbours;
}

enum class Use { kRead, kWrite };

// Reading: only what some later step would read out of bounds. An array
// must hold its count where something reads that many entries, and be
// there at all where something reads it without asking; indexes that are
// followed into other arrays must lie in range. Everything else loads:
// tracks nothing evaluates, materials out of range (every renderer skips
// the object), vertices no face uses.
// Writing: every array the file carries is there and, where its size is
// known, not short; and the file must read back, so it also meets the
// reader's conditions, as a 1.2 file.
std::string Check(const _3DV_SCENE &scene, Use use) {
  const bool write = use == Use::kWrite;
  // An array that must be there with count entries; the writer takes an
  // array whose size it cannot learn as it is.
  auto holds = [write](const void *array, int64_t element, int64_t count) {
    if (count <= 0) return true;
    if (!array) return false;
    const int64_t entries = Entries(array, element);
    return entries >= count || (write && SYS_MemSize(array) < 0);
  };
  // An array that may be absent, but holds count entries when there.
  auto fits = [&holds](const void *array, int64_t element, int64_t count) {
    return !array || holds(array, element, count);
  };
  // A count chunk makes its records from four bytes, so the reader takes
  // no more of them than the array types admit, and the writer writes no
  // more.
  const int32_t materials = write ? _3DV_MATERIAL_ARRAY_MAX_INDEX + 1 : INT32_MAX;
  const int32_t objects = write ? _3DV_OBJECT_ARRAY_MAX_INDEX + 1 : INT32_MAX;
  if (scene.materialcount < 0 || scene.materialcount > materials ||
      !holds(scene.materials, sizeof(_3DV_MATERIAL), scene.materialcount))
    return "materialcount";
  if (scene.objectcount < 0 || scene.objectcount > objects ||
      !holds(scene.objects, sizeof(_3DV_OBJECT), scene.objectcount))
    return "objectcount";
  if (scene.camerapositioncount < 0 ||
      !holds(scene.camerapositions, sizeof(_3DV_KEYVECTOR), scene.camerapositioncount))
    return "camerapositioncount";
  if (scene.cameratargetcount < 0 ||
      !holds(scene.cameratargets, sizeof(_3DV_KEYVECTOR), scene.cameratargetcount))
    return "cameratargetcount";
  for (int32_t l = 0; l < _3DV_LIGHT_COUNT; ++l) {
    const _3DV_LIGHT &light = scene.lights[l];
    if (light.positionkeycount < 0 ||
        !holds(light.positionkeys, sizeof(_3DV_KEYVECTOR), light.positionkeycount))
      return "light " + std::to_string(l) + ": positionkeycount";
  }
  int64_t faces = 0;
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    const _3DV_OBJECT &o = scene.objects[i];
    const int32_t vc = o.vertexcount, fc = o.facecount;
    const bool computed = !write && NeighboursComputed(scene, o);
    struct Count {
      const char *name;
      int32_t count;
      bool ok;
    };
    // Reading: the face step reads vertices, uvs and colours through the
    // corners; the buffer upload and the dump read all vertexcount
    // vertices, normals and uvs that are there; the neighbour search reads
    // origfaces; the shadows read neighbours; the depth renderer reads the
    // strip; the track evaluation reads position keys.
    const Count counts[] = {
        {"vertexcount", vc, write || fc > 0 ? holds(o.vertices, 12, vc) : fits(o.vertices, 12, vc)},
        {"facecount", fc, holds(o.faces, 12, fc)},
        {"origfaces", fc, write || (computed && fc > 0) ? holds(o.origfaces, 12, fc) : true},
        {"neighbours", fc, write || !computed ? holds(o.neighbours, 12, fc) : true},
        {"stripcount", o.stripcount,
         write ? holds(o.strip, 2, o.stripcount) : fits(o.strip, 2, o.stripcount)},
        {"positionkeycount", o.positionkeycount, holds(o.positionkeys, 16, o.positionkeycount)},
        {"rotationkeycount", o.rotationkeycount,
         !write || holds(o.rotationkeys, 20, o.rotationkeycount)},
        {"scalekeycount", o.scalekeycount, !write || holds(o.scalekeys, 16, o.scalekeycount)},
        {"colors", vc,
         !o.hascolors || (write || fc > 0 ? holds(o.colors, 12, vc) : fits(o.colors, 12, vc))},
        {"uvs", vc, !o.hasuv || (write || fc > 0 ? holds(o.uvs, 8, vc) : fits(o.uvs, 8, vc))},
        {"normals", vc, !o.hasnormals || (write ? holds(o.normals, 12, vc) : fits(o.normals, 12, vc))},
    };
    for (const Count &c : counts) {
      if (c.count < 0 || !c.ok) return ObjectField(scene, i, c.name);
    }
    if (!CornersInRange(o.faces, fc, vc)) return ObjectField(scene, i, "faces");
    if (!computed && o.neighbours) {
      for (int32_t f = 0; f < fc; ++f) {
        for (int32_t n : o.neighbours[f].v) {
          if (n < -1 || n >= fc) return ObjectField(scene, i, "neighbours");
        }
      }
    }
    for (int32_t s = 0; o.strip && s < o.stripcount; ++s) {
      if (o.strip[s] >= vc) return ObjectField(scene, i, "strip");
    }
    faces += fc;
    if (faces > _3DV_MAX_SCENE_FACES) return "more faces than a scene can hold";
  }
  return {};
}

float Third(float a, float b, float c) { return (a + b + c) / 3.0f; }

// The derived data of the post-load step that needs no OpenGL. The scene
// has passed Check and its materials and objects are this load's own. No
// array it replaces is freed unless this load made it: a copy of the
// record may still use it.
void Derive(_3DV_SCENE &scene, Blocks &blocks) {
  const std::string name = SceneName(scene);
  if (scene.camerapositioncount > 0 && scene.cameratargetcount > 0) {
    scene.camerapositionease = static_cast<_3DV_VECTOR *>(
        _3DV_MemGet(scene.camerapositioncount * 12, "scene." + name + ".camera position ease"));
    scene.cameratargetease = static_cast<_3DV_VECTOR *>(
        _3DV_MemGet(scene.cameratargetcount * 12, "scene." + name + ".camera target ease"));
    _3DV_CameraTangents(scene);
  } else {
    // Ease arrays left from before belong to other key counts.
    scene.camerapositionease = nullptr;
    scene.cameratargetease = nullptr;
  }
  for (int32_t m = 0; m < scene.materialcount; ++m) scene.materials[m].bpp = 24;

  scene.passcount = 0;
  scene.maxfacecount = 0;
  int64_t total = 0;
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    _3DV_OBJECT &o = scene.objects[i];
    const int32_t fc = o.facecount;
    total += fc;
    scene.maxfacecount = std::max(scene.maxfacecount, fc);
    scene.passcount = std::max(scene.passcount, o.passno);
    o.rotation = {0, 0, 0};

    o.planes = static_cast<_3DV_PLANE *>(_3DV_MemGet(fc * 16, " planecalc      "));
    o.lightvisible = static_cast<_3DV_BOOLEAN *>(_3DV_MemGet(fc + 16, " lightvisible calc "));
    o.contour = static_cast<uint8_t *>(_3DV_MemGet(fc * 3 + 16, " contour calc "));
    o.facecenters = static_cast<_3DV_VECTOR *>(_3DV_MemGet(fc * 12, " face center stored "));
    o.facenormals = static_cast<_3DV_VECTOR *>(_3DV_MemGet(fc * 12, " face normal precalc "));
    for (int32_t f = 0; f < fc; ++f) {
      const _3DV_FACE &face = o.faces[f];
      const _3DV_VECTOR p0 = o.vertices[face.v[0]];
      const _3DV_VECTOR p1 = o.vertices[face.v[1]];
      const _3DV_VECTOR p2 = o.vertices[face.v[2]];
      o.facenormals[f] =
          _3DV_VecNormalize(_3DV_VecCross(_3DV_VecSub(p0, p1), _3DV_VecSub(p2, p1)));
      o.facecenters[f] = {Third(p0.x, p1.x, p2.x), Third(p0.y, p1.y, p2.y),
                          Third(p0.z, p1.z, p2.z)};
    }

    // Tangents: zero unless a face with texture coordinates sets them. One
    // for each vertex the object holds: a faceless object may count
    // vertices it does not carry, and a count no file backs must not size
    // (or overflow) an allocation.
    const int32_t tv = o.vertices ? o.vertexcount : 0;
    o.tangents = static_cast<_3DV_VECTOR *>(_3DV_MemGet(tv * 12, ""));
    o.binormals = static_cast<_3DV_VECTOR *>(_3DV_MemGet(tv * 12, ""));
    if (o.hasuv) {
      for (int32_t f = 0; f < fc; ++f) {
        const _3DV_FACE &face = o.faces[f];
        _3DV_VECTOR p[3], t[3];
        for (int c = 0; c < 3; ++c) {
          p[c] = o.vertices[face.v[c]];
          _3DV_Set2(t[c], o.uvs[face.v[c]].u, o.uvs[face.v[c]].v);
        }
        _3DV_VECTOR tangent, binormal;
        _3DV_FaceTangent(p, t, tangent, binormal);
        o.tangents[face.v[0]] = _3DV_VecNormalize(tangent);
        o.binormals[face.v[0]] = _3DV_VecNormalize(binormal);
      }
    }
    for (int32_t v = 0; v < tv; ++v) {
      o.tangents[v] = _3DV_VecNormalize(o.tangents[v]);
      o.binormals[v] = _3DV_VecNormalize(o.binormals[v]);
    }

    if (NeighboursComputed(scene, o) && fc > 0) {
      blocks.Drop(o.neighbours);
      o.neighbours = static_cast<_3DV_FACE *>(pasMemGet(size_t(fc) * 12, " neighbour calc  "));
      if (!o.neighbours) wmFatal("3DV: out of memory for neighbours");
      _3DV_CalcNeighbours(o);
    }
  }

  // Two triangles over each of the three side quads of every face.
  scene.volumearray =
      static_cast<_3DV_VECTOR *>(_3DV_MemGet(static_cast<int32_t>(total * 144), " volume array "));
  scene.volumeindex =
      static_cast<int32_t *>(_3DV_MemGet(static_cast<int32_t>(total * 72), " volume array index"));
  for (int64_t q = 0; q < 3 * total; ++q) {
    const auto base = static_cast<int32_t>(4 * q);
    int32_t *out = scene.volumeindex + 6 * q;
    out[0] = base;
    out[1] = base + 1;
    out[2] = base + 2;
    out[3] = base + 2;
    out[4] = base + 3;
    out[5] = base;
  }
  scene.shadowextrusion = 1000.0f;
}

int64_t SceneFaces(const _3DV_SCENE &scene) {
  int64_t total = 0;
  for (int32_t i = 0; i < scene.objectcount; ++i) total += scene.objects[i].facecount;
  return total;
}

GLuint NewBuffer() {
  GLuint name = 0;
  dgl::glGenBuffersARB(1, &name);
  return name;
}

}  // namespace

void _3DV_LoadLog(std::string_view text) { _3DV_Log(text); }

void _3DV_Set2(_3DV_VECTOR &triple, float a, float b) { triple = {a, b, 0}; }

void _3DV_FaceTangent(const _3DV_VECTOR p[3], const _3DV_VECTOR t[3], _3DV_VECTOR &tangent,
                      _3DV_VECTOR &binormal) {
  const float du1 = t[1].x - t[0].x, dv1 = t[1].y - t[0].y;
  const float du2 = t[2].x - t[0].x, dv2 = t[2].y - t[0].y;
  const float p0[3] = {p[0].x, p[0].y, p[0].z};
  const float p1[3] = {p[1].x, p[1].y, p[1].z};
  const float p2[3] = {p[2].x, p[2].y, p[2].z};
  float tk[3] = {0, 0, 0}, bk[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    const _3DV_VECTOR c = _3DV_VecCross({p1[k] - p0[k], du1, dv1}, {p2[k] - p0[k], du2, dv2});
    if (std::fabs(c.x) > 1e-5f) {
      tk[k] = -c.y / c.x;
      bk[k] = -c.z / c.x;
    }
  }
  tangent = {tk[0], tk[1], tk[2]};
  binormal = {bk[0], bk[1], bk[2]};
}

void _3DV_CalcNeighboursPairwise(_3DV_OBJECT &object) {
  const int32_t n = object.facecount;
  const _3DV_FACE *faces = object.origfaces;
  _3DV_FACE *nb = object.neighbours;
  for (int32_t f = 0; f < n; ++f) nb[f] = {{-1, -1, -1}};
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = i + 1; j < n; ++j) {
      for (int e = 0; e < 3; ++e) {
        if (nb[i].v[e] != -1) continue;
        const int32_t a = faces[i].v[e], b = faces[i].v[(e + 1) % 3];
        const int32_t lo = std::min(a, b), hi = std::max(a, b);
        for (int g = 0; g < 3; ++g) {
          const int32_t c = faces[j].v[g], d = faces[j].v[(g + 1) % 3];
          if (std::min(c, d) == lo && std::max(c, d) == hi) {
            nb[i].v[e] = j;
            nb[j].v[g] = i;
          }
        }
      }
    }
  }
}

void _3DV_CalcNeighbours(_3DV_OBJECT &object) {
  // An edge's entry only ever changes through a pair of faces that share
  // its two vertices, so the pairwise search can run on each group of
  // edges with the same vertices alone, in the same order of faces and
  // edges, and gives the same entries, overwrites included.
  struct Edge {
    int32_t lo, hi, face, edge;
  };
  const int32_t n = object.facecount;
  const _3DV_FACE *faces = object.origfaces;
  _3DV_FACE *nb = object.neighbours;
  std::vector<Edge> edges;
  edges.reserve(size_t(n) * 3);
  for (int32_t f = 0; f < n; ++f) {
    nb[f] = {{-1, -1, -1}};
    for (int32_t e = 0; e < 3; ++e) {
      const int32_t a = faces[f].v[e], b = faces[f].v[(e + 1) % 3];
      edges.push_back({std::min(a, b), std::max(a, b), f, e});
    }
  }
  std::sort(edges.begin(), edges.end(), [](const Edge &x, const Edge &y) {
    if (x.lo != y.lo) return x.lo < y.lo;
    if (x.hi != y.hi) return x.hi < y.hi;
    if (x.face != y.face) return x.face < y.face;
    return x.edge < y.edge;
  });
  for (size_t first = 0; first < edges.size();) {
    size_t last = first + 1;
    while (last < edges.size() && edges[last].lo == edges[first].lo &&
           edges[last].hi == edges[first].hi)
      ++last;
    // Row by row as the pairwise search: an edge of face i still without
    // a neighbour takes every matching edge of the next face j after it.
    for (size_t p = first; p < last; ++p) {
      const Edge &mine = edges[p];
      int32_t &entry = nb[mine.face].v[mine.edge];
      for (size_t q = p + 1; q < last && entry == -1;) {
        const int32_t j = edges[q].face;
        size_t end = q;
        while (end < last && edges[end].face == j) ++end;
        if (j != mine.face) {
          for (size_t r = q; r < end; ++r) {
            entry = j;
            nb[j].v[edges[r].edge] = mine.face;
          }
        }
        q = end;
      }
    }
    first = last;
  }
}

std::string _3DV_CheckScene(const _3DV_SCENE &scene) { return Check(scene, Use::kWrite); }

void _3DV_FreeSceneArrays(_3DV_SCENE &scene) {
  FreeObjects(scene);
  FreeTracked(scene.materials);
  scene.materialcount = 0;
  FreeTracked(scene.camerapositions);
  FreeTracked(scene.cameratargets);
  scene.camerapositioncount = scene.cameratargetcount = 0;
  FreeHeap(scene.camerapositionease);
  FreeHeap(scene.cameratargetease);
  FreeHeap(scene.volumearray);
  FreeHeap(scene.volumeindex);
  for (_3DV_LIGHT &light : scene.lights) {
    FreeTracked(light.positionkeys);
    light.positionkeycount = 0;
  }
}

namespace {

bool Parse(_3DV_SCENE &scene, Input &input, std::string &error) {
  // The load works on a copy of the record and hands it over only when the
  // scene is sound; a refused file leaves the record as it was.
  Blocks blocks;
  _3DV_SCENE work = scene;
  Reader reader(work, blocks, input);
  bool ok = reader.Run(error);
  if (ok) {
    error = Check(work, Use::kRead);
    ok = error.empty();
  }
  if (ok && !(Own(work.materials, work.materialcount, blocks, SceneName(work) + " materials") &&
              Own(work.objects, work.objectcount, blocks, SceneName(work) + " objects"))) {
    error = "out of memory";
    ok = false;
  }
  if (!ok) {
    blocks.DropAll();
    return false;
  }
  Derive(work, blocks);
  scene = work;
  return true;
}

}  // namespace

bool _3DV_ParseScene(_3DV_SCENE &scene, const uint8_t *bytes, size_t size, std::string &error) {
  MemoryInput input(bytes, size);
  return Parse(scene, input, error);
}

bool _3DV_ParseSceneFile(_3DV_SCENE &scene, std::FILE *file, bool &unreadable,
                         std::string &error) {
  unreadable = true;
  struct stat info {};
  if (fstat(fileno(file), &info) != 0) {
    error = "cannot be read";
    return false;
  }
  // A plain file's size tells a chunk that claims more than the file
  // holds before any of it is read; anything else is read to its end.
  std::optional<uint64_t> size;
  if (S_ISREG(info.st_mode)) {
    const off_t at = ftello(file);
    size = static_cast<uint64_t>(std::max<off_t>(info.st_size - std::max<off_t>(at, 0), 0));
  }
  FileInput input(file, size);
  unreadable = false;
  const bool ok = Parse(scene, input, error);
  if (input.Failed() || std::ferror(file)) {
    unreadable = true;
    error = "cannot be read";
    return false;
  }
  return ok;
}

void _3DV_UploadScene(_3DV_SCENE &scene) {
  _3DV_RequireBufferObjects();
  const int64_t total = SceneFaces(scene);
  scene.volumeindexbuffer = static_cast<_3DV_GLNAME>(NewBuffer());
  dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLuint>(scene.volumeindexbuffer));
  dgl::glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLsizeiptrARB>(total * 72),
                       scene.volumeindex, GL_DYNAMIC_DRAW_ARB);
  scene.volumebuffer = static_cast<_3DV_GLNAME>(NewBuffer());

  // Every name is made and bound, but a buffer gets a data store only for
  // an array the object has: a faceless object may count vertices,
  // normals and coordinates it does not carry, and a count no file backs
  // must not size driver memory.
  auto upload = [](GLenum target, const void *array, int64_t count, int64_t element) {
    if (array && count > 0)
      dgl::glBufferDataARB(target, static_cast<GLsizeiptrARB>(count * element), array,
                           GL_STATIC_DRAW_ARB);
  };
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    _3DV_OBJECT &o = scene.objects[i];
    o.vertexbuffer = static_cast<_3DV_GLNAME>(NewBuffer());
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, static_cast<GLuint>(o.vertexbuffer));
    upload(GL_ARRAY_BUFFER_ARB, o.vertices, o.vertexcount, 12);
    o.facebuffer = static_cast<_3DV_GLNAME>(NewBuffer());
    dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, static_cast<GLuint>(o.facebuffer));
    upload(GL_ELEMENT_ARRAY_BUFFER_ARB, o.faces, o.facecount, 12);
    o.normalbuffer = static_cast<_3DV_GLNAME>(NewBuffer());
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, static_cast<GLuint>(o.normalbuffer));
    if (o.hasnormals) upload(GL_ARRAY_BUFFER_ARB, o.normals, o.vertexcount, 12);
    o.uvbuffer = static_cast<_3DV_GLNAME>(NewBuffer());
    dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, static_cast<GLuint>(o.uvbuffer));
    // Uploaded whenever the object has them: a material switched to
    // textured later still finds its coordinates.
    if (o.hasuv) upload(GL_ARRAY_BUFFER_ARB, o.uvs, o.vertexcount, 8);
  }
  // The renderers' client-memory draws would read their pointers as
  // offsets into a buffer left bound.
  dgl::glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
  dgl::glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
}

void _3DV_LoadScene(_3DV_SCENE &scene, std::string_view filename) {
  const std::string name(filename);
  _3DV_LoadLog("[3dv] load: " + name);
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(name.c_str(), "rb"),
                                                       std::fclose);
  if (!file) {
    _3DV_LoadLog("File (" + name + ") not found.");
    wmFatal("Scene file " + name + " cannot be opened.");
  }
  std::string error;
  bool unreadable = false;
  if (!_3DV_ParseSceneFile(scene, file.get(), unreadable, error)) {
    if (unreadable) wmFatal("Scene file " + name + " " + error + ".");
    wmFatal("Scene file " + name + " is damaged: " + error);
  }
  file.reset();
  _3DV_UploadScene(scene);
}
