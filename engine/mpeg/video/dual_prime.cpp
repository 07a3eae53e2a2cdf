// Dual-prime estimates of P pictures without B pictures in between: one
// same-parity field vector plus a small differential that, scaled by the
// field distances, also addresses the opposite-parity field; the prediction
// is the average of the two.
#include "mpeg/video/motion_search.h"

namespace corvexa::mpeg::video {

namespace {

// Scaled vector component with the rounding of the standard: halves away
// from zero.
inline int scaled(int v, int num) { return (v * num + (v > 0 ? 1 : 0)) >> 1; }

// A 16-wide block of h lines at absolute half-pel position (hx, hy) stays
// inside a plane of w x height samples, interpolation included.
inline bool inside(int hx, int hy, int h, int w, int height) {
  return hx >= 0 && hy >= 0 && (hx >> 1) + 16 + (hx & 1) <= w && (hy >> 1) + h + (hy & 1) <= height;
}

constexpr int kDifferentials[9][2] = {{0, 0},  {-1, 0}, {1, 0},  {0, -1}, {0, 1},
                                      {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};

// Tries every differential around the vector of `f`; `best` improves only on
// a strictly smaller distance, so the earlier candidate wins a tie.
template <typename Distance>
void try_differentials(const Found& f, Distance distance, DualPrime& best) {
  for (const auto& d : kDifferentials) {
    DualPrime c;
    c.mv[0] = f.hx;
    c.mv[1] = f.hy;
    c.dmv[0] = d[0];
    c.dmv[1] = d[1];
    const auto m = distance(c);
    if (m.valid && (!best.valid || m.dist < best.dist)) {
      best = c;
      best.valid = true;
      best.dist = m.dist;
    }
  }
}

}  // namespace

void dual_prime_vectors(const int mv[2], const int dmv[2], int pict_struct, int top_field_first,
                        int out[2][2]) {
  if (pict_struct == kFramePicture) {
    // Same-parity distance is two fields; the opposite-parity ones are one
    // and three fields, in the order the fields are shown.
    const int top_num = top_field_first ? 1 : 3, bottom_num = top_field_first ? 3 : 1;
    out[0][0] = scaled(mv[0], top_num) + dmv[0];
    out[0][1] = scaled(mv[1], top_num) + dmv[1] - 1;
    out[1][0] = scaled(mv[0], bottom_num) + dmv[0];
    out[1][1] = scaled(mv[1], bottom_num) + dmv[1] + 1;
    return;
  }
  // Field pictures: the opposite-parity field is always one field away.
  out[0][0] = scaled(mv[0], 1) + dmv[0];
  out[0][1] = scaled(mv[1], 1) + dmv[1] + (pict_struct == kTopField ? -1 : 1);
  out[1][0] = out[0][0];
  out[1][1] = out[0][1];
}

Estimator::DualPrimeDist Estimator::dual_prime_frame_dist(int bx, int by, const DualPrime& dp,
                                                          bool squared) {
  const int w = e_.coded_width, height = e_.coded_height / 2;
  int derived[2][2];
  dual_prime_vectors(dp.mv, dp.dmv, kFramePicture, e_.top_field_first, derived);
  const std::uint8_t* ref = e_.old_ref.plane[0].data();
  const auto fn = squared ? k_.sse16_bi : k_.sad16_bi;
  DualPrimeDist out;
  int total = 0;
  for (int r = 0; r < 2; ++r) {
    const int sx = 2 * bx + dp.mv[0], sy = by + dp.mv[1];
    const int ox = 2 * bx + derived[r][0], oy = by + derived[r][1];
    if (!inside(sx, sy, 8, w, height) || !inside(ox, oy, 8, w, height)) return out;
    total += fn(at(ref + r * w, 2 * w, sx, sy, 0, 0), at(ref + (1 - r) * w, 2 * w, ox, oy, 0, 0),
                e_.cur_org->plane[0].data() + (by + r) * w + bx, 2 * w, sx & 1, sy & 1, ox & 1,
                oy & 1, 8);
  }
  out.valid = true;
  out.dist = total;
  return out;
}

DualPrime Estimator::dual_prime_frame(int bx, int by, const FrameEstimate& fe) {
  DualPrime best;
  // Candidates: the same-parity vectors of the two macroblock fields.
  for (int r = 0; r < 2; ++r)
    try_differentials(
        fe.all[r][r], [&](const DualPrime& c) { return dual_prime_frame_dist(bx, by, c, false); }, best);
  return best;
}

int Estimator::dual_prime_frame_error(int bx, int by, const DualPrime& dp) {
  return dual_prime_frame_dist(bx, by, dp, true).dist;
}

Estimator::DualPrimeDist Estimator::dual_prime_field_dist(int bx, int by, const DualPrime& dp,
                                                          bool squared) {
  const int w = e_.coded_width, height = e_.coded_height / 2;
  const int parity = field_parity(e_);
  int derived[2][2];
  dual_prime_vectors(dp.mv, dp.dmv, e_.pict_struct, 0, derived);
  const std::uint8_t* same = field_reference(e_, 0, parity, false).plane[0].data() + parity * w;
  const std::uint8_t* opposite =
      field_reference(e_, 0, 1 - parity, false).plane[0].data() + (1 - parity) * w;
  DualPrimeDist out;
  const int sx = 2 * bx + dp.mv[0], sy = 2 * by + dp.mv[1];
  const int ox = 2 * bx + derived[0][0], oy = 2 * by + derived[0][1];
  if (!inside(sx, sy, 16, w, height) || !inside(ox, oy, 16, w, height)) return out;
  const auto fn = squared ? k_.sse16_bi : k_.sad16_bi;
  out.valid = true;
  out.dist = fn(at(same, 2 * w, sx, sy, 0, 0), at(opposite, 2 * w, ox, oy, 0, 0),
                e_.cur_org->plane[0].data() + parity * w + by * 2 * w + bx, 2 * w, sx & 1,
                sy & 1, ox & 1, oy & 1, 16);
  return out;
}

DualPrime Estimator::dual_prime_field(int bx, int by, const FieldEstimate& fe) {
  DualPrime best;
  try_differentials(
      fe.all[field_parity(e_)], [&](const DualPrime& c) { return dual_prime_field_dist(bx, by, c, false); },
      best);
  return best;
}

int Estimator::dual_prime_field_error(int bx, int by, const DualPrime& dp) {
  return dual_prime_field_dist(bx, by, dp, true).dist;
}

}  // namespace corvexa::mpeg::video
