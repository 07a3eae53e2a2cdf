#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/bitmap_convert.h"
#include "core/video_frame_reader.h"
#include "platform/avi_services.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "support/test_holder.h"

namespace {

using namespace corvexa;
using kavrol_test::AviVideoFormat;
using kavrol_test::AviWriter;

// Reads frame `n` through the job's video reader as 32-bit pixels.
std::vector<std::uint8_t> read_frame(core::VideoFrameReader& reader, int n) {
  kavrol_test::TestHolder holder;
  std::int32_t line = 0;
  EXPECT_TRUE(reader.ReadFrame(holder, line, n)) << n;
  EXPECT_EQ(line, reader.width() * 4);
  return holder.bytes();
}

// The expected 32-bit picture of a test pattern frame (bottom-up).
void expect_pattern(const std::vector<std::uint8_t>& px, int w, int h, int frame) {
  ASSERT_EQ(px.size(), static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t bgr[3];
      kavrol_test::test_pixel(x, y, frame, bgr);
      const std::uint8_t* p = &px[(static_cast<std::size_t>(h - 1 - y) * w + x) * 4];
      ASSERT_TRUE(p[0] == bgr[0] && p[1] == bgr[1] && p[2] == bgr[2])
          << "frame " << frame << " at " << x << "," << y;
    }
}

// Flips DIB rows (bottom-up <-> top-down).
std::vector<std::uint8_t> flip_rows(const std::vector<std::uint8_t>& rows, int stride, int h) {
  std::vector<std::uint8_t> out(rows.size());
  for (int y = 0; y < h; ++y)
    std::memcpy(&out[static_cast<std::size_t>(y) * stride],
                &rows[static_cast<std::size_t>(h - 1 - y) * stride], static_cast<std::size_t>(stride));
  return out;
}

TEST(AviServices, RawFramesBottomUpAndTopDownComeOutTheSame) {
  kavrol_test::TempDir dir;
  const int w = 30, h = 10, stride = 92;
  for (bool top_down : {false, true}) {
    AviWriter writer;
    AviVideoFormat layout;
    layout.width = w;
    layout.height = h;
    layout.top_down = top_down;
    int v = writer.add_video(layout);
    for (int f = 0; f < 5; ++f) {
      auto rows = kavrol_test::test_picture_bgr24(w, h, f);
      writer.add_chunk(v, top_down ? flip_rows(rows, stride, h) : rows);
    }
    const std::string path = dir.file(top_down ? "td.avi" : "bu.avi");
    ASSERT_TRUE(writer.write(path));
    core::VideoFrameReader reader;
    ASSERT_TRUE(reader.Open(path));
    AviStreamInfo info{};
    ASSERT_TRUE(reader.ReadHeader(info));
    EXPECT_EQ(info.length, 5u);
    EXPECT_EQ(reader.ProbeDepth(0), 24);
    // Out of order, and again: random access and repeats give the same pictures.
    for (int f : {0, 1, 4, 2, 2, 3, 0}) expect_pattern(read_frame(reader, f), w, h, f);
    kavrol_test::TestHolder holder;
    std::int32_t line = 0;
    EXPECT_FALSE(reader.ReadFrame(holder, line, 5));  // past the end
  }
}

TEST(AviServices, EmptyChunkRepeatsThePreviousPicture) {
  kavrol_test::TempDir dir;
  AviWriter writer;
  AviVideoFormat layout;
  layout.width = 16;
  layout.height = 8;
  int v = writer.add_video(layout);
  writer.add_chunk(v, kavrol_test::test_picture_bgr24(16, 8, 0));
  writer.add_chunk(v, {}, false);  // dropped frame
  writer.add_chunk(v, kavrol_test::test_picture_bgr24(16, 8, 2));
  const std::string path = dir.file("drop.avi");
  ASSERT_TRUE(writer.write(path));
  core::VideoFrameReader reader;
  ASSERT_TRUE(reader.Open(path));
  expect_pattern(read_frame(reader, 0), 16, 8, 0);
  expect_pattern(read_frame(reader, 1), 16, 8, 0);
  expect_pattern(read_frame(reader, 2), 16, 8, 2);
  EXPECT_EQ(reader.LastDecodable(2, 0), 2);
}

TEST(AviServices, PalettisedAndHighColourFramesComeOutAsStored) {
  kavrol_test::TempDir dir;
  struct Case {
    int depth;
    std::uint32_t clr_used;
  };
  for (Case c : {Case{8, 0}, Case{8, 3}, Case{16, 0}, Case{4, 0}}) {
    AviWriter writer;
    AviVideoFormat layout;
    layout.width = 8;
    layout.height = 2;
    layout.bit_count = static_cast<std::uint16_t>(c.depth);
    layout.clr_used = c.clr_used;
    layout.top_down = true;
    const int entries = c.depth <= 8 ? (c.clr_used ? static_cast<int>(c.clr_used) : 1 << c.depth) : 0;
    for (int i = 0; i < entries; ++i)
      layout.colour_table.insert(layout.colour_table.end(),
                               {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 0});
    int v = writer.add_video(layout);
    const int stride = ((8 * c.depth + 31) & ~31) / 8;
    // Top-down rows: the first stored row is the top one, all 1s; the bottom all 2s.
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * 2, 0);
    for (int x = 0; x < 8; ++x) {
      for (int y = 0; y < 2; ++y) {
        unsigned value = y == 0 ? 1 : 2;
        std::uint8_t* row = &rows[static_cast<std::size_t>(y) * stride];
        if (c.depth == 8) row[x] = static_cast<std::uint8_t>(value);
        if (c.depth == 4) row[x / 2] |= static_cast<std::uint8_t>(x % 2 ? value : value << 4);
        if (c.depth == 16) { row[2 * x] = static_cast<std::uint8_t>(value); row[2 * x + 1] = 0; }
      }
    }
    writer.add_chunk(v, rows);
    const std::string path = dir.file("p.avi");
    ASSERT_TRUE(writer.write(path));
    core::VideoFrameReader reader;
    ASSERT_TRUE(reader.Open(path)) << c.depth;
    EXPECT_EQ(reader.ProbeDepth(0), c.depth == 4 ? 0 : c.depth);
    auto px = read_frame(reader, 0);
    // Bottom-up output: the first row is the picture's bottom row (value 2).
    if (c.depth <= 8) {
      EXPECT_EQ(px[0], 2);
      EXPECT_EQ(px[1], 253);
      EXPECT_EQ(px[8 * 4], 1);
    } else {
      EXPECT_EQ(px[0], 16);  // 5-bit blue 2, times 8
      EXPECT_EQ(px[8 * 4], 8);
    }
  }
}

