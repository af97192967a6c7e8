// A recording OpenGL for tests that need no context.
//
// While a GlRecorder lives, every entry point of the demo side's variables
// (dgl::) and of the framework's tables (gl_stub_table, glu_stub_table)
// points at a stub that appends the call, with its arguments, to the
// recorder and returns zero. A few queries answer from the recorder's
// tables instead, so code that asks the context something can be driven:
// glGetString, glGetIntegerv, glGetFloatv, glGenTextures and glGetError.
// Draws from client arrays and buffer uploads read the memory they are
// given, as a driver would.
// The destructor puts every entry point back as it was.
//
// One recorder at a time; main thread only. A test program of another
// folder uses it by adding tests/window/gl_recorder.cpp to its sources and
// including "window/gl_recorder.h".
#pragma once

#include <GL/gl.h>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ember_test {

struct GlCall {
  std::string name;
  // One entry per argument: its value as a number (0 for pointers), and
  // the pointer (NULL for numbers).
  std::vector<double> args;
  std::vector<const void *> pointers;
  // For glDrawArrays and glDrawElements of float arrays in client memory
  // (not in a buffer object): the vertices the
  // draw reads from each enabled client array (GL_VERTEX_ARRAY,
  // GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_NORMAL_ARRAY), copied at the
  // call, components in a row. Empty for every other call.
  std::map<GLenum, std::vector<float>> arrays;
  // The components per vertex of those arrays.
  std::map<GLenum, int> sizes;
  // For glBufferDataARB and glBufferSubDataARB: the bytes handed over,
  // copied at the call as a driver reads them (none for a null pointer),
  // so a short array shows under the sanitizer.
  std::vector<unsigned char> data = {};
};

class GlRecorder {
public:
  GlRecorder();
  ~GlRecorder();
  GlRecorder(const GlRecorder &) = delete;
  GlRecorder &operator=(const GlRecorder &) = delete;

  const std::vector<GlCall> &calls() const { return calls_; }
  // Number of calls of that entry point.
  size_t Count(std::string_view name) const;
  // The nth call (from 0) of that entry point, or NULL.
  const GlCall *Find(std::string_view name, size_t nth = 0) const;
  // The names of all calls, in order.
  std::vector<std::string> Names() const;
  void Clear() { calls_.clear(); }

  // Answers. glGetString(name) gives strings[name] (NULL when absent);
  // glGetIntegerv and glGetFloatv copy the listed values (nothing when
  // absent); glGenTextures hands out next_texture, next_texture + 1, ...;
  // glGetError returns error once, then GL_NO_ERROR.
  std::map<GLenum, std::string> strings;
  std::map<GLenum, std::vector<GLint>> integers;
  std::map<GLenum, std::vector<GLfloat>> floats;
  GLuint next_texture = 1;
  GLenum error = GL_NO_ERROR;

  // The recorder in use, for the stubs.
  static GlRecorder *active;
  GlCall &Append(const char *name);

  // Client array state as the recorded calls set it.
  struct ClientArray {
    bool enabled = false;
    int size = 0;
    GLsizei stride = 0;
    const void *pointer = nullptr;
    bool in_buffer = false;  // the pointer is an offset into a buffer object
  };
  std::map<GLenum, ClientArray> client_arrays;
  // The buffer objects bound as GL_ARRAY_BUFFER and GL_ELEMENT_ARRAY_BUFFER.
  GLuint array_buffer = 0, element_buffer = 0;

private:
  struct Saved;
  std::vector<GlCall> calls_;
  Saved *saved_;
};

}  // namespace ember_test
