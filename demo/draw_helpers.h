// Small drawing and utility helpers shared by the start-up, the set-up and
// the scenes: a closed and an open unit cube, one textured cell of an
// 80 x 60 grid, the letter-texture typewriter text, the OpenGL error
// report, decimal text of an integer, centring of a vertex array, and a
// number reader for text files.
//
// They draw through the demo side's OpenGL entry points with a current
// context, on the main thread. None of them changes matrices, enables,
// blending or depth state; only DrawLetterText binds textures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/file.h"

// Texture names the typewriter text binds: 0-25 the letters "a" to "z",
// 26-35 the digits, 46 the cursor. Nothing in the demo fills them.
constexpr int32_t LETTER_TEXTURE_COUNT = 47;
constexpr int32_t LETTER_TEXTURE_CURSOR = 46;
extern int32_t LetterTextures[LETTER_TEXTURE_COUNT];

// The last OpenGL error CheckGLError saw and the text GLU gave for it.
extern uint32_t LastGLError;
extern const char *LastGLErrorText;

class ClipSpaceBatch;
class VertexBatch;

// A closed cube with corners at -1 and +1, one normal per face.
void DrawCube();
// The same cube added to a batch of GL_QUADS under the batch's matrix.
void DrawCube(VertexBatch &quads);
void DrawCube(ClipSpaceBatch &quads);
// Only the faces of that cube turned towards the eye: the same picture as
// the whole cube where it is opaque and depth-tested.
void DrawCubeFacingEye(VertexBatch &quads);
// A cube that adds its colour where it covers (blending GL_ONE, GL_ONE,
// no depth test). Every pixel of a closed cube's outline is covered by one
// face turned towards the eye and one turned away, so a cube lying wholly
// more than `clearance` in front of the eye goes to `fronts` with only the
// faces turned towards it, to be drawn at twice the colour the colour
// buffer adds per face. A cube nearer than that may be cut open by the
// near plane: it goes whole to `whole`, under the matrix `fronts` holds.
void AddGlowCube(VertexBatch &fronts, VertexBatch &whole, float clearance);
// The same box without its +z face.
void DrawOpenCube();
// One quad at z = 1 showing the cell (u, v) .. (u + 1/80, v + 1/60) of the
// bound texture, v counted from the top; the texture's u axis runs along
// the quad's y axis.
void DrawStripQuad(float u, float v);
// The same quad added to a batch.
void DrawStripQuad(ClipSpaceBatch &quads, float u, float v);
// Typewriter text centred on x, y counted from the top of an 800 x 600
// screen: nothing before `first`, one more character per unit of `now`
// after it, all from `last` on, and a cursor after them while now <= last.
void DrawLetterText(int32_t x, int32_t y, std::string_view text, uint8_t cursor,
                    int32_t first, int32_t last, int32_t now);

// Reports ("GL_ERROR:" and GLU's text, on standard output) and drains the
// pending OpenGL errors.
void CheckGLError();

// Decimal digits of v, "-" first for a negative value.
std::string IntToShortStr(int32_t v);

// Moves count points (x, y, z float triples) so that the centre of their
// bounding box is the origin. count <= 0 changes nothing.
void CenterVertices(float *vertices, int32_t count);

// Reads one line (at most 511 bytes) and stores its leading number, read
// with a point as decimal separator whatever the locale; a line that does
// not start with a number (after blanks) gives 0.
void ReadFloatLine(SYS_File_p file, float &value);