TEST(AviServices, RefusesWhatIsNotAnAvi) {
  kavrol_test::TempDir dir;
  const std::string text = dir.file("x.avi");
  std::ofstream(text) << "RIFF....WAVEfmt this is not video";
  EXPECT_EQ(platform::AviFile::open(text), nullptr);
  EXPECT_EQ(platform::AviFile::open(dir.file("missing.avi")), nullptr);
  const std::string empty = dir.file("empty.avi");
  std::ofstream(empty).close();
  EXPECT_EQ(platform::AviFile::open(empty), nullptr);

  // A good file cut short at many points never crashes the reader.
  AviWriter writer;
  AviVideoFormat layout;
  int v = writer.add_video(layout);
  for (int f = 0; f < 3; ++f) writer.add_chunk(v, kavrol_test::test_picture_bgr24(64, 48, f));
  const std::string good = dir.file("good.avi");
  ASSERT_TRUE(writer.write(good));
  std::ifstream in(good, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  for (std::size_t cut : {std::size_t{12}, std::size_t{40}, std::size_t{100}, std::size_t{300},
                          bytes.size() / 2, bytes.size() - 20}) {
    const std::string part = dir.file("cut.avi");
    std::ofstream(part, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(cut));
    core::VideoFrameReader reader;
    if (reader.Open(part)) {
      kavrol_test::TestHolder holder;
      std::int32_t line = 0;
      reader.ReadFrame(holder, line, 2);
    }
  }
}

// Our frames of a real clip against FFmpeg's own decode of the same file.
std::vector<std::uint8_t> ffmpeg_frames(const std::string& clip, int w, int h, int count,
                                        const kavrol_test::TempDir& dir) {
  const std::string raw = dir.file("ref.bgra");
  std::string cmd = "ffmpeg -nostdin -v error -i '" + clip + "' -frames:v " +
                    std::to_string(count) + " -vsync passthrough -f rawvideo -pix_fmt bgra -s " +
                    std::to_string(w) + "x" + std::to_string(h) + " -y '" + raw + "'";
  if (std::system(cmd.c_str()) != 0) return {};
  std::ifstream in(raw, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// Chunk numbers of the clip's coded (non-empty) video chunks, from ffprobe.
std::vector<long> coded_chunks(const std::string& clip) {
  std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries packet=dts -of csv=p=0 '" +
                    clip + "'";
  std::vector<long> out;
  if (std::FILE* pipe = ::popen(cmd.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
      if (line[0] >= '0' && line[0] <= '9') out.push_back(std::strtol(line, nullptr, 10));
    ::pclose(pipe);
  }
  return out;
}

// FFmpeg's passthrough decode holds one picture per coded chunk; an empty
// chunk (a dropped frame) shows the picture before it.
int reference_index(const std::vector<long>& chunks, int frame) {
  int index = 0;
  for (std::size_t i = 0; i < chunks.size() && chunks[i] <= frame; ++i) index = static_cast<int>(i);
  return index;
}

TEST(AviServices, RealClipsDecodeLikeFfmpegInAnyOrder) {
  const char* clips[] = {"xvid_mp3.avi", "xvid_bframes_mp3.avi", "mjpeg_pcm.avi",
                         "raw_rgb24_pcm22k.avi", "raw_rgb24_bottomup_pcm22k.avi",
                         "raw_pal8_u8mono.avi", "raw_pal8_bottomup_u8mono.avi", "odd_size.avi",
                         "src_left.avi"};
  int tested = 0;
  for (const char* name : clips) {
    const std::string clip = kavrol_test::media_clip(name);
    if (clip.empty()) continue;
    SCOPED_TRACE(name);
    kavrol_test::TempDir dir;
    core::VideoFrameReader reader;
    ASSERT_TRUE(reader.Open(clip));
    const int w = reader.width(), h = reader.height();
    const int count = 12;
    std::vector<std::uint8_t> ref = ffmpeg_frames(clip, w, h, count, dir);
    ASSERT_EQ(ref.size(), static_cast<std::size_t>(w) * h * 4 * count);
    const std::vector<long> chunks = coded_chunks(clip);
    ASSERT_FALSE(chunks.empty());
    for (int f : {0, 1, 2, 9, 5, 6, 3, 9}) {
      auto px = read_frame(reader, f);
      const int r = reference_index(chunks, f);
      // Compare bottom-up rows with FFmpeg's top-down ones, ignoring byte 3.
      std::size_t differing = 0;
      for (int y = 0; y < h; ++y) {
        const std::uint8_t* ours = &px[static_cast<std::size_t>(h - 1 - y) * w * 4];
        const std::uint8_t* theirs = &ref[(static_cast<std::size_t>(r) * h + y) * w * 4];
        for (int x = 0; x < w; ++x)
          for (int b = 0; b < 3; ++b)
            if (std::abs(ours[4 * x + b] - theirs[4 * x + b]) > 8) ++differing;
      }
      EXPECT_LT(differing, static_cast<std::size_t>(w) * h / 100) << "frame " << f;
    }
    ++tested;
  }
  if (tested == 0) GTEST_SKIP() << "no clips in the shared media folder";
}

TEST(AviServices, HeaderFramesizeThatDiffersFromTheCodedOneIsNotBelieved) {
  const std::string clip = kavrol_test::media_clip("src_left.avi");
  if (clip.empty()) GTEST_SKIP();
  auto file = platform::AviFile::open(clip);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->info().width, 1920u);
  EXPECT_EQ(file->info().height, 1080u);  // the header says 1088
  EXPECT_EQ(file->info().rate, 24000u);
  EXPECT_EQ(file->info().scale, 1000u);
  EXPECT_EQ(file->info().length, 122u);
  auto video = file->get_stream(kStreamTypeVideo, 0);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->info().handler, make_fourcc('4', '6', '2', 'h'));
  EXPECT_NE(file->get_stream(kStreamTypeAudio, 0), nullptr);
  EXPECT_EQ(file->get_stream(kStreamTypeAudio, 1), nullptr);
}

}  // namespace
