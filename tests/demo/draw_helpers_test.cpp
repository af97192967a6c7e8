// The drawing helpers: path evaluation and easing by their numbers, and
// the quads they send, read back from a recording OpenGL.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/curves.h"
#include "demo/debug_font.h"
#include "demo/draw_helpers.h"
#include "framework/file.h"
#include "gl_recorder.h"
#include "support/test_support.h"

namespace {

using ember_test::GlRecorder;

TSplinePath MakePath(std::vector<TVec3> &points, std::vector<TVec3> &tangents) {
  tangents.assign(points.size(), TVec3{});
  TSplinePath path{static_cast<int32_t>(points.size()), tangents.data(), points.data()};
  CalcSplineTangents(path);
  return path;
}

TEST(SplinePath, EndsAndIntegerParametersHitThePointsExactly) {
  std::vector<TVec3> points = {{0, 0, 0}, {3, 1, -2}, {5, 7, 1}, {-4, 2, 8}}, tangents;
  TSplinePath path = MakePath(points, tangents);
  TVec3 p;
  for (float t : {-5.0f, 0.0f}) {
    SplinePoint(p, path, t);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.y, 0.0f);
  }
  for (float t : {3.0f, 3.5f, 100.0f}) {
    SplinePoint(p, path, t);
    EXPECT_EQ(p.x, -4.0f);
    EXPECT_EQ(p.z, 8.0f);
  }
  for (int k = 1; k <= 2; ++k) {
    SplinePoint(p, path, static_cast<float>(k));
    EXPECT_EQ(p.x, points[k].x);
    EXPECT_EQ(p.y, points[k].y);
    EXPECT_EQ(p.z, points[k].z);
  }
  // Tangents: one-sided at the ends, central inside, all divided by 6.
  EXPECT_FLOAT_EQ(tangents[0].x, 3.0f / 6);
  EXPECT_FLOAT_EQ(tangents[1].x, 5.0f / 6);
  EXPECT_FLOAT_EQ(tangents[3].x, -9.0f / 6);
}

TEST(SplinePath, ATwoPointPathHasItsMidpointAtOneHalf) {
  std::vector<TVec3> points = {{2, 4, 6}, {4, 8, 10}}, tangents;
  TSplinePath path = MakePath(points, tangents);
  TVec3 p;
  SplinePoint(p, path, 0.5f);
  EXPECT_FLOAT_EQ(p.x, 3.0f);
  EXPECT_FLOAT_EQ(p.y, 6.0f);
  EXPECT_FLOAT_EQ(p.z, 8.0f);
}

TEST(SplinePath, EquallySpacedPointsAreUniformInsideButNotOnTheEndSegments) {
  std::vector<TVec3> points, tangents;
  for (int i = 0; i < 6; ++i) points.push_back({2.0f * i, 0, 0});
  TSplinePath path = MakePath(points, tangents);
  TVec3 p;
  for (float t = 1.0f; t <= 4.0f; t += 0.25f) {
    SplinePoint(p, path, t);
    EXPECT_FLOAT_EQ(p.x, 2.0f * t) << t;
  }
  SplinePoint(p, path, 0.5f);
  EXPECT_NE(p.x, 1.0f);
}

TEST(Easing, InterpolateClampsAndEasesThreeWays) {
  for (uint8_t mode : {0, 1, 2}) {
    EXPECT_EQ(Interpolate(3, 7, 1.7f, mode), 7.0f) << int(mode);
    EXPECT_EQ(Interpolate(3, 7, -0.3f, mode), 3.0f) << int(mode);
  }
  EXPECT_FLOAT_EQ(Interpolate(0, 10, 0.25f, 0), 2.5f);
  EXPECT_FLOAT_EQ(Interpolate(0, 10, 0.5f, 1), static_cast<float>(10 * std::sin(M_PI / 4)));
  EXPECT_FLOAT_EQ(Interpolate(2, 6, 0.5f, 2), static_cast<float>(2 + 4 * (1 - std::cos(M_PI / 4))));
}

TEST(Easing, PowerAndExponentialCurvesRunFromZeroToTheirSpan) {
  EXPECT_EQ(PowCurve2(0, 5), 0.0f);
  EXPECT_FLOAT_EQ(PowCurve2(5, 5), 5.0f);
  EXPECT_FLOAT_EQ(PowCurve8(2, 4), 4.0f / 256);
  EXPECT_FLOAT_EQ(PowCurve3(-1, -2), -2.0f / 8);
  EXPECT_EQ(ExpCurve(0), 0.0f);
  EXPECT_FLOAT_EQ(ExpCurve(1), 1.0f);
}

TEST(CenterVertices, EachAxisIsCentredOnItsOwn) {
  std::vector<float> v = {2, 10, -1, 6, 20, -3, 4, 12, -2};
  CenterVertices(v.data(), 3);
  EXPECT_EQ(v, (std::vector<float>{-2, -5, 1, 2, 5, -1, 0, -3, 0}));
  std::vector<float> untouched = {1, 2, 3};
  CenterVertices(untouched.data(), 0);
  EXPECT_EQ(untouched, (std::vector<float>{1, 2, 3}));
}

TEST(DebugFont, FontPixelsFollowTheBitTable) {
  EXPECT_EQ(FontPixel(0, 6), 255);  // 0x40: "!" starts in column 6 of row 0
  EXPECT_EQ(FontPixel(0, 0), 0);
  EXPECT_EQ(FontPixel(0, 8), 0);
  EXPECT_EQ(FontPixel(0, -1), 0);
  EXPECT_EQ(FontPixel(288, 0), 0);
  uint8_t image[64 * 64];
  std::memset(image, 7, sizeof image);
  BuildDebugFontImage(image);
  EXPECT_EQ(image[6], 255);
  // Glyph 127 is a solid block: rows 30-35, pixels 60-63.
  for (int row = 30; row < 36; ++row)
    for (int x = 60; x < 64; ++x) EXPECT_EQ(image[row * 64 + x], 255) << row << "," << x;
  for (int i = 36 * 64; i < 64 * 64; ++i) ASSERT_EQ(image[i], 0) << i;
}

