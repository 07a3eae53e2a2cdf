#include "mpeg/mux/scan_offsets.h"

#include <cmath>
#include <vector>

#include "mpeg/mux/byte_order.h"
#include "mpeg/settings/encoder_context.h"

namespace corvexa::mpeg::mux {

namespace {

std::uint8_t bcd(unsigned v) { return static_cast<std::uint8_t>(((v / 10) % 10) << 4 | (v % 10)); }

// Reads a program file front to back through a window.
class WindowReader {
 public:
  explicit WindowReader(File& f) : f_(f) {}
  // Byte at absolute offset; -1 past the end, -2 on a read error.
  int at(std::int64_t off) {
    if (off < start_ || off >= start_ + static_cast<std::int64_t>(data_.size())) {
      data_.resize(kWindow);
      long long n = f_.read_some_at(off, data_.data(), kWindow);
      if (n < 0) {
        data_.clear();
        return -2;
      }
      data_.resize(static_cast<std::size_t>(n));
      start_ = off;
      if (n == 0) return -1;
    }
    return data_[static_cast<std::size_t>(off - start_)];
  }

 private:
  static constexpr std::size_t kWindow = 1 << 20;
  File& f_;
  std::vector<std::uint8_t> data_;
  std::int64_t start_ = 0;
};

// Finds the scan-offset blocks in the video packets and hands the file
// offsets of each block's twelve address bytes to `found`.
template <typename Found>
bool find_blocks(WindowReader& r, bool& read_error, Found found) {
  constexpr std::uint64_t kBlockStart = 0x000001B2100EULL;
  std::uint64_t window = ~0ULL;
  // Only the blocks of I pictures are filled: an encoder may give every
  // picture a block.
  int picture_type = 0;
  int picture_header_bytes = -1;
  std::vector<std::int64_t> positions;
  bool collecting = false;
  std::int64_t off = 0;
  auto byte = [&](std::int64_t o) {
    int b = r.at(o);
    if (b == -2) read_error = true;
    return b;
  };
  for (;;) {
    int b0 = byte(off), b1 = byte(off + 1), b2 = byte(off + 2), id = byte(off + 3);
    if (b0 < 0 || b1 < 0 || b2 < 0 || id < 0) return !read_error;
    if (b0 != 0 || b1 != 0 || b2 != 1) {
      ++off;  // not at a start code: resynchronise
      continue;
    }
    if (id == 0xB9) {
      off += 4;
      continue;
    }
    if (id == 0xBA) {
      int mark = byte(off + 4);
      if (mark < 0) return !read_error;
      if ((mark & 0xC0) == 0x40) {
        int stuffing = byte(off + 13);
        if (stuffing < 0) return !read_error;
        off += 14 + (stuffing & 7);
      } else {
        off += 12;
      }
      continue;
    }
    int l0 = byte(off + 4), l1 = byte(off + 5);
    if (l0 < 0 || l1 < 0) return !read_error;
    std::int64_t length = (l0 << 8) | l1;
    std::int64_t body = off + 6, end = body + length;
    if (id >= 0xE0 && id <= 0xEF) {
      std::int64_t p = body;
      int first = byte(p);
      if ((first & 0xC0) == 0x80) {
        int hlen = byte(p + 2);
        if (hlen < 0) return !read_error;
        p += 3 + hlen;
      } else {
        while (byte(p) == 0xFF && p < end) ++p;
        if ((byte(p) & 0xC0) == 0x40) p += 2;
        int t = byte(p);
        if ((t & 0xF0) == 0x20) p += 5;
        else if ((t & 0xF0) == 0x30) p += 10;
        else p += 1;
      }
      for (; p < end; ++p) {
        int b = byte(p);
        if (b < 0) return !read_error;
        if (collecting) {
          positions.push_back(p);
          if (positions.size() == 12) {
            collecting = false;
            if (!found(positions)) return false;
            positions.clear();
          }
          continue;
        }
        window = ((window << 8) | static_cast<std::uint64_t>(b)) & 0xFFFFFFFFFFFFULL;
        if (picture_header_bytes >= 0 && ++picture_header_bytes == 2) {
          picture_type = (b >> 3) & 7;
          picture_header_bytes = -1;
        }
        if ((window & 0xFFFFFFFFULL) == 0x00000100ULL) picture_header_bytes = 0;
        if (window == kBlockStart && picture_type == 1) {
          collecting = true;
          window = ~0ULL;
        }
      }
    }
    off = end;
  }
}

}  // namespace

void sector_address(std::uint32_t sector, std::uint8_t out[3]) {
  std::uint32_t s = sector;
  out[0] = s < 4500 ? 0 : bcd(s / 4500);
  s %= 4500;
  out[1] = static_cast<std::uint8_t>(0x80 | (s < 75 ? 0 : bcd(s / 75)));
  s %= 75;
  out[2] = static_cast<std::uint8_t>(0x80 | bcd(s));
}

int jump_distance(const VideoInfo& info) {
  double rate = frame_rate_of_code(info.frame_rate_code);
  long gop = info.gops ? std::lround(static_cast<double>(info.pictures) / info.gops) : 1;
  if (gop < 1) gop = 1;
  double pictures = info.pulldown != 0 ? 168.0 : 7.0 * rate;
  return static_cast<int>(std::ceil(pictures / static_cast<double>(gop)));
}

bool write_scan_offsets(EncoderContext& ctx, const VideoInfo& info, File& program,
                        const std::string& program_name, TempFile& sectors) {
  if (info.frame_rate_code < 1 || info.frame_rate_code > 8) {
    report_message(ctx, "SVCD scan offsets aborted, invalid frame rate");
    return true;
  }
  if (info.gops == 0) {
    report_message(ctx, "SVCD scan offsets aborted, no GOP headers found");
    return true;
  }
  std::int64_t size = sectors.file().size();
  if (size < 0) {
    report_message(ctx, "Unable to get the size of the SVCD temporary file %s.", sectors.path().c_str());
    return false;
  }
  int n = static_cast<int>(size / 4);
  std::vector<std::uint8_t> table(static_cast<std::size_t>(n) * 4);
  if (n > 0 && !sectors.file().read_at(0, table.data(), table.size())) {
    report_message(ctx, "Unable to read from SVCD temporary file %s, offset = %u, size = %u",
                   sectors.path().c_str(), 0u, static_cast<unsigned>(table.size()));
    return false;
  }
  report_message(ctx, "  Calculating %d SVCD user data scan offsets for file %s", n,
                 program_name.c_str());
  const int g = jump_distance(info);
  auto sector_of = [&](int index) { return get_le32(table.data() + 4 * index); };

  WindowReader reader(program);
  bool read_error = false;
  bool write_error = false;
  int k = 0;
  int last_percent = -1;
  bool ok = find_blocks(reader, read_error, [&](const std::vector<std::int64_t>& pos) {
    if (k >= n || stop_requested(ctx)) return false;
    int percent = n ? k * 100 / n : 100;
    if (percent != last_percent) {
      last_percent = percent;
      report_progress(ctx, percent, "SVCD Scan Offsets: %d%% - %d of %d  I-Frames.", percent, k, n);
    }
    std::uint8_t addr[12];
    const std::uint8_t none[3] = {0xFF, 0xFF, 0xFF};
    auto put = [&](int slot, int index) {
      if (index < 0) std::copy(none, none + 3, addr + 3 * slot);
      else sector_address(sector_of(index), addr + 3 * slot);
    };
    put(0, k == 0 ? -1 : k - 1);
    put(1, k == n - 1 ? -1 : k + 1);
    put(2, k >= g ? k - g : 0);
    put(3, k < n - g - 1 ? k + g : n - 1);
    if (ctx.work.verbose) {
      static const char* const kNames[4] = {"Prev I Offset: %02X:%02X:%02X", "Next I Offset: %02X:%02X:%02X",
                                            "Back I Offset: %02X:%02X:%02X", "Forw I Offset: %02X:%02X:%02X"};
      report_message(ctx, "  i frame: %d", k);
      for (int i = 0; i < 4; ++i)
        report_message(ctx, kNames[i], addr[3 * i], addr[3 * i + 1] & 0x7F, addr[3 * i + 2] & 0x7F);
    }
    for (int i = 0; i < 12; ++i) {
      if (!program.write_at(pos[static_cast<std::size_t>(i)], addr + i, 1)) {
        write_error = true;
        return false;
      }
    }
    ++k;
    return k < n;
  });
  (void)ok;
  if (write_error) {
    report_message(ctx, "Unable to write to program file %s.", program_name.c_str());
    return false;
  }
  if (read_error) {
    report_message(ctx, "Unable to read from program file %s.", program_name.c_str());
    return false;
  }
  if (stop_requested(ctx)) return false;
  if (k < n) {
    report_message(ctx, "Could not find User Data at I-frame %d in file %s.", k, program_name.c_str());
    return false;
  }
  report_progress(ctx, 100, "SVCD Scan Offsets: 100%% - %d of %d  I-Frames.", n, n);
  report_message(ctx, "  Finished calculating SVCD scan offsets for file %s", program_name.c_str());
  return true;
}

}  // namespace corvexa::mpeg::mux
