// Ogg Vorbis encoding; see ogg_encode.h.
#include "tools/content/ogg_encode.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <stdexcept>

namespace content {

namespace {

constexpr int kSerial = 0x454D4246;  // "EMBF"
constexpr long kChunk = 8192;

void AppendPage(std::vector<uint8_t> &out, const ogg_page &page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<uint8_t> EncodeOggVorbis(const StereoBuffer &audio, int rate, float quality) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("the Vorbis encoder refuses its settings");
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "emberfield");
  vorbis_comment_add_tag(&vc, "ARTIST", "vantor");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, kSerial);

  std::vector<uint8_t> out;
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page page;
  // The audio starts on a fresh page, as players expect.
  while (ogg_stream_flush(&os, &page) != 0) {
    AppendPage(out, page);
  }

  const long total = static_cast<long>(audio.left.size());
  long pos = 0;
  bool end = false;
  while (!end) {
    long n = std::min(kChunk, total - pos);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float **buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      std::copy(audio.left.begin() + pos, audio.left.begin() + pos + n, buf[0]);
      std::copy(audio.right.begin() + pos, audio.right.begin() + pos + n, buf[1]);
      vorbis_analysis_wrote(&vd, static_cast<int>(n));
      pos += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet) != 0) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) != 0) {
          AppendPage(out, page);
          if (ogg_page_eos(&page) != 0) {
            end = true;
          }
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace content
