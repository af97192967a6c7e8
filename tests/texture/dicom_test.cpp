// The DICOM filter: pydicom's 8-bit explicit little-endian files decoded
// (icons inside sequences passed over), its other samples refused without
// a crash, and missing or inconsistent elements failing instead of giving
// an empty image.
#include <gtest/gtest.h>

#include <filesystem>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

Bytes DicomFixture(const std::string &name) { return Fixture("dicom/" + name); }

// A file of explicit little-endian elements after the preamble and "DICM".
struct DicomBuilder {
  Bytes b = Bytes(128, 0);
  DicomBuilder() { b.insert(b.end(), {'D', 'I', 'C', 'M'}); }
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

// Every sample pydicom ships (Debian's python3-pydicom, which the setup
// installs; the system's own python says where it lies): none may crash,
// and what decodes holds together.
TEST(DicomRead, EveryInstalledPydicomSampleIsReadSafely) {
  const ember_test::RunResult where =
      ember_test::Run({"/usr/bin/python3", "-c",
           "import os, pydicom.data; print(os.path.dirname(pydicom.data.__file__), end='')"});
  ASSERT_EQ(where.status, 0) << "python3-pydicom is not installed: " << where.output;
  const std::filesystem::path dir = where.output;
  ASSERT_TRUE(std::filesystem::is_directory(dir / "test_files")) << dir;
  int decoded = 0;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".dcm") continue;
    const Bytes file = ReadBytes(entry.path());
    if (BitmapPtr b = Decode(dicomRead, file)) {
      ++decoded;
      EXPECT_EQ(b->imagesize[0], uint32_t(b->width * b->height * b->bits / 8)) << entry.path();
    }
  }
  EXPECT_GT(decoded, 0);
}

}  // namespace
