#!/usr/bin/env python3
"""Writes the OpenGL and GLU entry-point name lists of the window layer.

Both entry tables resolve every entry point by name at run time, so the
program links against no GL library. Their names come from the headers that
describe the system's GL: Mesa's GL/gl.h (which pulls in GL/glext.h) and
GL/glu.h. This script reads those headers the way the compiler sees them
(gl.h defines the 1.2, 1.3, imaging and ARB_multitexture blocks itself, so
glext.h skips its own copies of them), sorts the names into the groups and
orders the tables keep, and writes one X-macro list per table:

  window/gl_names_core.inc   demo side, OpenGL 1.0 to 1.4
  window/gl_names_ext.inc    demo side, extension entry points by vendor
  window/glu_names.inc       demo side, the GLU entry points it loads
  window/gl_stub_names.inc   framework table, OpenGL 1.0 to 2.0 and vendors
  window/glu_stub_names.inc  framework table, the whole GLU interface

Every line reads GL_ENTRY(name, type); the type is the header's PFN typedef
where the compiler sees one, otherwise decltype of the header's prototype.

Run by hand when the headers change:  python3 tools/glgen/glgen.py
The lists are committed; the build never runs this script.
"""

import argparse
import os
import re
import sys

# --- group definitions ------------------------------------------------------

# The OpenGL 1.2 imaging subset in the order the 1.2 standard lists it.
IMAGING = [
    "glColorTable", "glColorTableParameterfv", "glColorTableParameteriv",
    "glCopyColorTable", "glGetColorTable", "glGetColorTableParameterfv",
    "glGetColorTableParameteriv", "glColorSubTable", "glCopyColorSubTable",
    "glConvolutionFilter1D", "glConvolutionFilter2D", "glConvolutionParameterf",
    "glConvolutionParameterfv", "glConvolutionParameteri",
    "glConvolutionParameteriv", "glCopyConvolutionFilter1D",
    "glCopyConvolutionFilter2D", "glGetConvolutionFilter",
    "glGetConvolutionParameterfv", "glGetConvolutionParameteriv",
    "glGetSeparableFilter", "glSeparableFilter2D", "glGetHistogram",
    "glGetHistogramParameterfv", "glGetHistogramParameteriv", "glGetMinmax",
    "glGetMinmaxParameterfv", "glGetMinmaxParameteriv", "glHistogram",
    "glMinmax", "glResetHistogram", "glResetMinmax",
]

# The GLU entry points the demo side loads, in load order.
DEMO_GLU = [
    "gluLookAt", "gluOrtho2D", "gluPerspective", "gluPickMatrix", "gluProject",
    "gluUnProject", "gluErrorString", "gluScaleImage", "gluBuild1DMipmaps",
    "gluBuild2DMipmaps", "gluNewQuadric", "gluDeleteQuadric",
    "gluQuadricDrawStyle", "gluQuadricOrientation", "gluQuadricNormals",
    "gluQuadricTexture", "gluQuadricCallback", "gluCylinder", "gluSphere",
    "gluDisk", "gluPartialDisk", "gluNewNurbsRenderer",
    "gluDeleteNurbsRenderer", "gluLoadSamplingMatrices", "gluNurbsProperty",
    "gluGetNurbsProperty", "gluBeginCurve", "gluEndCurve", "gluNurbsCurve",
    "gluBeginSurface", "gluEndSurface", "gluNurbsSurface", "gluBeginTrim",
    "gluEndTrim", "gluPwlCurve", "gluNurbsCallback", "gluNewTess",
    "gluTessCallback", "gluDeleteTess", "gluBeginPolygon", "gluEndPolygon",
    "gluNextContour", "gluTessVertex", "gluGetString",
]

# The demo side's first ARB group is these extensions, in this order; its
# last group holds the shader and query extensions.
DEMO_ARB_FIRST = [
    "GL_ARB_matrix_palette", "GL_ARB_multisample", "GL_ARB_multitexture",
    "GL_ARB_point_parameters", "GL_ARB_texture_compression",
    "GL_ARB_transpose_matrix", "GL_ARB_vertex_blend",
    "GL_ARB_vertex_buffer_object",
    # The header declares the program-object entry points that vertex and
    # fragment programs share under the fragment-program block only.
    "GL_ARB_fragment_program", "GL_ARB_vertex_program", "GL_ARB_window_pos",
]
DEMO_ARB_LAST = [
    "GL_ARB_vertex_shader", "GL_ARB_shader_objects", "GL_ARB_occlusion_query",
]

