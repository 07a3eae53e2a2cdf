// What a user may set for a video compressor and for the AVI writer.
#pragma once

namespace corvexa::platform {

struct VideoCompressorSettings {
  int bit_rate_kbps = 0;       // 0: constant quality instead
  int quality = 4;             // quantiser 1 (best) to 31, when no bit rate
  int key_frame_interval = 0;  // frames; 0: the encoder's own
};

struct AviWriterOptions {
  // Longest stretch one stream may run ahead of the other in the file.
  int interleave_ms = 1000;
  // Larger than 1 GiB continues in OpenDML RIFF-AVIX parts; the first part
  // keeps an AVI 1.0 index for older readers.
  bool open_dml = true;
};

}  // namespace corvexa::platform
