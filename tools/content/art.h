// Shared pieces of the procedural art: colour ramps, the backgrounds several
// textures build on, the demo's emblem and logos, and the monster picture.
// Each piece is a pure function of its arguments, so the textures that share
// one (the big logo and the small logo, the monster texture and its raw
// images) agree pixel for pixel where the scenes cross-fade between them.
//
// Screen pictures are designed in the 800 x 600 space the layer effects and
// scenes use, with row 0 at the top, and scaled to texture sizes afterwards.
#pragma once

#include "tools/content/image.h"
#include "tools/content/text_render.h"

namespace content {

constexpr int kScreenW = 800;
constexpr int kScreenH = 600;

// Black, deep red, orange, yellow, white as t runs from 0 to 1.
Color EmberRamp(double t);
// Night blue, violet, rose, gold as t runs from 0 to 1.
Color DuskRamp(double t);
// A tint that differs in each quadrant (u, v in 0..1, v = 0 at the top):
// gold top left, rose top right, violet bottom left, teal bottom right, so
// that a picture's orientation shows at a glance.
Color QuadrantTint(double u, double v);
Color Multiply(const Color &a, const Color &b);

// The background picture of many scenes ("hatter.tga"): an ember nebula.
Image NebulaPicture(int w, int h, uint32_t seed);
// Black with alpha growing towards the edges, for darkening borders.
Image VignetteImage(int size);

// The emblem: a ring around a flame, as coverage of `size` x `size`
// pixels; `inner` receives the flame's core (for a second colour).
Mask EmblemMask(int size, Mask *inner = nullptr);

// The flame of the emblem as an implicit shape: u right, v up, both -1..1.
bool InFlameShape(double u, double v);

// The small logo, 512 x 256 RGBA with a transparent surround: the emblem and
// the title. Its ink stays inside columns 112..392 and rows 48..200 from the
// top, so the logo swarm's large and corner poses show it whole.
Image SmallLogo(const FontBook &fonts);
// The screen the logo swarm starts from: the darkened nebula with the small
// logo drawn 2.62 times larger at the swarm's starting offset.
Image BigLogoScreen(const FontBook &fonts);
// The darkened nebula that the swarm's background effect shows.
Image SwarmBackground();

// The monster scene's picture at 800 x 600: colour and the strength of its
// light (0 outside the creature, highest at its glowing eyes and veins).
struct MonsterArt {
  Image colour;
  Mask light;
};
MonsterArt MonsterPicture();

}  // namespace content