# Vendor groups in load order. A tuple groups several suffixes together.
DEMO_VENDORS = [
    "3DFX", "APPLE", "ARB-first", "ATI", "EXT", "HP", "IBM", "INGR", "INTEL",
    "MESA", "NV", "PGI", "SGIS", "SGIX", "SGI", "SUNX", "SUN", "WIN",
    "ARB-last",
]
STUB_VENDORS = [
    "ARB", "EXT", "APPLE", ("ATI", "ATIX"), "HP", "IBM", "INTEL", "MESA", "NV",
    "PGI", "SGI", "SGIS", "SGIX", "SUN", "SUNX", "3DFX",
]

# Every vendor suffix the registry uses; longest first so SGIX wins over SGI.
SUFFIXES = sorted([
    "3DFX", "AMD", "ANGLE", "APPLE", "ARB", "ATI", "ATIX", "EXT", "GREMEDY",
    "HP", "IBM", "IMG", "INGR", "INTEL", "KHR", "MESA", "MESAX", "NV", "NVX",
    "OES", "OML", "OVR", "PGI", "QCOM", "S3", "SGI", "SGIS", "SGIX", "SUN",
    "SUNX", "WIN",
], key=len, reverse=True)


def vendor_of(name):
    for s in SUFFIXES:
        if name.endswith(s) and len(name) > len(s) + 2:
            return s
    return None


# --- a small reader of the headers ------------------------------------------

class Header:
    """Follows gl.h, glext.h and glu.h as the preprocessor would on Linux,
    recording each prototype once, in order, with the block it stands in."""

    def __init__(self, include_dir):
        self.include_dir = include_dir
        self.defined = {"__cplusplus"}
        self.functions = []        # (name, block) in first-seen order
        self.block_of = {}         # name -> first block that declares it
        self.blocks = {}           # block -> every name it declares
        self.visible_proto = set() # prototypes the compiler sees
        self.visible_pfn = set()   # PFN typedefs the compiler sees

    def read(self, relpath):
        path = os.path.join(self.include_dir, relpath)
        with open(path, encoding="latin-1") as f:
            lines = f.read().split("\n")
        self._run(lines, relpath)

    def _cond(self, expr):
        expr = re.sub(r"/\*.*?\*/", "", expr).strip()
        expr = re.sub(r"defined\s*\(\s*(\w+)\s*\)",
                      lambda m: "1" if m.group(1) in self.defined else "0", expr)
        expr = re.sub(r"defined\s+(\w+)",
                      lambda m: "1" if m.group(1) in self.defined else "0", expr)
        expr = expr.replace("&&", " and ").replace("||", " or ")
        expr = re.sub(r"!(?!=)", " not ", expr)
        expr = re.sub(r"\b[A-Za-z_]\w*\b",
                      lambda m: m.group(0) if m.group(0) in ("and", "or", "not") else "0",
                      expr)
        return bool(eval(expr))

    def _run(self, lines, source):
        # Stack entries: [active, taken, protos_visible]
        stack = [[True, True, True]]
        block = "GL_VERSION_1_1" if source.endswith("gl.h") else source
        in_comment = False
        pending = ""
        i = 0
        while i < len(lines):
            raw = lines[i]
            i += 1
            # Block markers of gl.h live in comments.
            if source == "GL/gl.h":
                m = re.match(r"\s*\*\s+(OpenGL 1\.[23]|GL_ARB_imaging)\s*$", raw)
                if m:
                    block = {"OpenGL 1.2": "GL_VERSION_1_2", "OpenGL 1.3": "GL_VERSION_1_3",
                             "GL_ARB_imaging": "GL_ARB_imaging"}[m.group(1)]
            # Strip comments, keeping state across lines.
            code = ""
            j = 0
            while j < len(raw):
                if in_comment:
                    k = raw.find("*/", j)
                    if k < 0:
                        j = len(raw)
                    else:
                        in_comment = False
                        j = k + 2
                else:
                    k1 = raw.find("/*", j)
                    k2 = raw.find("//", j)
                    if k2 >= 0 and (k1 < 0 or k2 < k1):
                        code += raw[j:k2]
                        j = len(raw)
                    elif k1 >= 0:
                        code += raw[j:k1] + " "
                        in_comment = True
                        j = k1 + 2
                    else:
                        code += raw[j:]
                        j = len(raw)
            line = code.strip()
            active, _, protos = stack[-1]
            if line.startswith("#"):
                d = line[1:].strip()
                word = d.split()[0] if d.split() else ""
                rest = d[len(word):].strip()
                if word == "ifndef":
                    cond = rest not in self.defined
                    take = active and cond
                    stack.append([take, cond, protos])
                    if take and rest.startswith("GL_") and i < len(lines) \
                            and re.match(r"#define\s+%s\s+1\b" % re.escape(rest), lines[i].strip()):
                        block = rest
                elif word == "ifdef":
                    if rest == "GL_GLEXT_PROTOTYPES":
                        # Names count, but the compiler does not see these prototypes.
                        stack.append([active, True, False])
                    else:
                        cond = rest in self.defined
                        stack.append([active and cond, cond, protos])
                elif word == "if":
                    cond = self._cond(rest)
                    stack.append([active and cond, cond, protos])
                elif word == "elif":
                    top = stack[-1]
                    parent = stack[-2][0]
                    cond = (not top[1]) and self._cond(rest)
                    top[0] = parent and cond
                    top[1] = top[1] or cond
                elif word == "else":
                    top = stack[-1]
                    parent = stack[-2][0]
                    if top[2] is False and stack[-2][2] is True:
                        top[2] = True  # the #else of GL_GLEXT_PROTOTYPES
                        top[0] = parent
                    else:
                        top[0] = parent and not top[1]
                        top[1] = True
                elif word == "endif":
                    stack.pop()
                elif word == "define" and active:
                    self.defined.add(rest.split()[0].split("(")[0])
                elif word == "include" and active:
                    m = re.match(r"<(GL/glext\.h)>", rest)
                    if m:
                        self._run_file(m.group(1))
                continue
            if not active:
                continue
            if pending or line.startswith("GLAPI") or line.startswith("typedef"):
                pending += " " + line
                if ";" not in pending:
                    continue
                stmt, pending = pending, ""
                if stmt.strip().startswith("GLAPI"):
                    m = re.search(r"\b(glu?[A-Z0-9]\w*)\s*\(", stmt)
                    if not m:
                        continue
                    name = m.group(1)
                    declared = self.blocks.setdefault(block, [])
                    if name not in declared:
                        declared.append(name)
                    if name not in self.block_of:
                        self.block_of[name] = block
                        self.functions.append((name, block))
                    if protos:
                        self.visible_proto.add(name)
                else:
                    m = re.search(r"\(\s*APIENTRYP\s+(PFN\w+)\s*\)", stmt)
                    if m:
                        self.visible_pfn.add(m.group(1))

    def _run_file(self, relpath):
        with open(os.path.join(self.include_dir, relpath), encoding="latin-1") as f:
            self._run(f.read().split("\n"), relpath)

    def names_in(self, block):
        return list(self.blocks.get(block, []))

    def type_of(self, name):
        if name in self.visible_proto:
            return "decltype(&::%s)" % name
        pfn = "PFN%sPROC" % name.upper()
        if pfn in self.visible_pfn:
            return pfn
        raise SystemExit("no visible type for %s" % name)


