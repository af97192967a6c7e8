// The DICOM filter: pydicom's 8-bit explicit little-endian files decoded
// (icons inside sequences passed over), every sample pydicom ships checked
// against pydicom's own pixels or refused for a layout the filter cannot
// show, and missing or inconsistent elements failing instead of giving an
// empty image.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

Bytes DicomFixture(const std::string &name) { return Fixture("dicom/" + name); }

// A file of explicit little-endian elements after the preamble and "DICM".
struct DicomBuilder {
  Bytes b = Bytes(128, 0);
  DicomBuilder() {
    for (char c : {'D', 'I', 'C', 'M'}) b.push_back(uint8_t(c));
  }
  DicomBuilder &Short(uint16_t group, uint16_t element, const char *vr, const Bytes &value) {
    Put(b, group, 2);
    Put(b, element, 2);
    b.insert(b.end(), vr, vr + 2);
    Put(b, uint32_t(value.size()), 2);
    b.insert(b.end(), value.begin(), value.end());
    return *this;
  }
  DicomBuilder &Long(uint16_t group, uint16_t element, const char *vr, const Bytes &value,
                     uint32_t length = 0) {
    Put(b, group, 2);
    Put(b, element, 2);
    b.insert(b.end(), vr, vr + 2);
    Put(b, 0, 2);
    Put(b, length ? length : uint32_t(value.size()), 4);
    b.insert(b.end(), value.begin(), value.end());
    return *this;
  }
  DicomBuilder &US(uint16_t group, uint16_t element, uint16_t v) {
    return Short(group, element, "US", Bytes{uint8_t(v), uint8_t(v >> 8)});
  }
  DicomBuilder &Image(uint16_t rows, uint16_t columns, uint16_t samples) {
    Long(0x0002, 0x0001, "OB", Bytes{0, 1});  // the meta information version
    const std::string ts = "1.2.840.10008.1.2.1";
    Bytes uid(ts.begin(), ts.end());
    uid.push_back(0);  // padded to an even length
    Short(0x0002, 0x0010, "UI", uid);
    US(0x0028, 0x0002, samples);
    US(0x0028, 0x0010, rows);
    return US(0x0028, 0x0011, columns);
  }
};

TEST(DicomRead, SixtyFourSquareGreyFromObPixelData) {
  Bytes pixels(4096);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  const Bytes file = DicomBuilder().Image(64, 64, 1).Long(0x7FE0, 0x0010, "OB", pixels).b;
  BitmapPtr b = Decode(dicomRead, file);
  ASSERT_TRUE(b) << SYS_ErrorGet();
  EXPECT_EQ(b->width, 64);
  EXPECT_EQ(b->height, 64);
  EXPECT_EQ(b->bits, 8);
  EXPECT_EQ(b->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(b->type, TX_BLUE_FIRST);
  EXPECT_EQ(b->levels, 1);
  ASSERT_EQ(b->imagesize[0], 4096u);
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), b->image[0]));
}

TEST(DicomRead, PydicomsGreyFilesDecodeAndIconsInSequencesArePassedOver) {
  for (auto [file, expected] :
       {std::pair{"grey8_pydicom.dcm", "grey8_pydicom.pgm"},
        std::pair{"grey8_icon_pydicom.dcm", "grey8_icon_pydicom.pgm"},
        std::pair{"grey8_icon_undefined_pydicom.dcm", "grey8_icon_pydicom.pgm"}}) {
    BitmapPtr b = Decode(dicomRead, DicomFixture(file));
    ASSERT_TRUE(b) << file << ": " << SYS_ErrorGet();
    ExpectSamePixels(b.get(), ReadPnm(std::string("dicom/") + expected), false);
  }
}

TEST(DicomRead, AnRgbSampleComesOutBlueFirst) {
  BitmapPtr b = Decode(dicomRead, DicomFixture("SC_rgb_small_odd.dcm"));
  ASSERT_TRUE(b) << SYS_ErrorGet();
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->type, TX_BLUE_FIRST);
  EXPECT_EQ(b->imagesize[0], 27u);  // not the element's padded 28
  ExpectSamePixels(b.get(), ReadPnm("dicom/SC_rgb_small_odd.ppm"), true);
}

