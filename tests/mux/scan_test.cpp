// Scanning of elementary streams into unit records.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "mpeg/mux/byte_order.h"
#include "mpeg/mux/scanner.h"
#include "mpeg/mux/stream_info.h"
#include "mpeg/mux/timestamp.h"
#include "mux/mux_test_support.h"
#include "support/temp_dir.h"

namespace {

using namespace corvexa::mpeg::mux;
using corvexa::mpeg::EncoderContext;
using mux_test::Fixtures;

std::vector<std::uint8_t> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<VideoUnit> read_video_units(TempFile& units) {
  std::vector<VideoUnit> v;
  std::int64_t size = units.file().size();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0) units.file().read_at(0, bytes.data(), bytes.size());
  for (std::size_t i = 0; i + kVideoUnitRecordSize <= bytes.size(); i += kVideoUnitRecordSize)
    v.push_back(decode_video_unit(bytes.data() + i));
  return v;
}

TEST(TimestampRecord, KeepsThirtyThreeBitsAndTheExtensionForMpeg2Only) {
  const double ticks = (4294967296.0 + 12345) * 300 + 299;  // beyond 32 bits of the base
  TimestampRecord r = to_record(ticks, true);
  EXPECT_EQ(r.base_bit32, 1u);
  EXPECT_EQ(r.base, 12345u);
  EXPECT_EQ(r.extension, 299u);
  EXPECT_EQ(from_record(r), ticks);
  EXPECT_EQ(to_record(ticks, false).extension, 0u);
  TimestampRecord neg = to_record(-600, true);
  EXPECT_EQ(neg.negative, 1u);
  EXPECT_EQ(from_record(neg), -600);
  std::uint8_t bytes[16];
  store_record(r, bytes);
  EXPECT_EQ(get_le32(bytes), 1u);
  EXPECT_EQ(from_record(load_record(bytes)), ticks);
}

TEST(AudioFrameSizes, FollowLayerRateAndPadding) {
  EXPECT_EQ(mpeg_audio_frame_size(1, 2, 11, 0, 0), 731u);  // 224 kbit/s at 44.1 kHz
  EXPECT_EQ(mpeg_audio_frame_size(1, 2, 11, 0, 1), 732u);
  EXPECT_EQ(mpeg_audio_frame_size(1, 2, 11, 1, 0), 672u);  // 48 kHz
  EXPECT_EQ(mpeg_audio_frame_size(1, 1, 12, 1, 0), 384u);  // layer I, 384 kbit/s, 4-byte slots
  EXPECT_EQ(mpeg_audio_frame_size(1, 2, 0, 0, 0), 0u);     // free format: unknown
  EXPECT_EQ(ac3_frame_size(0, 20), 768u);                  // 192 kbit/s at 48 kHz
  EXPECT_EQ(ac3_frame_size(1, 0), 138u);                   // 32 kbit/s at 44.1 kHz
  EXPECT_EQ(ac3_frame_size(1, 1), 140u);
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Fixtures::get().ok) GTEST_SKIP() << "ffmpeg could not make the fixtures";
    ctx.status = &sink;
    ASSERT_TRUE(units.create(dir.path().string(), "tmpa1"));
  }
  bool scan(const std::string& path, VideoScanOptions o = {}) {
    return scan_video(ctx, path, units, o, info, count, total);
  }

  EncoderContext ctx;
  mux_test::RecordingSink sink;
  kavrol_test::TempDir dir;
  TempFile units;
  VideoInfo info;
  unsigned count = 0;
  double total = 0;
};

TEST_F(ScanTest, UnitsCoverTheStreamWithTimesOfTheirPictures) {
  const std::string& path = Fixtures::get().m1v_pal;
  ASSERT_TRUE(scan(path)) << sink.all();
  std::vector<VideoUnit> u = read_video_units(units);
  ASSERT_EQ(u.size(), 50u);
  EXPECT_EQ(count, 50u);
  EXPECT_EQ(info.horizontal_size, 352u);
  EXPECT_EQ(info.vertical_size, 288u);
  EXPECT_EQ(info.frame_rate_code, 3u);
  EXPECT_FALSE(info.mpeg2);
  double sum = 0;
  const double period = 27e6 / 25;
  std::vector<double> pts;
  for (std::size_t i = 0; i < u.size(); ++i) {
    sum += u[i].size;
    EXPECT_DOUBLE_EQ(u[i].dts, i * period);
    EXPECT_GE(u[i].pts, u[i].dts);
    if (u[i].type == kPictureB) {
      EXPECT_DOUBLE_EQ(u[i].pts, u[i].dts);
    }
    pts.push_back(u[i].pts);
  }
  EXPECT_EQ(sum, static_cast<double>(std::filesystem::file_size(path)));
  // Display times are every picture period once each.
  std::sort(pts.begin(), pts.end());
  for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_DOUBLE_EQ(pts[i], (i + 1) * period);
  EXPECT_DOUBLE_EQ(info.earliest_pts, period);
  EXPECT_EQ(u[0].type, kPictureI);
  EXPECT_EQ(u[0].flags, 3);  // sequence and GOP header in front
  EXPECT_EQ(u[0].header_bytes, info.first_sequence_header_length + 8);
  EXPECT_TRUE(sink.has_message("  Found 50 picture headers."));
  EXPECT_GT(info.computed_max_rate, 0u);
}

