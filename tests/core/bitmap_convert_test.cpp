#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/bitmap_convert.h"
#include "core/frame_rate_map.h"
#include "core/output_name.h"
#include "corvexa/avi_types.h"

namespace {

using corvexa::BitmapInfoHeader;

std::vector<std::uint8_t> make_bitmap(int width, int height, int depth, std::uint32_t clr_used,
                                      const std::vector<std::uint8_t>& table,
                                      const std::vector<std::uint8_t>& rows) {
  BitmapInfoHeader h{};
  h.size = sizeof h;
  h.width = width;
  h.height = height;
  h.planes = 1;
  h.bit_count = static_cast<std::uint16_t>(depth);
  h.clr_used = clr_used;
  std::vector<std::uint8_t> out(sizeof h);
  std::memcpy(out.data(), &h, sizeof h);
  out.insert(out.end(), table.begin(), table.end());
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

std::vector<std::uint8_t> convert(const std::vector<std::uint8_t>& bitmap, int w, int h) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 4, 0xEE);
  EXPECT_TRUE(corvexa::core::convert_bitmap_to_32(bitmap.data(), bitmap.size(), w, h, out.data()));
  return out;
}

std::vector<std::uint8_t> grey_table(int entries) {
  std::vector<std::uint8_t> t;
  for (int i = 0; i < entries; ++i) {
    auto v = static_cast<std::uint8_t>(i * 3);
    t.insert(t.end(), {v, static_cast<std::uint8_t>(v + 1), static_cast<std::uint8_t>(v + 2), 9});
  }
  return t;
}

TEST(BitmapConvert, PalettisedDepthsTakeAllFourTableBytes) {
  // 1 bit: most significant bit first; rows padded to 32 bits.
  auto one = convert(make_bitmap(9, 1, 1, 2, grey_table(2), {0b10100000, 0b10000000, 0, 0}), 9, 1);
  const int bits[9] = {1, 0, 1, 0, 0, 0, 0, 0, 1};
  for (int x = 0; x < 9; ++x)
    EXPECT_EQ(one[4 * x], bits[x] * 3) << x;
  EXPECT_EQ(one[3], 9);  // the table's fourth byte too

  // 4 bits: high nibble first.
  auto four = convert(make_bitmap(3, 1, 4, 16, grey_table(16), {0x5A, 0xF0, 0, 0}), 3, 1);
  EXPECT_EQ(four[0], 15);
  EXPECT_EQ(four[4], 30);
  EXPECT_EQ(four[8], 45);

  // 8 bits with 0 used colours takes a 256-entry table.
  auto eight = convert(make_bitmap(2, 2, 8, 0, grey_table(256), {200, 7, 0, 0, 1, 2, 0, 0}), 2, 2);
  EXPECT_EQ(eight[0], static_cast<std::uint8_t>(600));
  EXPECT_EQ(eight[1], static_cast<std::uint8_t>(601));
  EXPECT_EQ(eight[4 * 3], 6);  // second row, second pixel: bottom-up order kept
}

TEST(BitmapConvert, HighColourDepths) {
  // 16 bits, 5-5-5: 0x7FFF gives 248, 248, 248 and leaves byte 3 alone.
  auto sixteen = convert(make_bitmap(2, 1, 16, 0, {}, {0xFF, 0x7F, 0x1F, 0x00}), 2, 1);
  EXPECT_EQ(sixteen[0], 248);
  EXPECT_EQ(sixteen[1], 248);
  EXPECT_EQ(sixteen[2], 248);
  EXPECT_EQ(sixteen[3], 0xEE);
  EXPECT_EQ(sixteen[4], 248);
  EXPECT_EQ(sixteen[5], 0);

  auto twenty_four = convert(make_bitmap(1, 2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}), 1, 2);
  EXPECT_EQ(twenty_four, (std::vector<std::uint8_t>{1, 2, 3, 0xEE, 4, 5, 6, 0xEE}));

  auto thirty_two = convert(make_bitmap(1, 1, 32, 0, {}, {1, 2, 3, 4}), 1, 1);
  EXPECT_EQ(thirty_two, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(BitmapConvert, RefusesWhatItCannotReadSafely) {
  std::vector<std::uint8_t> out(64, 0);
  auto compressed = make_bitmap(2, 2, 24, 0, {}, std::vector<std::uint8_t>(16));
  reinterpret_cast<BitmapInfoHeader*>(compressed.data())->compression = 0x44495658;
  EXPECT_FALSE(corvexa::core::convert_bitmap_to_32(compressed.data(), compressed.size(), 2, 2, out.data()));
  auto truncated = make_bitmap(4, 4, 24, 0, {}, std::vector<std::uint8_t>(20));
  EXPECT_FALSE(corvexa::core::convert_bitmap_to_32(truncated.data(), truncated.size(), 4, 4, out.data()));
  auto bad_depth = make_bitmap(2, 2, 12, 0, {}, std::vector<std::uint8_t>(16));
  EXPECT_FALSE(corvexa::core::convert_bitmap_to_32(bad_depth.data(), bad_depth.size(), 2, 2, out.data()));
  // An index past a short colour table reads as black instead of past it.
  auto short_table = make_bitmap(1, 1, 8, 2, grey_table(2), {200, 0, 0, 0});
  auto px = convert(short_table, 1, 1);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST(FrameRateMap, TableRowsAndTheirExactBounds) {
  struct Case {
    double fps;
    int code, repeat;
  };
  const Case cases[] = {
      {25, 3, 1},     {12.5, 3, 2},   {10, 5, 3},       {15, 5, 2},      {20, 5, 1},
      {8, 5, 3},      {50, 0, 1},     {9.50, 5, 3},     {9.51, 5, 3},    {10.09, 5, 3},
      {10.10, 5, 2},  {11.49, 5, 2},  {11.50, 2, 2},    {12.24, 2, 2},   {12.25, 3, 2},
      {12.74, 3, 2},  {14.51, 5, 2},  {15.49, 5, 2},    {23.50, 5, 1},   {23.51, 1, 1},
      {24000.0 / 1001, 1, 1}, {24, 2, 1}, {24.49, 2, 1}, {24.50, 3, 1}, {29.50, 5, 1},
      {29.51, 4, 1},  {30000.0 / 1001, 4, 1}, {30, 5, 1}, {30.49, 5, 1}, {30.50, 0, 1},
      {1, 5, 30},     {0.01, 5, 3000},
  };
  for (const Case& c : cases) {
    corvexa::core::FrameRateMapping m;
    ASSERT_TRUE(corvexa::core::map_frame_rate(c.fps, m)) << c.fps;
    EXPECT_EQ(m.frame_rate_code, c.code) << c.fps;
    EXPECT_EQ(m.frame_repeat, c.repeat) << c.fps;
  }
  corvexa::core::FrameRateMapping m;
  EXPECT_FALSE(corvexa::core::map_frame_rate(0.009, m));
  EXPECT_FALSE(corvexa::core::map_frame_rate(0, m));
}

TEST(OutputName, ReplacesOnlyTheFileNamesExtension) {
  using corvexa::core::default_output_for;
  EXPECT_EQ(default_output_for("/d/a.b/clip.avi"), "/d/a.b/clip.mpg");
  EXPECT_EQ(default_output_for("/d/a.b/clip"), "/d/a.b/clip.mpg");
  EXPECT_EQ(default_output_for("clip"), "clip.mpg");
  EXPECT_EQ(default_output_for("x.tar.avi"), "x.tar.mpg");
}

}  // namespace
