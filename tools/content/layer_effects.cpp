// The demo's layer effects. Times are effect frames: most scenes pass
// (demo time - scene start) / 8, some a constant frame that holds a pose
// (999, 500, 90), a few milliseconds; each effect below notes its frames.
//
// Inherited state: a layer leaves blending, texturing and the current
// colour as it drew them, and some scenes draw with what the last layer
// left. So "uveg.ife" (scene 4's pages, next frame), "bpscreen.ife",
// "h_blur.ife" and "v_blur.ife" (scene 18's page) end with an alpha-blended
// layer; "gombhatter.ife" ends with a textured layer (scene 5
// draws its mesh with texturing left on); "bplogosmallhatter.ife" ends with
// an alpha-blended white layer (scene 11's picture is opaque, scene 12's
// cubes take its colour).
//
// No effect names a ring band ("line1.tga" ...): the loader clamps the wrap
// of every texture it loads, and the bands must repeat around the tunnel.
#include "tools/content/layer_effects.h"

#include "tools/content/generators.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace content {

namespace {

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') {
    s.pop_back();
  }
  if (!s.empty() && s.back() == '.') {
    s.pop_back();
  }
  return s == "-0" ? "0" : s;
}


// A key of a full-screen quad.
EffectKey Full(int t, double r, double g, double b, double a = 255, int ease = kLinear) {
  return Quad(t, 400, 300, 800, 600, r, g, b, a, ease);
}

EffectLayer Layer(const std::string &texture, const std::string &note, int blend, std::vector<EffectKey> keys) {
  return EffectLayer{texture, note, blend, std::move(keys)};
}

// A blur: copies of the captured frame ("BUF0.JPG") added side by side at
// offsets of -2..2 steps. steps[i] and gains[i] hold at times[i]; the five
// copies' weights are the binomial-like shares below times the gain.
LayerEffect Blur(const std::string &file, const std::string &about, bool vertical, const std::vector<int> &times,
                 const std::vector<double> &steps, const std::vector<double> &gains) {
  static const double share[5] = {0.12, 0.22, 0.32, 0.22, 0.12};
  LayerEffect e{file, about, {}};
  for (int k = -2; k <= 2; ++k) {
    std::vector<EffectKey> keys;
    for (size_t i = 0; i < times.size(); ++i) {
      double off = k * steps[i];
      double c = 255.0 * share[k + 2] * gains[i];
      keys.push_back(Quad(times[i], 400 + (vertical ? 0 : off), 300 + (vertical ? off : 0), 800, 600, c, c, c));
    }
    e.layers.push_back(Layer("BUF0.JPG", "copy of the frame, offset " + std::to_string(k), kBlendAdd, keys));
  }
  return e;
}

// A last layer that draws nothing and leaves alpha blending on: the credits
// page of scene 18 is drawn with the blending of the blur before it, and
// its pictures must lie over each other instead of adding up to white.
EffectLayer LeaveAlphaBlending() {
  return Layer("white.tga", "draws nothing; leaves alpha blending on", kBlendAlpha,
               {Quad(0, 400, 300, 0, 0, 0, 0, 0, 0)});
}

// Screen position of the emblem's centre in the big logo (see art.cpp).
constexpr double kEmblemX = 214, kEmblemY = 301;

}  // namespace

// A key of a quad centred at (x, y).
EffectKey Quad(int t, double x, double y, double w, double h, double r, double g, double b, double a,
               int ease, double angle) {
  EffectKey k;
  k.time = t;
  k.x = x;
  k.y = y;
  k.width = w;
  k.height = h;
  k.r = r;
  k.g = g;
  k.b = b;
  k.a = a;
  k.ease = ease;
  k.angle = angle;
  return k;
}

std::string LayerEffect::Text() const {
  std::string s = "# " + file + ": " + about + "\n";
  s += "# layers, then a value the loader keeps\n";
  s += std::to_string(layers.size()) + "\n0\n";
  for (const EffectLayer &l : layers) {
    s += "# " + l.note + "\n";
    s += l.texture + "\n" + l.note + "\n-\n";
    s += std::to_string(l.keys.size()) + "\n" + std::to_string(l.blend) + "\n";
    for (const EffectKey &k : l.keys) {
      s += std::to_string(k.time) + " " + Num(k.x) + " " + Num(k.y) + " " + std::to_string(k.ease) + " " +
           Num(k.angle) + " " + Num(k.width) + " " + Num(k.height) + " " + Num(k.r) + " " + Num(k.g) + " " +
           Num(k.b) + " " + Num(k.a) + "\n";
    }
  }
  return s;
}