TEST_F(ScanTest, StreamWithoutGopHeadersStartsUnitsAtPictures) {
  std::vector<std::uint8_t> bytes = read_all(Fixtures::get().m1v_pal);
  std::vector<std::uint8_t> stripped;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i + 8 <= bytes.size() && bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 &&
        (bytes[i + 3] == 0xB8 || (bytes[i + 3] == 0xB3 && i > 0))) {
      i += bytes[i + 3] == 0xB8 ? 7 : 11;  // drop GOP headers and repeated sequence headers
      continue;
    }
    stripped.push_back(bytes[i]);
  }
  std::string path = dir.file("nogop.m1v");
  write_all(path, stripped);
  ASSERT_TRUE(scan(path)) << sink.all();
  std::vector<VideoUnit> u = read_video_units(units);
  ASSERT_EQ(u.size(), 50u);
  EXPECT_EQ(info.gops, 0u);
  for (std::size_t i = 1; i < u.size(); ++i) {
    EXPECT_EQ(u[i].header_bytes, 0u) << i;
    EXPECT_EQ(u[i].flags, 0u) << i;
  }
}

// A hand-made MPEG-2 stream of field pictures: two fields per frame.
std::vector<std::uint8_t> field_stream(int frames) {
  std::vector<std::uint8_t> s = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x33, 0xFF, 0xFF, 0xE0, 0x18,
                                 0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00,
                                 0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40};
  for (int f = 0; f < frames; ++f) {
    for (int field = 1; field <= 2; ++field) {
      unsigned tref = static_cast<unsigned>(f);
      s.insert(s.end(), {0, 0, 1, 0x00, static_cast<std::uint8_t>(tref >> 2),
                         static_cast<std::uint8_t>((tref << 6) | (1 << 3)), 0xFF, 0xF8});
      // picture coding extension: id 8, f_codes 0xFFFF, dc 0, structure = field
      s.insert(s.end(), {0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF0, static_cast<std::uint8_t>(field), 0x80});
      s.insert(s.end(), {0, 0, 1, 0x01, 0x12, 0x34, 0x56});
    }
  }
  s.insert(s.end(), {0, 0, 1, 0xB7});
  return s;
}

TEST_F(ScanTest, FieldPicturesMakeOneUnitPerFrame) {
  std::string path = dir.file("fields.m2v");
  std::vector<std::uint8_t> bytes = field_stream(4);
  write_all(path, bytes);
  ASSERT_TRUE(scan(path)) << sink.all();
  std::vector<VideoUnit> u = read_video_units(units);
  ASSERT_EQ(u.size(), 4u);
  EXPECT_TRUE(info.mpeg2);
  double sum = 0;
  for (const auto& unit : u) sum += unit.size;
  EXPECT_EQ(sum, static_cast<double>(bytes.size()));
}

TEST_F(ScanTest, Mpeg2PictureWithoutCodingExtensionIsRefused) {
  std::vector<std::uint8_t> bytes = field_stream(1);
  bytes.erase(bytes.begin() + 38, bytes.begin() + 47);  // first picture coding extension
  std::string path = dir.file("broken.m2v");
  write_all(path, bytes);
  EXPECT_FALSE(scan(path));
  EXPECT_TRUE(sink.has_message("Invalid MPEG2 Video stream, no picture coding extension present."));
  EXPECT_EQ(units.file().size(), 0);
}

TEST_F(ScanTest, ScanOffsetBlocksAreMadeRoomForUnlessPresent) {
  VideoScanOptions o;
  o.svcd_scan_offsets = true;
  ASSERT_TRUE(scan(Fixtures::get().svcd_pal, o)) << sink.all();
  std::vector<VideoUnit> plain = read_video_units(units);
  double sum = 0;
  int i_pictures = 0;
  for (const auto& u : plain) {
    sum += u.size;
    if (u.type == kPictureI) {
      ++i_pictures;
      EXPECT_GT(u.insert_offset, 0u);
    } else {
      EXPECT_EQ(u.insert_offset, 0u);
    }
  }
  EXPECT_EQ(sum, std::filesystem::file_size(Fixtures::get().svcd_pal) + 18.0 * i_pictures);

  TempFile again;
  ASSERT_TRUE(again.create(dir.path().string(), "tmpa1"));
  ASSERT_TRUE(scan_video(ctx, Fixtures::get().svcd_own_blocks, again, o, info, count, total));
  for (const auto& u : read_video_units(again)) EXPECT_EQ(u.insert_offset, 0u);
}

class AudioScanTest : public ScanTest {};