# --- building the lists -----------------------------------------------------

def fail(msg):
    raise SystemExit("glgen: " + msg)


def check_same(label, listed, found):
    if sorted(listed) != sorted(found):
        fail("%s differs from the header: missing %s, extra %s" % (
            label, sorted(set(found) - set(listed)), sorted(set(listed) - set(found))))


def split_13(names):
    """Sorts the OpenGL 1.3 entry points into their families."""
    fam = {"active": [], "multi": [], "transpose": [], "sample": [], "compressed": []}
    for n in names:
        if n in ("glActiveTexture", "glClientActiveTexture"):
            fam["active"].append(n)
        elif n.startswith("glMultiTexCoord"):
            fam["multi"].append(n)
        elif "Transpose" in n:
            fam["transpose"].append(n)
        elif n.startswith("glSample"):
            fam["sample"].append(n)
        elif "Compressed" in n:
            fam["compressed"].append(n)
        else:
            fail("unexpected OpenGL 1.3 entry point " + n)
    return fam


def build(h):
    v11 = h.names_in("GL_VERSION_1_1")
    v12 = h.names_in("GL_VERSION_1_2")
    imaging = h.names_in("GL_ARB_imaging")
    v13 = h.names_in("GL_VERSION_1_3")
    seen = set(v11) | set(v12) | set(imaging) | set(v13)
    v14 = [n for n in h.names_in("GL_VERSION_1_4") if n not in seen]
    seen |= set(v14)
    v15 = [n for n in h.names_in("GL_VERSION_1_5") if n not in seen]
    seen |= set(v15)
    v20 = [n for n in h.names_in("GL_VERSION_2_0") if n not in seen]

    check_same("imaging subset", IMAGING,
               [n for n in imaging if n not in ("glBlendColor", "glBlendEquation")])
    v12_demo = ["glBlendColor", "glBlendEquation", "glDrawRangeElements"] + IMAGING + \
        ["glTexImage3D", "glTexSubImage3D", "glCopyTexSubImage3D"]
    check_same("OpenGL 1.2", v12_demo, v12 + imaging)
    fam = split_13(v13)

    core = [
        ("OpenGL 1.0 and 1.1, alphabetical", sorted(v11)),
        ("OpenGL 1.2 with the imaging subset", v12_demo),
        ("OpenGL 1.3", fam["active"] + fam["multi"] + fam["transpose"] + fam["sample"]
         + fam["compressed"]),
        ("OpenGL 1.4", v14),
    ]

    # Extension entry points: every suffixed name outside the core blocks,
    # in the order the compiler meets them.
    core_blocks = {"GL_VERSION_1_1", "GL_VERSION_1_2", "GL_ARB_imaging", "GL_VERSION_1_3"}
    by_vendor = {}
    for name, block in h.functions:
        if block in core_blocks or block.startswith("GL_VERSION_"):
            continue
        v = vendor_of(name)
        if v:
            by_vendor.setdefault(v, []).append(name)

    def block_names(blocks):
        out = []
        for b in blocks:
            out += [n for n in h.names_in(b) if vendor_of(n) == "ARB" and n not in out]
        return out

    arb_first = block_names(DEMO_ARB_FIRST)
    arb_last = [n for n in block_names(DEMO_ARB_LAST) if n not in arb_first]
    ext = []
    for v in DEMO_VENDORS:
        if v == "ARB-first":
            ext.append(("ARB (matrix palette to window position)", arb_first))
        elif v == "ARB-last":
            ext.append(("ARB (vertex shader, shader objects, occlusion queries)", arb_last))
        else:
            ext.append((v, by_vendor.get(v, [])))

    stub = [
        ("OpenGL 1.0 to 1.2 with the imaging subset, alphabetical",
         sorted(v11 + v12 + imaging)),
        ("OpenGL 1.3", fam["sample"] + fam["transpose"] + fam["compressed"] + fam["active"]
         + fam["multi"]),
        ("OpenGL 1.4", v14),
        ("OpenGL 1.5", v15),
        ("OpenGL 2.0", v20),
    ]
    for v in STUB_VENDORS:
        group = v if isinstance(v, tuple) else (v,)
        names = [n for n, _ in h.functions if vendor_of(n) in group
                 and h.block_of[n] not in core_blocks]
        stub.append((" and ".join(group), names))

    glu_all = sorted(n for n, _ in h.functions if n.startswith("glu"))
    for n in DEMO_GLU:
        if n not in glu_all:
            fail("GLU entry point %s is not in glu.h" % n)

    return core, ext, [("GLU, load order", DEMO_GLU)], stub, \
        [("GLU, alphabetical", glu_all)]