std::vector<LayerEffect> DemoLayerEffects() {
  std::vector<LayerEffect> v;

  // Loading bar, frames 9 to 981 (9 per loading step). Its first layer is
  // opaque: loading frames are not cleared.
  v.push_back({"loadbar.ife",
               "loading screen, frames 0-981",
               {Layer("white.tga", "backdrop", kBlendOff, {Full(0, 14, 10, 18)}),
                Layer("lb_title.tga", "title", kBlendAlpha,
                      {Quad(0, 400, 350, 512, 128, 255, 200, 140, 0), Quad(150, 400, 350, 512, 128, 255, 200, 140, 255),
                       Quad(981, 400, 350, 540, 135, 255, 215, 170, 255)}),
                Layer("white.tga", "bar track", kBlendAlpha, {Quad(0, 400, 262, 404, 8, 70, 40, 40)}),
                Layer("white.tga", "bar", kBlendAdd,
                      {Quad(0, 200, 262, 0, 4, 255, 140, 40), Quad(981, 400, 262, 400, 4, 255, 140, 40)}),
                Layer("lb_spark.tga", "spark at the head of the bar", kBlendAdd,
                      {Quad(0, 200, 262, 40, 40, 255, 170, 80), Quad(981, 600, 262, 40, 40, 255, 170, 80)})}});

  // Scene 1, frames 0-333: the night sky the group's name assembles over.
  v.push_back({"vantorlogo.ife",
               "opening sky, frames 0-333",
               {Layer("vtrback.tga", "night sky", kBlendOff,
                      {Quad(0, 400, 300, 880, 660, 0, 0, 0), Quad(250, 400, 300, 820, 615, 255, 255, 255),
                       Quad(333, 400, 300, 800, 600, 255, 255, 255)}),
                Layer("streak.tga", "horizon light", kBlendAdd,
                      {Quad(0, 400, 300, 0, 90, 90, 110, 255), Quad(120, 400, 300, 0, 90, 90, 110, 255, 255, kEaseOut),
                       Quad(260, 400, 300, 1000, 90, 140, 150, 255), Quad(333, 400, 300, 1100, 90, 70, 80, 180)}),
                Layer("flare.tga", "glow behind the name", kBlendAdd,
                      {Quad(0, 400, 300, 0, 0, 110, 70, 200), Quad(180, 400, 300, 0, 0, 110, 70, 200, 255, kEaseOut),
                       Quad(333, 400, 300, 900, 600, 110, 70, 200)})}});

  // Scenes 9 and 10 at frame 999: the dimmed nebula (the big logo's
  // background is drawn to match it).
  v.push_back({"hatter.ife",
               "nebula background, frame 999",
               {Layer("hatter.tga", "the nebula, dimmed", kBlendOff, {Full(0, 150, 150, 150)}),
                Layer("vignette.tga", "dark border", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scenes 13-14 run it from frame 0 to 1000, scenes 15-16 hold frame 999.
  v.push_back({"hatter2.ife",
               "nebula turning blue, frames 0-1000",
               {Layer("hatter.tga", "the nebula, zooming", kBlendOff,
                      {Full(0, 150, 150, 150), Quad(1000, 400, 300, 1000, 750, 80, 90, 150, 255, kLinear, 12)}),
                Layer("rays.tga", "slow rays", kBlendAdd,
                      {Quad(0, 400, 300, 1100, 1100, 0, 0, 0), Quad(500, 400, 300, 1100, 1100, 60, 40, 80, 255, kLinear, 30),
                       Quad(1000, 400, 300, 1100, 1100, 45, 40, 90, 255, kLinear, 60)}),
                Layer("vignette.tga", "dark border", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scene 4, frame 999, drawn last: the glass over the pages. Its last
  // layer blends by alpha, which the next frame's pages inherit.
  v.push_back({"uveg.ife",
               "glass over the text pages, frame 999",
               {Layer("streak.tga", "sheen on the glass", kBlendAdd,
                      {Quad(0, 400, 300, 1200, 160, 40, 35, 30, 255, kLinear, 35)}),
                Layer("uveg.tga", "glass frame", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scene 3 runs it from frame 160 to 999.6, scenes 4 and 5 hold 999. The
  // last layer is textured: scene 5 draws its mesh with texturing left on.
  v.push_back({"gombhatter.ife",
               "background of the coin and the pages, frames 160-999",
               {Layer("gombhatter.tga", "backdrop, slowly zooming", kBlendOff,
                      {Full(0, 0, 0, 0), Full(160, 255, 255, 255), Quad(999, 400, 300, 880, 660, 255, 255, 255)}),
                Layer("rays.tga", "turning rays", kBlendAdd,
                      {Quad(0, 400, 300, 1000, 1000, 0, 0, 0), Quad(160, 400, 300, 1000, 1000, 110, 70, 30, 255, kLinear, 9.6),
                       Quad(999, 400, 300, 1000, 1000, 110, 70, 30, 255, kLinear, 60)}),
                Layer("flare.tga", "central glow", kBlendAdd,
                      {Quad(0, 400, 300, 600, 600, 0, 0, 0), Quad(160, 400, 300, 615, 615, 120, 80, 40),
                       Quad(999, 400, 300, 700, 700, 120, 80, 40)}),
                Layer("vignette.tga", "dark border", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scene 2 at 2 x (t - 15500): holds its first key until then, and at frame
  // 998 shows what "gombhatter.ife" shows at frame 160.
  v.push_back({"gombfadein.ife",
               "the coin's background fading in, frames 0-998",
               {Layer("gombhatter.tga", "backdrop", kBlendOff,
                      {Full(0, 30, 30, 30), Full(998, 255, 255, 255)}),
                Layer("rays.tga", "turning rays", kBlendAdd,
                      {Quad(0, 400, 300, 1000, 1000, 0, 0, 0, 255, kLinear, 9.6),
                       Quad(998, 400, 300, 1000, 1000, 110, 70, 30, 255, kLinear, 9.6)}),
                Layer("flare.tga", "central glow", kBlendAdd,
                      {Quad(0, 400, 300, 615, 615, 0, 0, 0), Quad(998, 400, 300, 615, 615, 120, 80, 40)}),
                Layer("vignette.tga", "dark border", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scene 5 at t - 39500 (milliseconds): black over the last half second.
  v.push_back({"fadeout.ife",
               "fade to black, 0-500 ms",
               {Layer("white.tga", "fade to black", kBlendAlpha, {Full(0, 0, 0, 0, 0), Full(500, 0, 0, 0, 255)})}});

  // Scene 8 at frame 999: the big logo, exactly where the swarm starts.
  v.push_back({"bplogo.ife",
               "the big logo, frame 999",
               {Layer("bplogobig.tga", "the big logo", kBlendOff, {Full(0, 255, 255, 255)}),
                Layer("flare.tga", "glow of the emblem", kBlendAdd,
                      {Quad(0, kEmblemX, kEmblemY, 500, 500, 50, 35, 15)})}});

  // Scenes 11 and 12 at frame 999. Last layer: white, alpha-blended.
  v.push_back({"bplogosmallhatter.ife",
               "cool nebula behind the monster and the voxels, frame 999",
               {Layer("hatter.tga", "the nebula, turned and cooled", kBlendOff,
                      {Quad(0, 400, 300, 800, 600, 95, 105, 150, 255, kLinear, 180)}),
                Layer("vignette.tga", "dark border", kBlendAlpha, {Full(0, 255, 255, 255)})}});

  // Scenes 10-12 at frame 999: the small logo where the swarm leaves it.
  v.push_back({"bplogosmall.ife",
               "small logo, top left, frame 999",
               {Layer("bplogo_small.tga", "small logo", kBlendAlpha, {Quad(0, 148, 516, 512, 256, 255, 255, 255)})}});

  // Scene 15 at frame 999: the small logo where scene 14's swarm leaves it.
  v.push_back({"bplogosmalllent.ife",
               "small logo, bottom right, frame 999",
               {Layer("bplogo_small.tga", "small logo", kBlendAlpha, {Quad(0, 658, 76, 512, 256, 255, 255, 255)})}});

  // Scene 11 at (t - 83875) x 4: the flash peaks at frame 500, when the scan
  // line turns at the right (84000 ms).
  v.push_back({"monsterflash.ife",
               "flash as the scan turns, frames 0-5000",
               {Layer("white.tga", "flash", kBlendAdd,
                      {Full(0, 0, 0, 0), Full(480, 0, 0, 0), Full(500, 255, 235, 210), Full(2600, 0, 0, 0)}),
                Layer("monster.tga", "after-image of the whole monster", kBlendAdd,
                      {Full(0, 0, 0, 0), Full(480, 0, 0, 0), Full(500, 230, 140, 90), Full(5000, 0, 0, 0)})}});

  // Scene 15 at t - 120000 (milliseconds): a flash at the start and at every
  // new pattern of the music (each 8000 ms).
  {
    std::vector<EffectKey> keys;
    for (int k = 0; k < 4; ++k) {
      int t0 = 8000 * k;
      double peak = k == 0 ? 255 : 200;
      if (k > 0) {
        keys.push_back(Full(t0 - 1, 0, 0, 0));
      }
      keys.push_back(Full(t0, peak, peak, peak * 1.0));
      keys.push_back(Full(t0 + 700, 0, 0, 0));
    }
    v.push_back({"whiteflash.ife", "white flashes on the pattern starts, 0-32000 ms",
                 {Layer("white.tga", "flash", kBlendAdd, keys)}});
  }

  // Scene 17, frames 0-1000. Ends alpha-blended (scene 18's first page).
  v.push_back({"bpscreen.ife",
               "closing screen, frames 0-1000",
               {Layer("hatter.tga", "nebula", kBlendOff,
                      {Full(0, 0, 0, 0), Full(120, 120, 110, 110), Quad(1000, 400, 300, 900, 675, 120, 110, 110)}),
                Layer("rays.tga", "rays", kBlendAdd,
                      {Quad(0, 400, 300, 1100, 1100, 0, 0, 0), Quad(200, 400, 300, 1100, 1100, 70, 50, 30, 255, kLinear, 8),
                       Quad(1000, 400, 300, 1100, 1100, 70, 50, 30, 255, kLinear, 40)}),
                Layer("bpscreen.tga", "the closing screen", kBlendAlpha,
                      {Quad(0, 400, 300, 760, 570, 255, 255, 255, 0, kEaseOut), Quad(150, 400, 300, 800, 600, 255, 255, 255),
                       Quad(1000, 400, 300, 840, 630, 255, 255, 255)}),
                Layer("white.tga", "fade to black", kBlendAlpha,
                      {Full(0, 0, 0, 0, 0), Full(880, 0, 0, 0, 0), Full(1000, 0, 0, 0, 255)})}});

  // Scene 19, frames 0-1000: the end.
  v.push_back({"endpart.ife",
               "the end, frames 0-1000",
               {Layer("white.tga", "black", kBlendOff, {Full(0, 0, 0, 0)}),
                Layer("flare.tga", "a last glow", kBlendAdd,
                      {Quad(0, 400, 300, 0, 0, 120, 60, 20), Quad(300, 400, 300, 900, 500, 120, 60, 20, 255, kEaseOut),
                       Quad(1000, 400, 300, 1100, 600, 0, 0, 0)}),
                Layer("endtext.tga", "closing words", kBlendAlpha,
                      {Full(0, 255, 255, 255, 0), Full(150, 255, 255, 255, 255), Full(780, 255, 255, 255, 255),
                       Full(1000, 255, 255, 255, 0)})}});

  // Blurs of the captured frame. "h_blur.ife" is the first blur of the glow
  // pass (frames 500 and 1000, into a cleared square: weights add to 1);
  // "v_blur.ife" lays the glow over the frame (frames 500, 1000) and is
  // scene 4's first blur (frame 90, weights 1); "h_blur2.ife" lays scene 4's
  // blurred pages over the background (frame 90).
  v.push_back(Blur("v_blur.ife", "vertical blur: glow at 500-1000, plain blur at 90", true, {0, 90, 500, 1000},
                   {0, 1.2, 3.5, 6}, {1.0, 1.0, 0.85, 0.75}));
  v.back().layers.push_back(LeaveAlphaBlending());
  v.push_back(Blur("h_blur.ife", "horizontal blur, weights adding to 1", false, {0, 500, 1000}, {0, 2.5, 5},
                   {1.0, 1.0, 1.0}));
  v.back().layers.push_back(LeaveAlphaBlending());
  v.push_back(Blur("h_blur2.ife", "horizontal blur laying the pages over the background, frame 90", false, {0, 90},
                   {0, 1.2}, {1.5, 1.5}));
  return v;
}

ContentSet LayerEffectFiles() {
  ContentSet s;
  for (const LayerEffect &e : DemoLayerEffects()) {
    s.AddText(e.file, e.Text());
  }
  return s;
}

}  // namespace content
