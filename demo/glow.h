// The glow and blur pass: a subject rendered small into the lower-left
// 512 x 512 pixels of the back buffer is copied into the work texture,
// blurred there by a layer effect that shows the texture ("BUF0.JPG"),
// copied back, and after a clear laid over the real frame by a second blur
// effect. The blur itself is data (the ".ife" files); this unit only
// sequences viewports, clears and copies.
//
// A scene uses it as:
//   GlowSourceViewport();           step 1 (scene 5 clears here as well)
//   ...draw the glow source...      step 2
//   GlowBlurSource(blur, frame);    steps 3 to 7
//   ...background, subject again, ife_DrawInterface(second blur, frame)...
//
// Every capture overwrites the whole work texture; nothing is kept between
// frames. The capture reads the back buffer's lower-left 512 x 512 pixels,
// so the drawable must be at least that large: CheckGlowDrawable ends the
// program at start-up when it is not, instead of copying undefined pixels
// every frame. Main thread only, with the demo's context current.
#pragma once

#include <cstdint>

#include "effects/ife.h"

// Side of the work texture and of the square the glow source is drawn into.
constexpr int32_t GLOW_SIZE = 512;

// Step 1: the viewport of the glow source.
void GlowSourceViewport();
// Steps 3 and 6: texturing on, the work texture bound, the lower-left
// 512 x 512 pixels of the back buffer copied into it.
void CaptureWorkTexture();
// Steps 3 to 7: capture, clear, the first blur at its frame into the square,
// capture again, the aspect viewport of the start-up settings (a code
// outside the table leaves the 512 x 512 viewport), clear. The work texture
// then holds the blurred subject and the frame is empty.
void GlowBlurSource(ife_interface &firstBlur, float frame);

// Whether a drawable of this size holds the capture square.
bool GlowFitsDrawable(int32_t width, int32_t height);
// Reads the drawable's size from the current context (the viewport it
// started with; width and height when the context cannot tell) and ends
// the program through the fatal exit when the capture square does not fit.
void CheckGlowDrawable(int32_t width, int32_t height);