TEST(DicomRead, PydicomSamplesItCannotShowAreRefusedWithTheirReason) {
  const size_t live = SYS_MemLiveCount();
  for (auto [file, code] : {std::pair{"MR_small.dcm", TX_ERR_DEPTH},           // 16 bits
                            std::pair{"MR_small_implicit.dcm", TX_ERR_DEPTH},  // implicit VR
                            std::pair{"image_dfl.dcm", TX_ERR_DEPTH},          // deflated
                            std::pair{"SC_ybr_full_422_uncompressed.dcm", TX_ERR_DEPTH},
                            std::pair{"MR_truncated.dcm", TX_ERR_SHORT}}) {
    EXPECT_FALSE(Decode(dicomRead, DicomFixture(file))) << file;
    EXPECT_EQ(SYS_ErrorGet(), code) << file;
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST(DicomRead, MissingElementsFailWith1000InsteadOfAnEmptyImage) {
  EXPECT_FALSE(Decode(dicomRead, DicomBuilder().Image(4, 4, 1).b));  // no pixel data
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  DicomBuilder noRows;
  noRows.US(0x0028, 0x0011, 4).US(0x0028, 0x0002, 1).Long(0x7FE0, 0x0010, "OB", Bytes(16));
  EXPECT_FALSE(Decode(dicomRead, noRows.b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_FALSE(Decode(dicomRead, DicomBuilder().b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
}

TEST(DicomRead, InconsistentElementsFail) {
  // Pixel data shorter than rows x columns x samples.
  EXPECT_FALSE(
      Decode(dicomRead, DicomBuilder().Image(4, 4, 3).Long(0x7FE0, 0x0010, "OB", Bytes(47)).b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  // An element whose length runs past the file.
  EXPECT_FALSE(
      Decode(dicomRead, DicomBuilder().Image(4, 4, 1).Long(0x7FE0, 0x0010, "OB", Bytes(16), 17).b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  // Depths, layouts and colour models that would show the wrong picture.
  auto rgbWith = [](void (*add)(DicomBuilder &)) {
    DicomBuilder d;
    d.Image(4, 4, 3);
    add(d);
    return d.Long(0x7FE0, 0x0010, "OB", Bytes(48, 9)).b;
  };
  EXPECT_TRUE(Decode(dicomRead, rgbWith([](DicomBuilder &) {})));
  for (auto add : {+[](DicomBuilder &d) { d.US(0x0028, 0x0100, 16); },
                   +[](DicomBuilder &d) { d.US(0x0028, 0x0006, 1); },
                   +[](DicomBuilder &d) {
                     d.Short(0x0028, 0x0004, "CS", {'Y', 'B', 'R', '_', 'F', 'U', 'L', 'L'});
                   }}) {
    EXPECT_FALSE(Decode(dicomRead, rgbWith(add)));
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  }
}

TEST(DicomRead, EncapsulatedPixelDataAndTwoSamplesAreRefused) {
  EXPECT_FALSE(Decode(dicomRead,
                      DicomBuilder().Image(2, 2, 1).Long(0x7FE0, 0x0010, "OB", {}, 0xFFFFFFFF).b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  EXPECT_FALSE(
      Decode(dicomRead, DicomBuilder().Image(2, 2, 2).Long(0x7FE0, 0x0010, "OB", Bytes(8)).b));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

// ---- pydicom as the oracle ---------------------------------------------------

// pydicom's own reading of one file of its data folder.
struct PydicomView {
  std::string path;
  std::string syntax, syntaxName;  // the transfer syntax's UID and pydicom's name for it
  std::string bits, samples, planar, photometric, rows, columns, frames;  // "-" when absent
  Bytes pixels;      // pixel_array's bytes (rows top first, samples in file order), when one byte each
  std::string note;  // why pydicom read no data set or no pixels, else empty
};

// Prints one tab-separated line per file of pydicom's data folder, in the
// order of PydicomView's fields. Debian's
// python3-pydicom (with python3-numpy for pixel_array) is installed by the
// setup; the system's own python is the one that has it.
constexpr const char *kPydicomDump = R"(
import os, sys, warnings
warnings.simplefilter('ignore')
try:
    import numpy, pydicom, pydicom.data, pydicom.uid
except ImportError as e:
    sys.exit(str(e))
root = os.path.dirname(pydicom.data.__file__)
def why(e):
    return type(e).__name__ + ': ' + ' '.join(str(e).split())[:160]
out = []
for folder, dirs, files in os.walk(root):
    dirs.sort()
    for name in sorted(files):
        path = os.path.join(folder, name)
        row = [path] + ['-'] * 10
        try:
            ds = pydicom.dcmread(path)
        except Exception as e:
            out.append('\t'.join(['sample'] + row + ['no data set: ' + why(e)]))
            continue
        uid = ds.file_meta.get('TransferSyntaxUID')
        if uid is not None:
            row[1], row[2] = str(uid), pydicom.uid.UID(uid).name
        for i, key in enumerate(('BitsAllocated', 'SamplesPerPixel', 'PlanarConfiguration',
                                 'PhotometricInterpretation', 'Rows', 'Columns',
                                 'NumberOfFrames'), 3):
            row[i] = str(ds.get(key, '-')).strip() or '-'
        note = ''
        if 'PixelData' not in ds:
            note = 'no pixel data'
        else:
            try:
                a = ds.pixel_array
                if a.dtype.itemsize == 1:
                    row[10] = a.tobytes().hex()
            except Exception as e:
                note = 'pixels not decoded: ' + why(e)
        out.append('\t'.join(['sample'] + row + [note]))
# At once, so that nothing pydicom says on the error stream splits a line.
print('\n'.join(out))
)";

std::vector<PydicomView> PydicomSamples() {
  const RunResult run = Run({"/usr/bin/python3", "-c", kPydicomDump});
  EXPECT_EQ(run.status, 0) << "python3-pydicom and python3-numpy must be installed: " << run.output;
  std::vector<PydicomView> views;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 12 || f[0] != "sample") continue;  // pydicom's own chatter
    PydicomView v{f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], {},
                  f.size() > 12 ? f[12] : ""};
    for (size_t i = 0; f[11] != "-" && i + 1 < f[11].size(); i += 2)
      v.pixels.push_back(uint8_t(std::stoi(f[11].substr(i, 2), nullptr, 16)));
    views.push_back(std::move(v));
  }
  return views;
}

// Why the filter cannot show the sample truthfully, by pydicom's reading of
// it; empty when it can: one frame of one (grey) or three (RGB) interleaved
// 8-bit samples per pixel, in explicit little-endian without compression.
std::string Unshown(const PydicomView &v) {
  auto value = [](const std::string &s) { return s == "-" ? std::string("none") : s; };
  if (v.note.rfind("no ", 0) == 0) return v.note;
  if (v.syntax != "1.2.840.10008.1.2.1") return "transfer syntax " + value(v.syntaxName);
  if (v.bits != "8") return "bits allocated " + value(v.bits);
  const std::string colours = v.samples == "1" ? "MONOCHROME2" : v.samples == "3" ? "RGB" : "";
  if (v.photometric != colours)
    return "samples per pixel " + value(v.samples) + ", " + value(v.photometric);
  if (v.planar != "-" && v.planar != "0") return "planar configuration " + v.planar;
  if (v.frames != "-" && v.frames != "1") return "frames " + v.frames;
  return v.note;  // pixels pydicom could not decode, else nothing
}

// Every file pydicom ships: what the filter decodes is a layout it can show,
// with pydicom's pixels after the bitmap's row order (top row first) and
// channel order (blue first); what it refuses is a layout it cannot show,
// by pydicom's reading. Nothing crashes either way.
TEST(DicomRead, EveryInstalledPydicomSampleDecodesAsPydicomDoesOrHasALayoutItCannotShow) {
  const std::vector<PydicomView> samples = PydicomSamples();
  int grey = 0, rgb = 0;
  for (const PydicomView &v : samples) {
    SCOPED_TRACE(v.path);
    const std::string unshown = Unshown(v);
    BitmapPtr b = Decode(dicomRead, ReadBytes(v.path));
    if (!b) {
      EXPECT_NE(unshown, "") << "refused with " << SYS_ErrorGet() << " a layout it can show";
      continue;
    }
    EXPECT_EQ(unshown, "") << "decoded a layout it cannot show";
    if (!unshown.empty()) continue;
    const int channels = std::stoi(v.samples);
    (channels == 1 ? grey : rgb)++;
    EXPECT_EQ(std::to_string(b->width) + "x" + std::to_string(b->height) + "x" + std::to_string(b->bits),
              v.columns + "x" + v.rows + "x" + std::to_string(8 * channels));
    Bytes want = v.pixels;
    if (channels == 3)
      for (size_t i = 0; i + 2 < want.size(); i += 3) std::swap(want[i], want[i + 2]);
    ASSERT_EQ(b->imagesize[0], want.size());
    const size_t at = size_t(std::mismatch(want.begin(), want.end(), b->image[0]).first - want.begin());
    EXPECT_EQ(at, want.size()) << "pixel bytes differ from byte " << at << " on: pydicom's "
                               << int(want[at]) << ", ours " << int(b->image[0][at]);
  }
  // Both kinds the filter shows were compared.
  EXPECT_GT(grey, 0);
  EXPECT_GT(rgb, 0);
}

}  // namespace
