// The recording OpenGL: one stub per entry point name, made from the entry
// point's own type, so every argument is recorded as what it is.
#include "gl_recorder.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <type_traits>

#include "window/gl_demo.h"
#include "window/gl_stub.h"

namespace ember_test {

GlRecorder *GlRecorder::active = nullptr;

namespace {

// A string literal usable as a template argument, so each entry point name
// gets a stub of its own and both tables share the stub of a name.
template <size_t N>
struct FixedName {
  char text[N];
  constexpr FixedName(const char (&s)[N]) { std::copy_n(s, N, text); }
};

template <typename T>
void Push(GlCall &call, T value) {
  if constexpr (std::is_pointer_v<T>) {
    call.args.push_back(0);
    call.pointers.push_back(reinterpret_cast<const void *>(value));
  } else if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
    call.args.push_back(static_cast<double>(value));
    call.pointers.push_back(nullptr);
  } else {
    static_assert(std::is_pointer_v<T>, "an argument type the recorder cannot keep");
  }
}

GlCall &Record(const char *name) {
  if (!GlRecorder::active) {
    fprintf(stderr, "gl_recorder: %s called with no recorder\n", name);
    abort();
  }
  return GlRecorder::active->Append(name);
}

template <FixedName Name, typename F>
struct Stub;

template <FixedName Name, typename R, typename... A>
struct Stub<Name, R (*)(A...)> {
  static R Call(A... a) {
    GlCall &call = Record(Name.text);
    (Push(call, a), ...);
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

// The answering queries.

const GLubyte *GetString(GLenum name) {
  GlCall &call = Record("glGetString");
  Push(call, name);
  auto &strings = GlRecorder::active->strings;
  auto it = strings.find(name);
  return it == strings.end() ? nullptr : reinterpret_cast<const GLubyte *>(it->second.c_str());
}

void GetIntegerv(GLenum name, GLint *out) {
  GlCall &call = Record("glGetIntegerv");
  Push(call, name);
  Push(call, out);
  auto &integers = GlRecorder::active->integers;
  auto it = integers.find(name);
  if (it != integers.end() && out) std::copy(it->second.begin(), it->second.end(), out);
}

void GetFloatv(GLenum name, GLfloat *out) {
  GlCall &call = Record("glGetFloatv");
  Push(call, name);
  Push(call, out);
  auto &floats = GlRecorder::active->floats;
  auto it = floats.find(name);
  if (it != floats.end() && out) std::copy(it->second.begin(), it->second.end(), out);
}

void GenTextures(GLsizei n, GLuint *names) {
  GlCall &call = Record("glGenTextures");
  Push(call, n);
  Push(call, names);
  for (GLsizei i = 0; i < n && names; ++i) names[i] = GlRecorder::active->next_texture++;
}

GLenum GetError() {
  Record("glGetError");
  GLenum e = GlRecorder::active->error;
  GlRecorder::active->error = GL_NO_ERROR;
  return e;
}

// Client arrays: their state is kept so a draw can copy what it reads.

void ClientState(GLenum array, bool on, const char *name) {
  GlCall &call = Record(name);
  Push(call, array);
  GlRecorder::active->client_arrays[array].enabled = on;
}
void EnableClientState(GLenum array) { ClientState(array, true, "glEnableClientState"); }
void DisableClientState(GLenum array) { ClientState(array, false, "glDisableClientState"); }

void SetPointer(GlCall &call, GLenum array, GLint size, GLenum type, GLsizei stride,
                const void *pointer) {
  GlRecorder::ClientArray &a = GlRecorder::active->client_arrays[array];
  a.size = type == GL_FLOAT ? size : 0;  // only float arrays are copied
  a.stride = stride;
  a.pointer = pointer;
  a.in_buffer = GlRecorder::active->array_buffer != 0;
  (void)call;
}
void VertexPointer(GLint size, GLenum type, GLsizei stride, const void *pointer) {
  GlCall &call = Record("glVertexPointer");
  Push(call, size), Push(call, type), Push(call, stride), Push(call, pointer);
  SetPointer(call, GL_VERTEX_ARRAY, size, type, stride, pointer);
}
void ColorPointer(GLint size, GLenum type, GLsizei stride, const void *pointer) {
  GlCall &call = Record("glColorPointer");
  Push(call, size), Push(call, type), Push(call, stride), Push(call, pointer);
  SetPointer(call, GL_COLOR_ARRAY, size, type, stride, pointer);
}
void TexCoordPointer(GLint size, GLenum type, GLsizei stride, const void *pointer) {
  GlCall &call = Record("glTexCoordPointer");
  Push(call, size), Push(call, type), Push(call, stride), Push(call, pointer);
  SetPointer(call, GL_TEXTURE_COORD_ARRAY, size, type, stride, pointer);
}
void NormalPointer(GLenum type, GLsizei stride, const void *pointer) {
  GlCall &call = Record("glNormalPointer");
  Push(call, type), Push(call, stride), Push(call, pointer);
  SetPointer(call, GL_NORMAL_ARRAY, 3, type, stride, pointer);
}

void CopyArrays(GlCall &call, const std::vector<GLint> &indices) {
  for (const auto &[array, a] : GlRecorder::active->client_arrays) {
    if (!a.enabled || a.size == 0 || !a.pointer || a.in_buffer) continue;
    const auto *base = static_cast<const uint8_t *>(a.pointer);
    const size_t step = a.stride ? static_cast<size_t>(a.stride) : a.size * sizeof(float);
    std::vector<float> &out = call.arrays[array];
    call.sizes[array] = a.size;
    for (GLint i : indices) {
      const auto *v = reinterpret_cast<const float *>(base + step * static_cast<size_t>(i));
      out.insert(out.end(), v, v + a.size);
    }
  }
}

void DrawArrays(GLenum mode, GLint first, GLsizei count) {
  GlCall &call = Record("glDrawArrays");
  Push(call, mode), Push(call, first), Push(call, count);
  std::vector<GLint> indices;
  for (GLsizei i = 0; i < count; ++i) indices.push_back(first + i);
  CopyArrays(call, indices);
}

void DrawElements(GLenum mode, GLsizei count, GLenum type, const void *list) {
  GlCall &call = Record("glDrawElements");
  Push(call, mode), Push(call, count), Push(call, type), Push(call, list);
  if (GlRecorder::active->element_buffer != 0 || !list) return;
  std::vector<GLint> indices;
  for (GLsizei i = 0; i < count; ++i) {
    if (type == GL_UNSIGNED_INT) indices.push_back(static_cast<GLint>(static_cast<const GLuint *>(list)[i]));
    if (type == GL_UNSIGNED_SHORT) indices.push_back(static_cast<const GLushort *>(list)[i]);
    if (type == GL_UNSIGNED_BYTE) indices.push_back(static_cast<const GLubyte *>(list)[i]);
  }
  CopyArrays(call, indices);
}

// Buffer uploads: the driver copies size bytes from data at the call.
void CopyData(GlCall &call, const void *data, GLsizeiptrARB size) {
  if (!data || size <= 0) return;
  const auto *bytes = static_cast<const unsigned char *>(data);
  call.data.assign(bytes, bytes + size);
}
void BufferData(GLenum target, GLsizeiptrARB size, const void *data, GLenum usage) {
  GlCall &call = Record("glBufferDataARB");
  Push(call, target), Push(call, size), Push(call, data), Push(call, usage);
  CopyData(call, data, size);
}
void BufferSubData(GLenum target, GLintptrARB offset, GLsizeiptrARB size, const void *data) {
  GlCall &call = Record("glBufferSubDataARB");
  Push(call, target), Push(call, offset), Push(call, size), Push(call, data);
  CopyData(call, data, size);
}

template <FixedName Name>
void BindBuffer(GLenum target, GLuint buffer) {
  GlCall &call = Record(Name.text);
  Push(call, target), Push(call, buffer);
  if (target == GL_ARRAY_BUFFER) GlRecorder::active->array_buffer = buffer;
  if (target == GL_ELEMENT_ARRAY_BUFFER) GlRecorder::active->element_buffer = buffer;
}

}  // namespace

struct GlRecorder::Saved {
  struct Demo {
#define GL_ENTRY(name, type) type name;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#include "window/glu_names.inc"
#undef GL_ENTRY
  } demo;
  gl_stub_table_t gl;
  glu_stub_table_t glu;
};

GlRecorder::GlRecorder() : saved_(new Saved) {
  if (active) {
    fprintf(stderr, "gl_recorder: one recorder at a time\n");
    abort();
  }
  active = this;
#define GL_ENTRY(name, type)         \
  saved_->demo.name = dgl::name;     \
  dgl::name = &Stub<#name, type>::Call;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#include "window/glu_names.inc"
#undef GL_ENTRY
  saved_->gl = gl_stub_table;
  saved_->glu = glu_stub_table;
#define GL_ENTRY(name, type) gl_stub_table.name = &Stub<#name, type>::Call;
#include "window/gl_stub_names.inc"
#undef GL_ENTRY
#define GL_ENTRY(name, type) glu_stub_table.name = &Stub<#name, type>::Call;
#include "window/glu_stub_names.inc"
#undef GL_ENTRY

  dgl::glGetString = gl_stub_table.glGetString = GetString;
  dgl::glGetIntegerv = gl_stub_table.glGetIntegerv = GetIntegerv;
  dgl::glGetFloatv = gl_stub_table.glGetFloatv = GetFloatv;
  dgl::glGenTextures = gl_stub_table.glGenTextures = GenTextures;
  dgl::glGetError = gl_stub_table.glGetError = GetError;
  dgl::glEnableClientState = gl_stub_table.glEnableClientState = EnableClientState;
  dgl::glDisableClientState = gl_stub_table.glDisableClientState = DisableClientState;
  dgl::glVertexPointer = gl_stub_table.glVertexPointer = VertexPointer;
  dgl::glColorPointer = gl_stub_table.glColorPointer = ColorPointer;
  dgl::glTexCoordPointer = gl_stub_table.glTexCoordPointer = TexCoordPointer;
  dgl::glNormalPointer = gl_stub_table.glNormalPointer = NormalPointer;
  dgl::glDrawArrays = gl_stub_table.glDrawArrays = DrawArrays;
  dgl::glDrawElements = gl_stub_table.glDrawElements = DrawElements;
  dgl::glBindBufferARB = gl_stub_table.glBindBufferARB = BindBuffer<"glBindBufferARB">;
  dgl::glBufferDataARB = gl_stub_table.glBufferDataARB = BufferData;
  dgl::glBufferSubDataARB = gl_stub_table.glBufferSubDataARB = BufferSubData;
  gl_stub_table.glBindBuffer = BindBuffer<"glBindBuffer">;
}

GlRecorder::~GlRecorder() {
#define GL_ENTRY(name, type) dgl::name = saved_->demo.name;
#include "window/gl_names_core.inc"
#include "window/gl_names_ext.inc"
#include "window/glu_names.inc"
#undef GL_ENTRY
  gl_stub_table = saved_->gl;
  glu_stub_table = saved_->glu;
  delete saved_;
  active = nullptr;
}

GlCall &GlRecorder::Append(const char *name) {
  calls_.push_back(GlCall{name, {}, {}, {}, {}});
  return calls_.back();
}

size_t GlRecorder::Count(std::string_view name) const {
  return static_cast<size_t>(
      std::count_if(calls_.begin(), calls_.end(), [&](const GlCall &c) { return c.name == name; }));
}

const GlCall *GlRecorder::Find(std::string_view name, size_t nth) const {
  for (const GlCall &c : calls_) {
    if (c.name == name && nth-- == 0) return &c;
  }
  return nullptr;
}

std::vector<std::string> GlRecorder::Names() const {
  std::vector<std::string> names;
  names.reserve(calls_.size());
  for (const GlCall &c : calls_) names.push_back(c.name);
  return names;
}

}  // namespace ember_test
