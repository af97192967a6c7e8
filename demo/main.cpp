// The program entry of Emberfield.
//
// Start-up runs in two phases, both spelled out here rather than left to the
// order of static constructors, which no one controls across libraries.
//
// Phase one: every module's initialisation, once, in this fixed order. The
// base module starts the framework with the program's arguments and makes
// the program's folder the current folder; the modules after it only
// register their init and exit procedures in the framework's subsystem
// slots (the window manager in slot 1, the GL and GLU units in 2 and 3, the
// texture loader in 4), install the fatal-error handler, or reset their own
// tables.
//
// Phase two: the demo's main program. It sets its defaults, runs the init
// slots once (0..31), mounts the data pack that lies three folders above the
// program's folder, opens the video, loads, plays the timeline and ends.
//
// Ends: the orderly shutdown (exit slots 31..0, framework shutdown, process
// exit) on the paths that need it; the timeline's own end stops the music,
// closes the window and ends the process without it.
#include "demo/demo_main.h"
#include "demo/shell.h"
#include "engine/anim/anim.h"
#include "engine/render/engine_state.h"
#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "framework/sys.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

// Phase one, in the program's module order.
void InitialiseModules(int argc, char **argv) {
  // 1. The runtime: done by the time main runs.
  // 2. Base: framework start-up, log, memory, options, program folder.
  pasBaseInit(argc, argv);
  // 3. Window manager: registers slot 1 "Window manager ...".
  pasWmRegister();
  // 4. GL and GLU entry tables: register slots 2 "GL unit ..." and 3
  //    "GLU unit ...".
  glRegister();
  gluRegister();
  // 5. Texture loader: registers slot 4 "Texture loader ...".
  txLoaderRegister();
  // 6. Start-up shell: installs its fatal-error handler as the framework's
  //    error callback.
  InstallFatalErrorHandler();
  // 7. Texture slot table: resets its slots.
  txTexUnitInit();
  // 8. 3D engine modules: animation, engine defaults, the scene file's
  //    element-size table, the scene file unit (which needs the table).
  _3DV_AnimUnitInit();
  _3DV_EngineUnitInit();
  _3DV_InitTypeSizes();
  _3DV_LoaderUnitInit();
}

}  // namespace

int main(int argc, char **argv) {
  InitialiseModules(argc, argv);
  DemoMain();
}
