// The layer-effect (".ife") files: a small model of an effect (layers of
// key-framed quads in the 800 x 600 space, origin bottom left) and its text
// form, which the demo's loader reads line by line: layer count, a second
// header value, then per layer its texture name, two free text lines, key
// count, blend mode and one line of eleven numbers per key.
#pragma once

#include <string>
#include <vector>

namespace content {

// Blend modes of a layer as the renderer applies them.
enum Blend : int {
  kBlendOff = 0,       // opaque
  kBlendAdd = 1,       // one, one
  kBlendAlpha = 2,     // source alpha, one minus source alpha
  kBlendInvAlpha = 3,  // one minus source alpha, source alpha
  kBlendColour = 4,    // source colour, one minus source colour
};

// Easing from a key to the next.
enum Ease : int { kLinear = 0, kEaseOut = 1, kEaseIn = 2 };

struct EffectKey {
  int time = 0;  // effect frames
  double x = 400, y = 300;
  int ease = kLinear;
  double angle = 0;  // degrees
  double width = 800, height = 600;
  double r = 255, g = 255, b = 255, a = 255;
};

// A key of a quad centred at (x, y).
EffectKey Quad(int t, double x, double y, double w, double h, double r, double g, double b, double a = 255,
               int ease = kLinear, double angle = 0);

struct EffectLayer {
  std::string texture;  // a file of the pack, or "white.tga" / "BUF0.JPG"
  std::string note;     // the free second line: what the layer is for
  int blend = kBlendAlpha;
  std::vector<EffectKey> keys;
};

struct LayerEffect {
  std::string file;
  std::string about;  // the comment at the top of the file
  std::vector<EffectLayer> layers;

  // The file as the loader reads it.
  std::string Text() const;
};

// The demo's 19 layer effects.
std::vector<LayerEffect> DemoLayerEffects();

}  // namespace content