TEST_F(AudioScanTest, TruncatedLastFrameEndsTheScan) {
  std::vector<std::uint8_t> bytes = read_all(Fixtures::get().mp2_44k);
  AudioInfo full;
  std::int64_t start = 0;
  ASSERT_TRUE(scan_audio(ctx, Fixtures::get().mp2_44k, units, false, 1000, full, count, total, start));
  EXPECT_EQ(full.layer, 2u);
  EXPECT_EQ(full.sample_rate, 44100u);
  EXPECT_EQ(full.bit_rate_kbps, 224u);
  EXPECT_EQ(static_cast<double>(bytes.size()), total);
  bytes.resize(bytes.size() - 100);
  std::string path = dir.file("cut.mp2");
  write_all(path, bytes);
  TempFile cut_units;
  ASSERT_TRUE(cut_units.create(dir.path().string(), "tmpa1"));
  AudioInfo cut;
  ASSERT_TRUE(scan_audio(ctx, path, cut_units, false, 1000, cut, count, total, start));
  EXPECT_EQ(cut.frames, full.frames - 1);
  std::uint8_t rec[kAudioUnitRecordSize];
  ASSERT_TRUE(cut_units.file().read_at(kAudioUnitRecordSize, rec, sizeof rec));
  AudioUnit second = decode_audio_unit(rec);
  // MPEG-1 records keep whole 90 kHz ticks.
  EXPECT_NEAR(second.pts, 1000 + 1152.0 / 44100 * 27e6, 300.0);
}

TEST_F(AudioScanTest, Ac3FramesAreFound) {
  AudioInfo a;
  std::int64_t start = -1;
  ASSERT_TRUE(scan_audio(ctx, Fixtures::get().ac3_48k, units, true, 0, a, count, total, start));
  EXPECT_TRUE(a.ac3);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(a.sample_rate, 48000u);
  EXPECT_EQ(a.samples_per_frame, 1536u);
  EXPECT_EQ(a.frames * a.ac3_frame_size, static_cast<unsigned>(total));
  EXPECT_EQ(total, static_cast<double>(std::filesystem::file_size(Fixtures::get().ac3_48k)));
}

TEST_F(ScanTest, InputChecksNameTheFault) {
  std::string junk = dir.file("junk.bin");
  write_all(junk, std::vector<std::uint8_t>(1000, 0x55));
  const Fixtures& f = Fixtures::get();
  struct Case {
    unsigned flags;
    std::string video, audio;
    const char* message;
  } cases[] = {
      {kVideoStream, dir.file("missing.m1v"), "", "was not found."},
      {kVideoStream, junk, "", "is not a 11172-2 or 13818-2 Video stream."},
      {kVideoStream, f.mp2_44k, "", "is not a 11172-2 or 13818-2 Video stream."},
      {kVideoStream | kAudio1Stream, f.m1v_pal, junk, "is not an AC3 or MPEG Audio stream."},
      {kVideoStream | kAudio1Stream, f.m1v_pal, f.ac3_48k, nullptr},
  };
  for (const auto& c : cases) {
    sink.messages.clear();
    bool ok = check_inputs(ctx, c.flags, c.video, c.audio, "");
    EXPECT_EQ(ok, c.message == nullptr) << c.video << " " << c.audio;
    if (c.message) {
      EXPECT_TRUE(sink.has_message(c.message)) << sink.all();
    }
  }
}

}  // namespace

namespace {

// An NTSC MPEG-2 stream whose odd-numbered pictures repeat their first field:
// film carried at 29.97 frames/s.
TEST_F(ScanTest, RepeatedFirstFieldsGivePulldownTimes) {
  std::vector<std::uint8_t> bytes = read_all(Fixtures::get().svcd_ntsc);
  unsigned tref = 0;
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
    if (bytes[i + 3] == 0x00) tref = (bytes[i + 4] << 2) | (bytes[i + 5] >> 6);
    if (bytes[i + 3] == 0xB5 && (bytes[i + 4] >> 4) == 8 && (tref & 1)) bytes[i + 7] |= 0x02;
  }
  std::string path = dir.file("film.m2v");
  write_all(path, bytes);
  VideoScanOptions o;
  o.pulldown_mode = 3;
  o.with_extension = true;
  ASSERT_TRUE(scan(path, o)) << sink.all();
  EXPECT_EQ(info.pulldown, 1);
  EXPECT_TRUE(sink.has_message("2:3 pulldown detected ..."));
  std::vector<VideoUnit> u = read_video_units(units);
  ASSERT_EQ(u.size(), 60u);
  const double period = 27e6 * 1001 / 30000;
  std::vector<double> pts;
  for (std::size_t i = 0; i < u.size(); ++i) {
    EXPECT_LE(u[i].dts, u[i].pts) << i;
    if (i > 0) {
      EXPECT_GT(u[i].dts, u[i - 1].dts) << i;
    }
    if (u[i].type == kPictureB) {
      EXPECT_NEAR(u[i].pts, u[i].dts, 1.0) << i;
    }
    pts.push_back(u[i].pts);
  }
  // Shown for three fields, then two, in turn.
  std::sort(pts.begin(), pts.end());
  for (std::size_t i = 1; i < pts.size(); ++i)
    EXPECT_NEAR(pts[i] - pts[i - 1], (i % 2 ? 1.5 : 1.0) * period, 1.0) << i;
}

}  // namespace
