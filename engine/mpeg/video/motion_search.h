// The motion search of one picture, shared by the frame-picture, field-picture
// and dual-prime estimates.
#pragma once

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

// A macroblock goes intra when its variance is below the prediction error
// (doubled for the variable search) and that error is not small.
inline bool intra_is_cheaper(unsigned variance, int err, bool variable) {
  const long long err_intra = variable ? 2LL * err : err;
  return static_cast<long long>(variance) < err_intra && err >= 2304;
}

// The B-macroblock choice among six distances (bidirectional, forward,
// backward; each whole and split): the first below every later one, else the
// last.
inline int first_below_the_rest(const int (&d)[6]) {
  for (int c = 0; c < 5; ++c) {
    bool below_all = true;
    for (int later = c + 1; later < 6; ++later)
      if (!(d[c] < d[later])) below_all = false;
    if (below_all) return c;
  }
  return 5;
}

// A dual-prime choice: the transmitted vector, its differential and the
// distance of the averaged prediction.
struct DualPrime {
  bool valid = false;
  int mv[2] = {0, 0};
  int dmv[2] = {0, 0};
  int dist = 0;
};

// Sub-samples a picture (lines `step` apart) four times each way: rounded
// means of 4 x 4 blocks, h4 lines of w / 4.
void subsample(const std::uint8_t* src, int step, int w, int h4, std::uint8_t* out);
// The same in bands of four lines shared among the pool's workers.
void subsample(RowPool& pool, const std::uint8_t* src, int step, int w, int h4,
               std::uint8_t* out);

class Estimator {
 public:
  explicit Estimator(VideoEncoder& e) : e_(e), k_(e.k) {}
  // Decides macroblock row j of a frame or a field picture; false when a
  // stop was requested (tested after every macroblock).
  bool frame_row(int j);
  bool field_row(int j);
  // Once per frame or field picture of a variable search, before the rows.
  void coarse_setup();
  void field_coarse_setup();
  const LargestVectors& largest() const { return largest_; }

 private:
  // The limits of one full search: the window the vectors may reach
  // ([xlo, xhi] x [ylo, yhi]), the start clamped into it, and the full-pel
  // positions the spiral visits ([x0, x1] x [y0, y1]).
  struct Window {
    int xlo, xhi, ylo, yhi;
    int start_x, start_y;
    int x0, x1, y0, y1;
  };
  // Full-pel distances by position, over at least a search's positions.
  struct Distances {
    const int* d;
    int x0, y0, stride;
    int at(int x, int y) const { return d[(y - y0) * stride + (x - x0)]; }
  };
  Window window(int height, int bx, int by, int h, int sx, int sy, int start_x,
                int start_y) const;
  void prefetch_reference(const Plane& p, const Window& w, int h);
  // Distances of the 16 x h block `cur` at every position of [x0, x1] x [y0, y1].
  void measure(const Plane& p, const std::uint8_t* cur, int h, int x0, int x1, int y0, int y1,
               std::vector<int>& out);
  // The spiral's winner among the full-pel positions, refined to half pels.
  Found pick(const Plane& p, const std::uint8_t* cur, int bx, int by, int h, int dir,
             const Window& w, const Distances& d);
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
  struct FieldEstimate {
    Found whole;     // 16 x 16 from the better reference field
    int whole_sel = 0;
    Found half[2];   // upper and lower 16 x 8
    int half_sel[2] = {0, 0};
    Found all[2];    // 16 x 16 per reference field
    int half_dist = 0;
  };
  FieldEstimate field_estimate(int dir, int bx, int by, int start_x, int start_y);
  DualPrime dual_prime_field(int bx, int by, const FieldEstimate& fe);
  DualPrimeDist dual_prime_field_dist(int bx, int by, const DualPrime& dp, bool squared);
  int dual_prime_field_error(int bx, int by, const DualPrime& dp);

  VideoEncoder& e_;
  const KernelTable& k_;
  int start_x_[2] = {0, 0}, start_y_[2] = {0, 0};
  LargestVectors largest_;  // this worker's; merged after the picture
  // Distances of the current search window, kept between searches.
  std::vector<int> window_;
  std::vector<int> field_maps_[2][2];  // [macroblock field][reference field]
  std::vector<int> coarse_lines_;
};

}  // namespace corvexa::mpeg::video
