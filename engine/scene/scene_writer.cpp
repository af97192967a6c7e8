// The scene-file writer.
#include "engine/scene/scene_writer.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/render/engine_state.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "window/wm.h"

namespace {

void PutLongInt(std::vector<uint8_t> &out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                         static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)});
}

// The chunks of one scene, in file order.
class Writer {
public:
  Writer(const _3DV_SCENE &scene, std::vector<uint8_t> &out) : s_(scene), out_(out) {}
  void Run();

private:
  template <typename T>
  void One(uint8_t type, uint8_t id, const T &value, int32_t index = 0) {
    static_assert(sizeof(T) <= 256);
    _3DV_WriteChunk(out_, type, id, 1, index, &value);
  }
  void Many(uint8_t type, uint8_t id, int32_t count, const void *data, int32_t index) {
    _3DV_WriteChunk(out_, type, id, count, index, data);
  }
  void Material(int32_t m);
  void Object(int32_t i);
  void Light(int32_t l);

  const _3DV_SCENE &s_;
  std::vector<uint8_t> &out_;
};

void Writer::Run() {
  const int32_t chunkcount = _3DV_ChunkCount(s_);
  One(_3DV_TYPE_LONGINT, 87, chunkcount);
  One(_3DV_TYPE_BYTE, 1, _3DV_FileVersionMajor);
  One(_3DV_TYPE_BYTE, 2, _3DV_FileVersionMinor);
  One(_3DV_TYPE_SHORTSTRING, 3, s_.name);
  One(_3DV_TYPE_LONGINT, 4, s_.reserved);
  One(_3DV_TYPE_LONGINT, 5, s_.materialcount);
  One(_3DV_TYPE_LONGINT, 6, s_.objectcount);
  One(_3DV_TYPE_SINGLE, 7, s_.camerafov);
  One(_3DV_TYPE_SINGLE, 8, s_.cameranear);
  One(_3DV_TYPE_SINGLE, 9, s_.camerafar);
  One(_3DV_TYPE_LONGINT, 10, s_.camerapositioncount);
  One(_3DV_TYPE_LONGINT, 11, s_.cameratargetcount);
  One(_3DV_TYPE_SINGLE, 84, s_.viewdistance);
  One(_3DV_TYPE_SINGLE, 90, s_.lightfactor);
  for (int32_t m = 0; m < s_.materialcount; ++m) Material(m);
  for (int32_t i = 0; i < s_.objectcount; ++i) Object(i);
  if (s_.camerapositioncount > 0)
    Many(_3DV_TYPE_KEYVECTOR, 70, s_.camerapositioncount, s_.camerapositions, 0);
  if (s_.cameratargetcount > 0)
    Many(_3DV_TYPE_KEYVECTOR, 71, s_.cameratargetcount, s_.cameratargets, 0);
  for (int32_t l = 0; l < _3DV_LIGHT_COUNT; ++l) Light(l);
}

void Writer::Material(int32_t m) {
  const _3DV_MATERIAL &x = s_.materials[m];
  One(_3DV_TYPE_SHORTSTRING, 12, x.name, m);
  One(_3DV_TYPE_SHORTSTRING, 13, x.texturename, m);
  One(_3DV_TYPE_SHORTSTRING, 14, x.envmaptexture, m);
  One(_3DV_TYPE_SINGLE, 15, x.transparency, m);
  One(_3DV_TYPE_SINGLE, 16, x.utile, m);
  One(_3DV_TYPE_SINGLE, 17, x.vtile, m);
  One(_3DV_TYPE_SINGLE, 18, x.alphatest, m);
  One(_3DV_TYPE_SINGLE, 19, x.constantalpha, m);
  One(_3DV_TYPE_SINGLE, 20, x.flaresize, m);
  One(_3DV_TYPE_SINGLE, 92, x.envalpha, m);
  One(_3DV_TYPE_VECTOR, 93, x.envcolor, m);
  One(_3DV_TYPE_BOOLEAN, 94, x.envblend, m);
  One(_3DV_TYPE_LONGINT, 21, x.magtype, m);
  One(_3DV_TYPE_LONGINT, 22, x.shine, m);
  One(_3DV_TYPE_BOOLEAN, 23, x.envmap, m);
  One(_3DV_TYPE_BOOLEAN, 24, x.receivelight, m);
  One(_3DV_TYPE_BOOLEAN, 25, x.textured, m);
  One(_3DV_TYPE_BYTE, 26, x.depthtest, m);
  One(_3DV_TYPE_BYTE, 82, x.depthfunc, m);
  One(_3DV_TYPE_BYTE, 27, x.blend, m);
  One(_3DV_TYPE_BYTE, 28, x.texturewrap, m);
  One(_3DV_TYPE_BYTE, 29, x.bpp, m);
  One(_3DV_TYPE_VECTOR, 30, x.ambient, m);
  One(_3DV_TYPE_VECTOR, 31, x.diffuse, m);
  One(_3DV_TYPE_VECTOR, 32, x.specular, m);
}