HEADNOTE = """\
// Generated by tools/glgen/glgen.py from the system's GL/gl.h, GL/glext.h and
// GL/glu.h. Do not edit; run the script again when the headers change.
//
// %s
// Each line is GL_ENTRY(name, type); the includer defines GL_ENTRY.
// %d entry points in all.
"""


def write(path, title, groups, h):
    seen = set()
    total = sum(len(g) for _, g in groups)
    out = [HEADNOTE % (title, total)]
    for label, names in groups:
        out.append("\n// %s (%d)\n" % (label, len(names)))
        for n in names:
            if n in seen:
                fail("%s listed twice in %s" % (n, path))
            seen.add(n)
            out.append("GL_ENTRY(%s, %s)\n" % (n, h.type_of(n)))
    text = "".join(out)
    with open(path, "w") as f:
        f.write(text)
    counts = ", ".join("%s %d" % (l, len(g)) for l, g in groups)
    print("%s: %d (%s)" % (os.path.basename(path), total, counts))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--include", default="/usr/include", help="folder holding GL/")
    ap.add_argument("--out", default=os.path.join(here, "..", "..", "window"),
                    help="folder the lists are written to")
    args = ap.parse_args()

    h = Header(args.include)
    h.read("GL/gl.h")
    h.read("GL/glu.h")
    core, ext, glu, stub, glu_stub = build(h)
    out = os.path.normpath(args.out)
    write(os.path.join(out, "gl_names_core.inc"),
          "Demo side: the core OpenGL entry points, filled by InitGL.", core, h)
    write(os.path.join(out, "gl_names_ext.inc"),
          "Demo side: the extension entry points, filled by glInitExt.", ext, h)
    write(os.path.join(out, "glu_names.inc"),
          "Demo side: the GLU entry points, filled by InitGLU.", glu, h)
    write(os.path.join(out, "gl_stub_names.inc"),
          "Framework table: the OpenGL entry points, filled by gl_stub_load.", stub, h)
    write(os.path.join(out, "glu_stub_names.inc"),
          "Framework table: the GLU entry points, filled by glu_stub_load.", glu_stub, h)


if __name__ == "__main__":
    main()
