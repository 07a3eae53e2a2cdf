// The motion search of one picture, shared by the frame-picture, field-picture
// and dual-prime estimates.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "mpeg/video/video_encoder.h"

namespace corvexa::mpeg::video {

// A block position and its distance; vectors are half-pel positions
// relative to the block.
struct Found {
  int hx = 0, hy = 0;
  int dist = 0;
};

struct Plane {
  const std::uint8_t* org;  // source picture (full-pel search)
  const std::uint8_t* ref;  // reconstruction (half-pel refinement, errors)
  int lx;                   // line step
  int height;               // lines of this plane (frame or field)
};

// Sample at absolute half-pel position (hx, hy) of a plane, offset (x, y).
inline const std::uint8_t* at(const std::uint8_t* p, int lx, int hx, int hy, int x, int y) {
  return p + lx * (y + (hy >> 1)) + x + (hx >> 1);
}

// A dual-prime choice: the transmitted vector, its differential and the
// distance of the averaged prediction.
struct DualPrime {
  bool valid = false;
  int mv[2] = {0, 0};
  int dmv[2] = {0, 0};
  int dist = 0;
};

// Macroblock rows of a frame picture handed out to the motion-search workers
// one at a time. Every macroblock's decision depends only on the pictures, so
// the order in which rows are taken does not change the result.
struct RowQueue {
  std::atomic<int> next{0};
  std::atomic<bool> stopped{false};
};

class Estimator {
 public:
  explicit Estimator(VideoEncoder& e) : e_(e), k_(e.k) {}
  // Decides the rows taken from `rows` (a field picture: all of it); false
  // when a stop was requested.
  bool run(RowQueue& rows);
  // Once per frame picture, before the workers start.
  void coarse_setup();
  const LargestVectors& largest() const { return largest_; }

 private:
  Found search(const Plane& p, const std::uint8_t* cur, int bx, int by, int h, int dir,
               int sx, int sy, int start_x, int start_y);
  // Frame vector plus the best field vectors of both macroblock fields.
  struct FrameEstimate {
    Found frame;
    Found field[2];
    int field_select[2] = {0, 0};
    int field_dist = 0;
    Found all[2][2];  // [macroblock field][reference field]
  };
  FrameEstimate estimate(const PictureStore& org, const PictureStore& ref, int bx, int by,
                         int dir, bool with_fields);
  int sse_frame(const PictureStore& ref, int bx, int by, const Found& f);
  int sse_field(const PictureStore& ref, int bx, int by, const FrameEstimate& fe);
  int bi_frame(int bx, int by, const Found& f, const Found& b, bool squared);
  int bi_field(int bx, int by, const FrameEstimate& f, const FrameEstimate& b, bool squared);
  void coarse_search(const std::uint8_t* cur, const std::uint8_t* ref, int range, int mbx, int mby,
                     int& out_x, int& out_y, int h4);
  void note_largest(int dir, const Found& f);
  void set_frame(MacroblockInfo& mb, int dir, const Found& f) {
    mb.mv[0][dir][0] = mb.mv[1][dir][0] = f.hx;
    mb.mv[0][dir][1] = mb.mv[1][dir][1] = f.hy;
  }
  void set_field(MacroblockInfo& mb, int dir, const FrameEstimate& fe) {
    for (int r = 0; r < 2; ++r) {
      mb.mv[r][dir][0] = fe.field[r].hx;
      mb.mv[r][dir][1] = fe.field[r].hy;
      mb.field_select[r][dir] = fe.field_select[r];
    }
  }

  void set_dual_prime(MacroblockInfo& mb, const DualPrime& dp) {
    for (int r = 0; r < 2; ++r) {
      mb.mv[r][0][0] = dp.mv[0];
      mb.mv[r][0][1] = dp.mv[1];
    }
    mb.dmv[0] = dp.dmv[0];
    mb.dmv[1] = dp.dmv[1];
  }

  // Dual prime in a frame picture from the same-parity field vectors found.
  struct DualPrimeDist {
    bool valid = false;  // every prediction lies inside its reference
    int dist = 0;
  };
  DualPrime dual_prime_frame(int bx, int by, const FrameEstimate& fe);
  DualPrimeDist dual_prime_frame_dist(int bx, int by, const DualPrime& dp, bool squared);
  int dual_prime_frame_error(int bx, int by, const DualPrime& dp);

  // Field pictures (field_motion.cpp).
  bool run_field();
  struct FieldEstimate {
    Found whole;     // 16 x 16 from the better reference field
    int whole_sel = 0;
    Found half[2];   // upper and lower 16 x 8
    int half_sel[2] = {0, 0};
    Found all[2];    // 16 x 16 per reference field
    int half_dist = 0;
  };
  FieldEstimate field_estimate(int dir, int bx, int by, int start_x, int start_y);
  void field_coarse_setup();
  DualPrime dual_prime_field(int bx, int by, const FieldEstimate& fe);
  DualPrimeDist dual_prime_field_dist(int bx, int by, const DualPrime& dp, bool squared);
  int dual_prime_field_error(int bx, int by, const DualPrime& dp);

  VideoEncoder& e_;
  const KernelTable& k_;
  int start_x_[2] = {0, 0}, start_y_[2] = {0, 0};
  LargestVectors largest_;  // this worker's; merged after the picture
  // Distances of the current search window, kept between searches.
  std::vector<int> window_;
  std::vector<int> coarse_lines_;
  std::vector<char> coarse_ready_;
};

}  // namespace corvexa::mpeg::video
