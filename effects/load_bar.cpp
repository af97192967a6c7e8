// The layer-effect module's own loading bar, advanced by the 3D engine's
// effect-project loading. No operation loads its interface, so a step
// draws nothing and only shows the frame; the counter still advances so
// the bar's time follows the steps taken.
//
// Main thread, with the demo window's context current.
#include "demo/shell.h"
#include "effects/ife.h"
#include "window/wm.h"

namespace {

// Effect frames the bar advances per step.
constexpr float kFramesPerStep = 14.0845f;

}  // namespace

int32_t ife_LoadBarCounter = 0;
ife_interface ife_LoadBar = {};

void ife_LoadBarStep() {
  ++ife_LoadBarCounter;
  ife_DrawInterface(ife_LoadBar, float(ife_LoadBarCounter) * kFramesPerStep);
  wmSwapBuffers(DemoWindow);
}
