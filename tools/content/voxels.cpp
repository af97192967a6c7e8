// "matrix.dat": the voxel grid of scene 12, 128 x 128 x 48 bytes, voxel
// (i, j, k) at byte i * 6144 + j * 48 + k, filled when the byte is 1.
// The model is the emblem in relief: a ring around a flame, i to the right,
// j up and k towards the camera, centred on voxel (64, 64, 24). Only voxels
// whose three coordinates are even are filled: the scene draws each as a
// cube two units wide, so at full spread neighbours just touch, and the
// model stays at a few thousand cubes. Voxel (0, 0, 0), whose swirl axis
// would be the zero vector, stays empty.
#include <cmath>

#include "tools/content/art.h"
#include "tools/content/generators.h"

namespace content {

ContentSet VoxelFiles() {
  const int ni = 128, nj = 128, nk = 48;
  Bytes grid(static_cast<size_t>(ni) * nj * nk, 0);
  for (int i = 0; i < ni; i += 2) {
    for (int j = 0; j < nj; j += 2) {
      for (int k = 0; k < nk; k += 2) {
        double x = i - 64, y = j - 64, z = k - 24;
        // Ring: a torus about the z axis.
        double r = std::sqrt(x * x + y * y);
        bool ring = (r - 44) * (r - 44) + z * z < 6.5 * 6.5;
        // Flame: the emblem's flame, thickest in its bulb.
        double u = x / 38.0, v = y / 38.0;
        bool flame = InFlameShape(u / 0.78, v / 0.78) && std::fabs(z) <= 6.0 - 3.0 * std::max(0.0, v);
        bool core = InFlameShape(u / 0.40, (v + 0.34) / 0.40) && std::fabs(z) <= 9.0;
        if (ring || flame || core) {
          grid[static_cast<size_t>(i) * 6144 + static_cast<size_t>(j) * 48 + static_cast<size_t>(k)] = 1;
        }
      }
    }
  }
  grid[0] = 0;
  ContentSet s;
  s.Add("matrix.dat", std::move(grid));
  return s;
}

}  // namespace content
