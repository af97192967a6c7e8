// Vector helpers at their edges, and the screen clear's calls.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/render/engine_state.h"
#include "engine/render/vectors.h"
#include "window/gl_recorder.h"

namespace {

void ExpectVector(_3DV_VECTOR v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST(EngineVectors, NormaliseCrossAndLengthAtTheirEdges) {
  const _3DV_VECTOR zero = _3DV_VecNormalize(_3DV_VecZero());
  EXPECT_FALSE(std::isnan(zero.x));
  ExpectVector(zero, 0, 0, 0);
  ExpectVector(_3DV_VecNormalize({3, 0, 4}), 0.6f, 0, 0.8f);
  // Too small to square in single precision: the length is 0, and the
  // result is the zero vector, not a division by zero.
  ExpectVector(_3DV_VecNormalize({1e-30f, 0, 0}), 0, 0, 0);
  ExpectVector(_3DV_VecCross({1, 0, 0}, {0, 1, 0}), 0, 0, 1);
  ExpectVector(_3DV_VecCross({0, 1, 0}, {1, 0, 0}), 0, 0, -1);
  EXPECT_EQ(_3DV_VecLength({3, 4, 0}), 5);
  EXPECT_EQ(_3DV_VecLength({0, 0, -2}), 2);
  ExpectVector(_3DV_VecAdd({1, 2, 3}, {4, 5, 6}), 5, 7, 9);
  ExpectVector(_3DV_VecSub({1, 2, 3}, {4, 5, 6}), -3, -3, -3);
  ExpectVector(_3DV_VecScale({1, -2, 3}, 0.5f), 0.5f, -1, 1.5f);
}

TEST(EngineState, ClearScreenClearsColourAndDepthThenStencil) {
  ember_test::GlRecorder gl;
  _3DV_ClearScreen();
  ASSERT_EQ(gl.Names(), (std::vector<std::string>{"glClearColor", "glClear", "glClear"}));
  EXPECT_EQ(gl.calls()[0].args, (std::vector<double>{0, 0, 0, 0}));
  EXPECT_EQ(gl.calls()[1].args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(gl.calls()[2].args[0], GL_STENCIL_BUFFER_BIT);
}

}  // namespace
