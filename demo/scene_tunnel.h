// Scene 16, 152000 <= t < 184000: the camera rises inside a tunnel of seven
// textured ring bands that scroll around its axis while the world spins
// about that axis; inside stand three meshes (tft with "demos.tga" and a
// flickering noise overlay, alap and csap sphere-mapped) and 3001 sprites
// fall to the ground plane, tumbling less as they come down. The frame is
// drawn twice: small, as the source of a glow, and at full size with the
// glow laid over it.
//
// Everything but the noise overlay follows from the demo time alone. The
// overlay takes two draws from the demo's one random sequence every frame
// (brightness, then which noise texture), so the same seed and the same
// number of frames repeat the same flicker. Main thread only.
#pragma once

#include <cstdint>

constexpr int32_t TUNNEL_SCENE_START = 152000;  // ms
constexpr int32_t TUNNEL_RINGS = 7;             // bands, bottom to top
constexpr int32_t TUNNEL_RING_QUADS = 45;       // quads around one band
constexpr int32_t TUNNEL_SPRITES = 3001;
constexpr float TUNNEL_RADIUS = 960.0f;

// The values a frame derives from the demo time t.
struct TTunnelSceneValues {
  float e;         // t - 152000
  float height;    // h: eye and look-at height on the tunnel's axis
  float distance;  // d: the eye stands 240.5 + d from the axis
  float spin;      // w: degrees the world is turned about the axis
};

TTunnelSceneValues TunnelSceneValues(int32_t t);

// How far round its texture band j has scrolled at t: t / period, in
// texture repeats.
float RingOffset(int32_t t, int32_t period);

// A sprite's height at t: its stored height less 100 units a second since
// 140000 ms, and 0 (on the ground) once that would be negative.
float SpriteHeight(float storedHeight, int32_t t);

// The noise overlay's brightness for a draw r of Random(1000).
float NoiseBrightness(int32_t r);
