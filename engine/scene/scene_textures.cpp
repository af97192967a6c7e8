// Scene textures and release; see scene_textures.h.
#include "engine/scene/scene_textures.h"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/scene/scene_reader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"

namespace {

// Filter type of environment maps and particle textures.
constexpr int32_t kMipmappedLinear = 3;
constexpr size_t kPathMax = 255;

int32_t Load(std::string_view folder, const _3DV_SHORTSTRING &name, int32_t filter) {
  std::string path;
  path.append(folder).append("/").append(name.view());
  if (path.size() > kPathMax) path.resize(kPathMax);
  return txTexLoad(path, filter);
}

bool HasParticleTexture(const _3DV_OBJECT &o) {
  return o.particledata.particleenabled && o.particledata.particletexture.length > 0;
}

}  // namespace

void _3DV_LoadSceneTextures(_3DV_SCENE &scene, std::string_view folder) {
  for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
    _3DV_MATERIAL &m = scene.materials[i];
    if (m.textured) {
      if (m.texturename.view() == _3DV_FRAMEBUFFER_TEXTURE) {
        m.texid = _3DV_GLNAME(_3DV_RenderTargets[0]);
      } else {
        m.texid = Load(folder, m.texturename, m.magtype);
        m.bpp = uint8_t(txTexBpp(m.texid) & 0xFF);
      }
    }
    if (m.envmap) m.envmaptexid = Load(folder, m.envmaptexture, kMipmappedLinear);
  }
  for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
    _3DV_PARTICLEDATA &p = scene.objects[i].particledata;
    if (HasParticleTexture(scene.objects[i])) {
      p.particletexid = Load(folder, p.particletexture, kMipmappedLinear);
      ++p.particletexrefs;
    }
  }
}

void _3DV_FreeSceneTextures(_3DV_SCENE &scene) {
  for (int32_t i = 0; scene.materials && i < scene.materialcount; ++i) {
    const _3DV_MATERIAL &m = scene.materials[i];
    // The frame-buffer texture is no slot's, so the slot table skips it.
    if (m.textured) txTexRelease(m.texid);
    if (m.envmap) txTexRelease(m.envmaptexid);
  }
  // The player switches emitters on and off after loading, so neither the
  // flag nor the kept name tells whether a load took a particle texture:
  // the count does. As for the materials, each free gives back one load's
  // reference, and the name stays.
  for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
    _3DV_PARTICLEDATA &p = scene.objects[i].particledata;
    if (p.particletexrefs > 0) {
      txTexRelease(p.particletexid);
      --p.particletexrefs;
    }
  }
}

void _3DV_FreeScene(_3DV_SCENE &scene) {
  // The buffer names go before the objects that hold them are freed.
  std::vector<GLuint> buffers;
  auto buffer = [&](_3DV_GLNAME &name) {
    if (name != 0) buffers.push_back(GLuint(name));
    name = 0;
  };
  for (int32_t i = 0; scene.objects && i < scene.objectcount; ++i) {
    _3DV_OBJECT &o = scene.objects[i];
    buffer(o.facebuffer);
    buffer(o.vertexbuffer);
    buffer(o.normalbuffer);
    buffer(o.uvbuffer);
  }
  buffer(scene.volumebuffer);
  buffer(scene.volumeindexbuffer);

  // Chunk arrays and the arrays derived after loading come from two
  // allocators; the reader's release hands each back to its own.
  _3DV_FreeSceneArrays(scene);
  scene.passcount = scene.maxfacecount = 0;

  std::sort(buffers.begin(), buffers.end());
  buffers.erase(std::unique(buffers.begin(), buffers.end()), buffers.end());
  if (!buffers.empty()) {
    _3DV_RequireBufferObjects();
    dgl::glDeleteBuffersARB(GLsizei(buffers.size()), buffers.data());
  }
}
