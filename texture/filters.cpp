// The image-filter table: which formats the loader knows and the order in
// which they are asked to recognise a file (the first that accepts it reads
// it, so a PNG named ".jpg" still loads as PNG).
#include "texture/formats.h"

namespace {

const txFilter bmpFilter = {TX_ID_BMP, "zelka!quorvix's BMP input filter", "Windows bitmap (BMP)",
                            bmpIdentify, bmpRead, nullptr};
const txFilter pngFilter = {TX_ID_PNG, "zelka!quorvix's PNG filter",
                            "Portable Network Graphics format (PNG)", pngIdentify, pngRead, pngWrite};
const txFilter tgaFilter = {TX_ID_TGA, "zelka!quorvix's TGA filter", "Targa (TGA)", tgaIdentify,
                            tgaRead, tgaWrite};
const txFilter jpegFilter = {TX_ID_JPEG, "zelka!quorvix's JPEG filter", "JPEG format (JPG)",
                             jpegIdentify, jpegRead, jpegWrite};
const txFilter ddsFilter = {TX_ID_DDS, "zelka!quorvix's DDS input filter",
                            "Windows DirectDrawSurface (DDS)", ddsIdentify, ddsRead, nullptr};
const txFilter qtxFilter = {TX_ID_QTX, "zelka!quorvix's QTX filter", "Z packed DDS (QTX)",
                            ddzIdentify, ddzRead, ddzWrite};
const txFilter pnmFilter = {TX_ID_PNM, "zelka!quorvix's PNM filter", "Portable Pixmap (PNM)",
                            pnmIdentify, pnmRead, pnmWrite};
const txFilter dicomFilter = {TX_ID_DICOM, "zelka!quorvix's DICOM input filter",
                              "Digital Imaging and Communications in Medicine (DICOM)",
                              dicomIdentify, dicomRead, nullptr};

}  // namespace

const txFilter *const txFilters[] = {
    &bmpFilter, &pngFilter, &tgaFilter, &jpegFilter, &ddsFilter,
    &qtxFilter, &pnmFilter, &dicomFilter, nullptr,
};