void Writer::Object(int32_t i) {
  const _3DV_OBJECT &o = s_.objects[i];
  const _3DV_PARTICLEDATA &p = o.particledata;
  One(_3DV_TYPE_SHORTSTRING, 33, o.name, i);
  One(_3DV_TYPE_LONGINT, 34, o.vertexcount, i);
  One(_3DV_TYPE_LONGINT, 35, o.facecount, i);
  One(_3DV_TYPE_LONGINT, 36, o.material, i);
  One(_3DV_TYPE_LONGINT, 37, o.positionkeycount, i);
  One(_3DV_TYPE_LONGINT, 38, o.rotationkeycount, i);
  One(_3DV_TYPE_LONGINT, 39, o.scalekeycount, i);
  One(_3DV_TYPE_LONGINT, 40, o.stripcount, i);
  One(_3DV_TYPE_LONGINT, 41, o.passno, i);
  One(_3DV_TYPE_BOOLEAN, 42, o.hasuv, i);
  One(_3DV_TYPE_BOOLEAN, 43, o.hascolors, i);
  One(_3DV_TYPE_BOOLEAN, 44, o.hasnormals, i);
  One(_3DV_TYPE_BOOLEAN, 45, o.visible, i);
  One(_3DV_TYPE_BOOLEAN, 46, o.backfacecull, i);
  One(_3DV_TYPE_BOOLEAN, 88, o.castshadow, i);
  One(_3DV_TYPE_BOOLEAN, 89, o.uselightfactor, i);
  One(_3DV_TYPE_BYTE, 83, o.distancecull, i);
  One(_3DV_TYPE_BYTE, 47, o.rendermode, i);
  One(_3DV_TYPE_MATRIX, 48, o.matrix, i);
  One(_3DV_TYPE_VECTOR, 49, o.pivot, i);
  One(_3DV_TYPE_VECTOR, 91, o.texturescroll, i);
  One(_3DV_TYPE_BOOLEAN, 95, o.fog, i);
  One(_3DV_TYPE_BYTE, 96, o.fogmode, i);
  One(_3DV_TYPE_VECTOR, 97, o.fogparam, i);
  One(_3DV_TYPE_RGBA, 98, o.fogcolor, i);
  One(_3DV_TYPE_SHORTSTRING, 59, p.particletexture, i);
  One(_3DV_TYPE_LONGINT, 60, p.newparticle, i);
  One(_3DV_TYPE_SINGLE, 61, p.power, i);
  One(_3DV_TYPE_SINGLE, 62, p.deltapower, i);
  One(_3DV_TYPE_SINGLE, 63, p.size, i);
  One(_3DV_TYPE_BOOLEAN, 64, p.particleenabled, i);
  One(_3DV_TYPE_BYTE, 65, p.colorattrib, i);
  One(_3DV_TYPE_VECTOR, 66, p.deltavector, i);
  One(_3DV_TYPE_VECTOR, 67, p.deltavectorspread, i);
  One(_3DV_TYPE_VECTOR, 68, p.color, i);
  One(_3DV_TYPE_VECTOR, 69, p.colorspread, i);
  Many(_3DV_TYPE_WORD, 50, o.stripcount, o.strip, i);
  Many(_3DV_TYPE_VECTOR, 51, o.vertexcount, o.vertices, i);
  Many(_3DV_TYPE_FACE, 52, o.facecount, o.faces, i);
  Many(_3DV_TYPE_FACE, 99, o.facecount, o.origfaces, i);
  Many(_3DV_TYPE_FACE, 86, o.facecount, o.neighbours, i);
  if (o.hascolors) Many(_3DV_TYPE_VECTOR, 53, o.vertexcount, o.colors, i);
  if (o.hasuv) Many(_3DV_TYPE_TEXTCOORD, 54, o.vertexcount, o.uvs, i);
  if (o.hasnormals) Many(_3DV_TYPE_VECTOR, 55, o.vertexcount, o.normals, i);
  if (o.positionkeycount > 0)
    Many(_3DV_TYPE_KEYVECTOR, 56, o.positionkeycount, o.positionkeys, i);
  if (o.rotationkeycount > 0) Many(_3DV_TYPE_KEYQUAT, 57, o.rotationkeycount, o.rotationkeys, i);
  if (o.scalekeycount > 0) Many(_3DV_TYPE_KEYVECTOR, 58, o.scalekeycount, o.scalekeys, i);
}

