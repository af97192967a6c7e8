// The check that every entry point the program calls was found; the name
// tables are window/gl_calls.inc. Main thread only.
#include "window/gl_calls.h"

#include <string>

#include "window/gl_demo.h"
#include "window/gl_stub.h"
#include "window/wm.h"

namespace {

struct glCall_t {
  const char *name;
  bool (*present)();
};

// Each table ends with an empty name, so an empty table is still a table.
const glCall_t kCoreCalls[] = {
#define GL_CALL_CORE(n) {#n, [] { return dgl::n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t kExtCalls[] = {
#define GL_CALL_EXT(n) {#n, [] { return dgl::n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t kGluCalls[] = {
#define GLU_CALL(n) {#n, [] { return dgl::n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t kStubCalls[] = {
#define GL_STUB_CALL(n) {#n, [] { return gl_stub_table.n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t kGluStubCalls[] = {
#define GLU_STUB_CALL(n) {#n, [] { return glu_stub_table.n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t kEngineCalls[] = {
#define GL_CALL_ENGINE(n) {#n, [] { return dgl::n != nullptr; }},
#include "window/gl_calls.inc"
    {nullptr, nullptr}};

const glCall_t *const kTables[] = {kCoreCalls,  kExtCalls,     kGluCalls,
                                   kStubCalls,  kGluStubCalls, kEngineCalls};

}  // namespace

const char *glFirstMissingCall(glCallTable_t table) {
  if (table < GL_CALLS_CORE || table > GL_CALLS_ENGINE) return nullptr;
  for (const glCall_t *c = kTables[table]; c->name; ++c) {
    if (!c->present()) return c->name;
  }
  return nullptr;
}

void glRequireCalls(glCallTable_t table, const char *what) {
  if (const char *missing = glFirstMissingCall(table)) {
    wmFatal(std::string(what ? what : "OpenGL") + " entry point not found: " + missing + ".");
  }
}
