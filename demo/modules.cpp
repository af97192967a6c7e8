// Phase one of the start-up: every module's initialisation, once, in the
// program's fixed module order. The program runs it first thing; the scene
// harness and the frame benchmark run the same sequence, so what they draw
// starts as the program does.
#include "demo/modules.h"

#include <malloc.h>

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

// Phase one, in the program's module order.
void InitialiseModules(int argc, char **argv) {
  // 1. The runtime: done by the time main runs. The heap keeps up to
  //    256 MB of freed memory rather than handing it back at once: the
  //    GL driver allocates and frees megabytes of vertex data for every
  //    large draw, and giving that back each time made every frame fault
  //    the same pages in again (half the time of the box wall).
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
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
