// The vertex and face dumps, streamed object by object.
#include "engine/anim/geometry_dump.h"

#include <string>

#include "engine/anim/text_file.h"

void _3DV_DumpGeometry(const _3DV_SCENE &scene, std::string_view base) {
  const int32_t objects = scene.objects ? scene.objectcount : 0;
  {
    _3DV_TextFile file("Vertex dump", std::string(base) + "v");
    for (int32_t i = 0; i < objects; ++i) {
      const _3DV_OBJECT &o = scene.objects[i];
      file.Write(std::string(o.name.view()) + "\n \n");
      for (int32_t v = 0; o.vertices && v < o.vertexcount; ++v) {
        const _3DV_VECTOR &p = o.vertices[v];
        file.Write(std::to_string(v) + " " + _3DV_FixedText(p.x) + " " + _3DV_FixedText(p.y) +
                   " " + _3DV_FixedText(p.z) + "\n");
      }
    }
    file.Close();
  }
  _3DV_TextFile file("Face dump", std::string(base) + "f");
  for (int32_t i = 0; i < objects; ++i) {
    const _3DV_OBJECT &o = scene.objects[i];
    file.Write(std::string(o.name.view()) + "\n \n");
    for (int32_t f = 0; o.faces && f < o.facecount; ++f) {
      const _3DV_FACE &t = o.faces[f];
      file.Write(std::to_string(f) + " " + std::to_string(t.v[0]) + " " + std::to_string(t.v[1]) +
                 " " + std::to_string(t.v[2]) + "\n");
    }
  }
  file.Close();
}
