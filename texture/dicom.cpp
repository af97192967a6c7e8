// The DICOM input filter: uncompressed 8-bit images stored with explicit
// value representations in little-endian order.
//
// After the 128-byte preamble and "DICM" come data elements {u16 group,
// u16 element, two-letter value representation, u16 length, value}; the
// representations that carry large values (OB, OW, SQ, UN, UT ...) have
// two reserved bytes and a u32 length instead. The reader walks them from
// byte 132 and takes rows, columns, samples per pixel and the pixel data
// of the top-level data set; elements inside sequences (icons and the
// like) are passed over, whether their sequences have a length or end in
// a delimiter.
//
// Only what it can show truthfully is returned: one or three 8-bit samples
// per pixel (grey, or RGB turned blue first), interleaved, in a file whose
// transfer syntax is explicit little-endian. Other transfer syntaxes,
// depths, photometric interpretations and encapsulated pixel data are
// refused (1004); missing elements fail (1000), and pixel data shorter
// than rows × columns × samples, or an element cut off by the end of the
// file, fail (1002). The walk never reads past the buffer.
//
// Main thread only; no state.
#include <cstring>
#include <string_view>

#include "framework/sys.h"
#include "texture/formats.h"

namespace {

constexpr size_t DICOM_PREAMBLE = 128;
constexpr size_t DICOM_FIRST_ELEMENT = 132;
constexpr uint32_t DICOM_UNDEFINED = 0xFFFFFFFF;

constexpr uint32_t tag(uint16_t group, uint16_t element) { return uint32_t(group) << 16 | element; }

constexpr uint32_t TAG_TRANSFER_SYNTAX = tag(0x0002, 0x0010);
constexpr uint32_t TAG_SAMPLES = tag(0x0028, 0x0002);
constexpr uint32_t TAG_PHOTOMETRIC = tag(0x0028, 0x0004);
constexpr uint32_t TAG_PLANAR = tag(0x0028, 0x0006);
constexpr uint32_t TAG_ROWS = tag(0x0028, 0x0010);
constexpr uint32_t TAG_COLUMNS = tag(0x0028, 0x0011);
constexpr uint32_t TAG_BITS_ALLOCATED = tag(0x0028, 0x0100);
constexpr uint32_t TAG_PIXEL_DATA = tag(0x7FE0, 0x0010);
constexpr uint32_t TAG_ITEM = tag(0xFFFE, 0xE000);
constexpr uint32_t TAG_SEQUENCE_END = tag(0xFFFE, 0xE0DD);

constexpr std::string_view EXPLICIT_LITTLE_ENDIAN = "1.2.840.10008.1.2.1";

// Representations with two reserved bytes and a 32-bit length.
bool longForm(const uint8_t *vr) {
  static const char *const kinds[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                      "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char *k : kinds)
    if (vr[0] == k[0] && vr[1] == k[1]) return true;
  return false;
}

bool isLetter(uint8_t c) { return c >= 'A' && c <= 'Z'; }

// A text value without its padding (trailing blanks and NULs).
std::string_view text(const uint8_t *value, uint32_t length) {
  std::string_view s(reinterpret_cast<const char *>(value), length);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

struct DicomImage {
  int32_t rows = -1, columns = -1, samples = -1, bitsAllocated = -1, planar = -1;
  std::string_view photometric;
  const uint8_t *pixels = nullptr;
  uint32_t pixelBytes = 0;
};

// Walks the elements; 0 when the walk ended normally (at the pixel data or
// the end of the buffer), else the failure's code.
int32_t walk(const uint8_t *data, size_t size, DicomImage *image) {
  size_t pos = DICOM_FIRST_ELEMENT;
  int32_t depth = 0;  // open sequences of undefined length
  while (size - pos >= 8) {
    const uint32_t id = tag(txGet16(data + pos), txGet16(data + pos + 2));
    if ((id >> 16) == 0xFFFE) {
      // Items and delimiters carry no representation.
      const uint32_t length = txGet32(data + pos + 4);
      pos += 8;
      if (id == TAG_SEQUENCE_END && depth > 0) --depth;
      if (id == TAG_ITEM && length != DICOM_UNDEFINED) {
        if (length > size - pos) return TX_ERR_SHORT;
        pos += length;
      }
      continue;
    }
    const uint8_t *vr = data + pos + 4;
    if (!isLetter(vr[0]) || !isLetter(vr[1])) return TX_ERR_FORMAT;
    uint32_t length = txGet16(data + pos + 6);
    size_t header = 8;
    if (longForm(vr)) {
      if (size - pos < 12) return TX_ERR_SHORT;
      length = txGet32(data + pos + 8);
      header = 12;
    }
    pos += header;
    if (length == DICOM_UNDEFINED) {
      // Only a sequence may be open-ended here; encapsulated pixel data and
      // implicitly encoded sequences cannot be shown.
      if (vr[0] != 'S' || vr[1] != 'Q') return TX_ERR_DEPTH;
      ++depth;
      continue;
    }
    if (length > size - pos) return TX_ERR_SHORT;
    const uint8_t *value = data + pos;
    pos += length;
    if (id == TAG_TRANSFER_SYNTAX && text(value, length) != EXPLICIT_LITTLE_ENDIAN)
      return TX_ERR_DEPTH;
    if (depth > 0) continue;
    const int32_t number = length >= 2 ? txGet16(value) : -1;
    switch (id) {
      case TAG_ROWS: image->rows = number; break;
      case TAG_COLUMNS: image->columns = number; break;
      case TAG_SAMPLES: image->samples = number; break;
      case TAG_BITS_ALLOCATED: image->bitsAllocated = number; break;
      case TAG_PLANAR: image->planar = number; break;
      case TAG_PHOTOMETRIC: image->photometric = text(value, length); break;
      case TAG_PIXEL_DATA:
        image->pixels = value;
        image->pixelBytes = length;
        return 0;
      default: break;
    }
  }
  return 0;
}

pxBitmap fail(pxBitmap bitmap, int32_t code) {
  if (bitmap) txFree(&bitmap);
  SYS_ErrorSet(code);
  return nullptr;
}

}  // namespace

int32_t dicomIdentify(const uint8_t *data, size_t size) {
  if (size < DICOM_FIRST_ELEMENT || std::memcmp(data + DICOM_PREAMBLE, "DICM", 4) != 0)
    return TX_ERR_FORMAT;
  for (size_t i = 0; i < DICOM_PREAMBLE; ++i)
    if (data[i] != 0) return TX_ERR_FORMAT;
  return 0;
}

pxBitmap dicomRead(const uint8_t *data, size_t size) {
  SYS_ErrorClear();
  if (!data || size < DICOM_FIRST_ELEMENT) return fail(nullptr, TX_ERR_SHORT);
  DicomImage image;
  const int32_t code = walk(data, size, &image);
  if (code != 0) return fail(nullptr, code);
  if (image.rows <= 0 || image.columns <= 0 || image.samples <= 0 || !image.pixels)
    return fail(nullptr, TX_ERR_FORMAT);

  const bool grey = image.samples == 1;
  const std::string_view wanted = grey ? "MONOCHROME2" : "RGB";
  if ((image.samples != 1 && image.samples != 3) ||
      (image.bitsAllocated != -1 && image.bitsAllocated != 8) ||
      (!image.photometric.empty() && image.photometric != wanted) || image.planar > 0)
    return fail(nullptr, TX_ERR_DEPTH);

  size_t bytes = 0;
  if (!txPixelBytes(image.columns, image.rows, image.samples * 8, &bytes) ||
      image.pixelBytes < bytes)
    return fail(nullptr, TX_ERR_SHORT);

  pxBitmap bitmap = txNewBitmap("bmpRead: struct");
  if (!bitmap) return nullptr;
  bitmap->type = TX_BLUE_FIRST;
  bitmap->subtype = grey ? TX_LAYOUT_GREY : TX_LAYOUT_OTHER;
  bitmap->width = image.columns;
  bitmap->height = image.rows;
  bitmap->bits = image.samples * 8;
  bitmap->levels = 1;
  bitmap->imagesize[0] = uint32_t(bytes);
  bitmap->image[0] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "buffer"));
  if (!bitmap->image[0]) return fail(bitmap, 5);
  std::memcpy(bitmap->image[0], image.pixels, bytes);
  if (!grey) txSwapRB(bitmap);
  return bitmap;
}