std::vector<double> Args(const GlRecorder &gl, const char *name, size_t nth) {
  const ember_test::GlCall *call = gl.Find(name, nth);
  return call ? call->args : std::vector<double>{};
}

TEST(DebugFont, CharactersOutsideTheFontDrawTheBlankGlyph) {
  GlRecorder gl;
  DrawDebugChar(10, 0, 0, 0);
  DrawDebugChar(200, 0, 0, 0);
  EXPECT_EQ(Args(gl, "glTexCoord2f", 0), (std::vector<double>{0, 0}));
  EXPECT_EQ(Args(gl, "glTexCoord2f", 4), (std::vector<double>{0, 0}));
  gl.Clear();
  DrawDebugChar(127, 0.5f, 0.25f, 1);  // glyph 95: column 15, row 5
  EXPECT_EQ(Args(gl, "glTexCoord2f", 0), (std::vector<double>{0.9375, 0.46875}));
  EXPECT_EQ(Args(gl, "glVertex2f", 0), (std::vector<double>{0.5, 0.25}));
}

TEST(DebugFont, TextTakesOneCellPerCharacter) {
  GlRecorder gl;
  DrawDebugText("", 3, 2, 0);
  EXPECT_TRUE(gl.calls().empty());
  DrawDebugText("AB", 3, 2, 0);
  ASSERT_EQ(gl.Count("glBegin"), 2u);
  auto a = Args(gl, "glVertex2f", 0), b = Args(gl, "glVertex2f", 4);
  EXPECT_FLOAT_EQ(a[0], 3 * 0.01f - 1);
  EXPECT_FLOAT_EQ(b[0], 4 * 0.01f - 1);
  EXPECT_FLOAT_EQ(a[1], 1 - 2 * 0.02f);
  EXPECT_EQ(a[1], b[1]);
  gl.Clear();
  DrawDebugText(std::string(300, '#'), 0, 0, 1);
  EXPECT_EQ(gl.Count("glBegin"), 255u);
}

TEST(LetterText, ShowsOneMoreCharacterPerStepAndACursorUntilTheEnd) {
  for (int i = 0; i < LETTER_TEXTURE_COUNT; ++i) LetterTextures[i] = 100 + i;
  GlRecorder gl;
  DrawLetterText(400, 100, "ab1", 1, 10, 20, 9);
  EXPECT_TRUE(gl.calls().empty());
  DrawLetterText(400, 100, "ab1", 1, 10, 20, 10);  // one character and the cursor
  ASSERT_EQ(gl.Count("glBindTexture"), 2u);
  EXPECT_EQ(Args(gl, "glBindTexture", 0)[1], 100);
  EXPECT_EQ(Args(gl, "glBindTexture", 1)[1], 146);
  EXPECT_EQ(Args(gl, "glVertex2f", 0), (std::vector<double>{400 - 33, 500}));
  EXPECT_EQ(Args(gl, "glVertex2f", 4), (std::vector<double>{400 - 33 + 22, 500}));
  gl.Clear();
  DrawLetterText(400, 100, "a b1", 1, 10, 20, 20);  // all, the blank keeps its place
  ASSERT_EQ(gl.Count("glBindTexture"), 4u);
  EXPECT_EQ(Args(gl, "glBindTexture", 2)[1], 127);  // "1"
  EXPECT_EQ(Args(gl, "glVertex2f", 8)[0], 400 - 44 + 66);
  gl.Clear();
  DrawLetterText(400, 100, "ab", 1, 10, 20, 21);  // after the end: no cursor
  EXPECT_EQ(gl.Count("glBindTexture"), 2u);
}

TEST(CheckGLError, DrainsPendingErrorsAndSaysNothingWithoutOne) {
  GlRecorder gl;
  testing::internal::CaptureStdout();
  CheckGLError();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LastGLError, 0u);
  gl.error = GL_INVALID_ENUM;
  testing::internal::CaptureStdout();
  CheckGLError();
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("GL_ERROR:", 0), 0u);
  EXPECT_EQ(gl.Count("glGetError"), 3u);  // the empty check, then the error and its end
}

TEST(IntToShortStr, PlainDecimalDigits) {
  EXPECT_EQ(IntToShortStr(0), "0");
  EXPECT_EQ(IntToShortStr(-42), "-42");
  EXPECT_EQ(IntToShortStr(2147483647), "2147483647");
}

TEST(ReadFloatLine, ReadsOneNumberPerLineWhateverTheLocale) {
  ember_test::TempDir dir;
  const std::string name = dir.str("values.txt");
  ember_test::WriteFile(name, "  -12.5\n3e2\nnot a number\n+0.25 rest\n");
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a comma locale, where installed
  SYS_File_p f = SYS_FileOpen(name.c_str(), SYS_FILE_TEXT);
  ASSERT_NE(f, nullptr);
  float v = 99;
  ReadFloatLine(f, v);
  EXPECT_EQ(v, -12.5f);
  ReadFloatLine(f, v);
  EXPECT_EQ(v, 300.0f);
  ReadFloatLine(f, v);
  EXPECT_EQ(v, 0.0f);
  ReadFloatLine(f, v);
  EXPECT_EQ(v, 0.25f);
  ReadFloatLine(f, v);  // past the end
  EXPECT_EQ(v, 0.0f);
  SYS_FileClose(f);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