void Writer::Light(int32_t l) {
  const _3DV_LIGHT &x = s_.lights[l];
  One(_3DV_TYPE_SHORTSTRING, 72, x.name, l);
  One(_3DV_TYPE_LONGINT, 73, x.positionkeycount, l);
  One(_3DV_TYPE_BOOLEAN, 74, x.enabled, l);
  One(_3DV_TYPE_VECTOR, 75, x.pos, l);
  One(_3DV_TYPE_VECTOR, 76, x.ambient, l);
  One(_3DV_TYPE_VECTOR, 77, x.diffuse, l);
  One(_3DV_TYPE_VECTOR, 78, x.specular, l);
  if (x.positionkeycount > 0)
    Many(_3DV_TYPE_KEYVECTOR, 79, x.positionkeycount, x.positionkeys, l);
}

}  // namespace

int32_t _3DV_ChunkCount(const _3DV_SCENE &scene) {
  int32_t count = 12 + 22 * scene.materialcount;
  for (int32_t i = 0; i < scene.objectcount; ++i) {
    const _3DV_OBJECT &o = scene.objects[i];
    count += 33 + (o.hascolors ? 1 : 0) + (o.hasuv ? 1 : 0) + (o.hasnormals ? 2 : 0) +
             (o.positionkeycount > 0) + (o.rotationkeycount > 0) + (o.scalekeycount > 0);
  }
  count += (scene.camerapositioncount > 0) + (scene.cameratargetcount > 0);
  for (const _3DV_LIGHT &light : scene.lights) count += 7 + (light.positionkeycount > 0);
  return count;
}

void _3DV_WriteChunk(std::vector<uint8_t> &out, uint8_t type, uint8_t id, int32_t count,
                     int32_t index, const void *data) {
  const int32_t size = count * _3DV_TypeSize[type];
  out.insert(out.end(), {'Z', '!', type, id});
  PutLongInt(out, count);
  PutLongInt(out, size);
  PutLongInt(out, 0);
  PutLongInt(out, index);
  if (size <= 0) return;
  const auto *bytes = static_cast<const uint8_t *>(data);
  if (type == _3DV_TYPE_SHORTSTRING) {
    // Whatever lies after the characters stays in memory.
    for (int32_t e = 0; e < count; ++e) {
      const auto &text = static_cast<const _3DV_SHORTSTRING *>(data)[e];
      out.push_back(text.length);
      out.insert(out.end(), text.text, text.text + text.length);
      out.insert(out.end(), sizeof text.text - text.length, 0);
    }
    return;
  }
  out.insert(out.end(), bytes, bytes + size);
}

bool _3DV_WriteSceneBytes(const _3DV_SCENE &scene, std::vector<uint8_t> &out, std::string &error) {
  error = _3DV_CheckScene(scene);
  for (int32_t i = 0; error.empty() && i < scene.objectcount; ++i) {
    const _3DV_OBJECT &o = scene.objects[i];
    // A byte size is a LongInt.
    const int32_t most = INT32_MAX / 20;
    if (o.vertexcount > most || o.facecount > most || o.positionkeycount > most ||
        o.rotationkeycount > most || o.scalekeycount > most || o.stripcount > most)
      error = "object " + std::to_string(i) + ": more entries than a chunk can hold";
  }
  const int32_t most_keys = INT32_MAX / 16;
  if (error.empty() && (scene.camerapositioncount > most_keys || scene.cameratargetcount > most_keys))
    error = "more camera keys than a chunk can hold";
  for (const _3DV_LIGHT &light : scene.lights) {
    if (error.empty() && light.positionkeycount > most_keys)
      error = "more light keys than a chunk can hold";
  }
  if (!error.empty()) return false;
  Writer(scene, out).Run();
  return true;
}

bool _3DV_SaveScene(const _3DV_SCENE &scene, std::string_view filename) {
  const std::string name(filename);
  std::vector<uint8_t> bytes;
  std::string error;
  if (!_3DV_WriteSceneBytes(scene, bytes, error)) {
    _3DV_Log("[3dv] save: " + name + " refused: " + error);
    return false;
  }
  std::FILE *file = std::fopen(name.c_str(), "wb");
  if (!file) wmFatal("Scene file " + name + " cannot be created: " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    const int code = written ? errno : write_error;
    std::remove(name.c_str());
    wmFatal("Scene file " + name + " cannot be written: " + std::strerror(code));
  }
  return true;
}
