#include "platform/avi_header.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvexa::platform {

namespace {

constexpr std::uint32_t kRiff = make_fourcc('R', 'I', 'F', 'F');
constexpr std::uint32_t kAvi = make_fourcc('A', 'V', 'I', ' ');
constexpr std::uint32_t kList = make_fourcc('L', 'I', 'S', 'T');
constexpr std::uint32_t kHdrl = make_fourcc('h', 'd', 'r', 'l');
constexpr std::uint32_t kStrl = make_fourcc('s', 't', 'r', 'l');
constexpr std::uint32_t kMovi = make_fourcc('m', 'o', 'v', 'i');
constexpr std::uint32_t kAvih = make_fourcc('a', 'v', 'i', 'h');
constexpr std::uint32_t kStrh = make_fourcc('s', 't', 'r', 'h');
constexpr std::uint32_t kStrf = make_fourcc('s', 't', 'r', 'f');
constexpr std::uint32_t kStrn = make_fourcc('s', 't', 'r', 'n');

// The header list is small; more than this is not a header we can trust.
constexpr std::size_t kMaxHeaderBytes = 16u << 20;

std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Fills `info` from a stream header chunk (cut or zero-filled to 56 bytes).
void parse_strh(const std::uint8_t* data, std::size_t size, AviStreamInfo& info) {
  std::uint8_t h[56] = {};
  std::memcpy(h, data, std::min<std::size_t>(size, sizeof h));
  info.type = le32(h);
  info.handler = le32(h + 4);
  info.flags = le32(h + 8);
  info.priority = le16(h + 12);
  info.language = le16(h + 14);
  info.initial_frames = le32(h + 16);
  info.scale = le32(h + 20);
  info.rate = le32(h + 24);
  info.start = le32(h + 28);
  info.length = le32(h + 32);
  info.suggested_buffer_size = le32(h + 36);
  info.quality = le32(h + 40);
  info.sample_size = le32(h + 44);
  info.frame_left = static_cast<std::int16_t>(le16(h + 48));
  info.frame_top = static_cast<std::int16_t>(le16(h + 50));
  info.frame_right = static_cast<std::int16_t>(le16(h + 52));
  info.frame_bottom = static_cast<std::int16_t>(le16(h + 54));
}

class HeaderParser {
 public:
  explicit HeaderParser(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  // Walks the chunks in [begin, end); a chunk may run past `end` (short list
  // sizes are common) as long as it stays inside the bytes read.
  void walk(std::size_t begin, std::size_t end, AviHeader& header, AviStreamHeader* stream) {
    std::size_t pos = begin;
    while (pos + 8 <= end && pos + 8 <= bytes_.size()) {
      std::uint32_t id = le32(&bytes_[pos]);
      std::size_t size = le32(&bytes_[pos + 4]);
      std::size_t data = pos + 8;
      std::size_t avail = bytes_.size() - data;
      std::size_t body = std::min(size, avail);
      if (id == kList && body >= 4) {
        std::uint32_t type = le32(&bytes_[data]);
        if (type == kStrl) {
          header.stream_list.emplace_back();
          walk(data + 4, data + body, header, &header.stream_list.back());
        } else if (type == kMovi) {
          return;
        }
      } else if (id == kAvih && body >= 40) {
        const std::uint8_t* p = &bytes_[data];
        header.micro_sec_per_frame = le32(p);
        header.max_bytes_per_sec = le32(p + 4);
        header.flags = le32(p + 12);
        header.total_frames = le32(p + 16);
        header.initial_frames = le32(p + 20);
        header.streams = le32(p + 24);
        header.suggested_buffer_size = le32(p + 28);
        header.width = le32(p + 32);
        header.height = le32(p + 36);
      } else if (stream != nullptr && id == kStrh) {
        parse_strh(&bytes_[data], body, stream->info);
      } else if (stream != nullptr && id == kStrf) {
        stream->format.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(data),
                              bytes_.begin() + static_cast<std::ptrdiff_t>(data + body));
      } else if (stream != nullptr && id == kStrn) {
        std::size_t n = std::min(body, sizeof stream->info.name - 1);
        std::memcpy(stream->info.name, &bytes_[data], n);
        stream->info.name[n] = '\0';
      }
      if (size > avail) return;
      pos = data + size + (size & 1);
    }
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::optional<AviHeader> read_avi_header(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::uint8_t head[24];
  if (std::fread(head, 1, sizeof head, file.get()) != sizeof head) return std::nullopt;
  if (le32(head) != kRiff || le32(head + 8) != kAvi) return std::nullopt;
  if (le32(head + 12) != kList || le32(head + 20) != kHdrl) return std::nullopt;
  // Read the header list with a little slack for lists that declare too little.
  std::size_t list_size = le32(head + 16);
  std::size_t want = std::min<std::size_t>(list_size + 4096, kMaxHeaderBytes);
  std::vector<std::uint8_t> bytes(want);
  std::size_t got = std::fread(bytes.data(), 1, want, file.get());
  bytes.resize(got);
  AviHeader header;
  HeaderParser parser(std::move(bytes));
  parser.walk(0, std::min(list_size >= 4 ? list_size - 4 : 0, got), header, nullptr);
  if (header.stream_list.empty()) return std::nullopt;
  return header;
}

}  // namespace corvexa::platform
