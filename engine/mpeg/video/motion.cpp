#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "mpeg/video/motion_search.h"

namespace corvexa::mpeg::video {

// Calls visit(dx, dy) for the positions of ring r of the square spiral in its
// order: from the ring's top left corner right, down, left and up. Ends when
// visit returns true, and says so.
template <class Visit>
bool walk_ring(int r, Visit visit) {
  static const int kDirections[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
  int x = -r, y = -r;
  for (int side = 0; side < 8 * r; ++side) {
    if (visit(x, y)) return true;
    x += kDirections[side / (2 * r)][0];
    y += kDirections[side / (2 * r)][1];
  }
  return false;
}

// The first rings of the spiral as one list, walked without the divisions.
struct SpiralOrder {
  static constexpr int kRings = 16;
  struct Step {
    int dx, dy;
  };
  std::vector<Step> steps;
  SpiralOrder() {
    for (int r = 1; r <= kRings; ++r)
      walk_ring(r, [this](int dx, int dy) {
        steps.push_back({dx, dy});
        return false;
      });
  }
};

const SpiralOrder& spiral_order() {
  static const SpiralOrder order;
  return order;
}

Estimator::Window Estimator::window(int height, int bx, int by, int h, int sx, int sy,
                                    int start_x, int start_y) const {
  Window w;
  const int xmax = e_.coded_width - 16, ymax = height - h;
  int radius;
  if (e_.variable_search) {
    const int reach = e_.s.motion_search_level + 4;
    sx = sy = reach;
    radius = 4;
  } else {
    radius = std::max(sx, sy);
    start_x = bx;
    start_y = by;
  }
  w.xlo = std::max(0, bx - sx);
  w.xhi = std::min(xmax, bx + sx);
  w.ylo = std::max(0, by - sy);
  w.yhi = std::min(ymax, by + sy);
  w.start_x = std::clamp(start_x, w.xlo, w.xhi);
  w.start_y = std::clamp(start_y, w.ylo, w.yhi);
  // The full-pel positions the spiral can reach.
  w.x0 = std::max(w.xlo, w.start_x - radius);
  w.x1 = std::min(w.xhi, w.start_x + radius);
  w.y0 = std::max(w.ylo, w.start_y - radius);
  w.y1 = std::min(w.yhi, w.start_y + radius);
  return w;
}

// The half-pel refinement reads the reconstruction, which the full-pel
// search does not touch: its lines around small windows are asked for while
// the window is measured.
void Estimator::prefetch_reference(const Plane& p, const Window& w, int h) {
  if (w.x1 - w.x0 > 16 || w.y1 - w.y0 > 16) return;
  const std::uint8_t* base = p.ref + static_cast<std::ptrdiff_t>(p.lx) * w.y0 + w.x0;
  const int span = w.x1 - w.x0 + 17;
  for (int y = 0; y <= w.y1 - w.y0 + h; ++y, base += p.lx) {
    __builtin_prefetch(base);
    __builtin_prefetch(base + span - 1);
  }
}

void Estimator::measure(const Plane& p, const std::uint8_t* cur, int h, int x0, int x1, int y0,
                        int y1, std::vector<int>& out) {
  const int nx = x1 - x0 + 1;
  out.resize(static_cast<std::size_t>(nx) * (y1 - y0 + 1));
  for (int y = y0; y <= y1; ++y)
    k_.sad16_row(p.org + p.lx * y + x0, cur, p.lx, h, nx,
                 out.data() + static_cast<std::ptrdiff_t>(y - y0) * nx);
}

Found Estimator::search(const Plane& p, const std::uint8_t* cur, int bx, int by, int h, int dir,
                        int sx, int sy, int start_x, int start_y) {
  const Window w = window(p.height, bx, by, h, sx, sy, start_x, start_y);
  prefetch_reference(p, w, h);
  // Every full-pel distance of the window first, a line at a time; then the
  // spiral from the start keeps the first smallest, as a position-by-position
  // search with early stops would.
  measure(p, cur, h, w.x0, w.x1, w.y0, w.y1, window_);
  return pick(p, cur, bx, by, h, dir, w, {window_.data(), w.x0, w.y0, w.x1 - w.x0 + 1});
}

Found Estimator::pick(const Plane& p, const std::uint8_t* cur, int bx, int by, int h, int dir,
                      const Window& w, const Distances& d) {
  auto dist = [&](int x, int y) { return d.at(x, y); };
  // The spiral keeps the first position with the smallest distance, so the
  // walk can end there.
  int least = INT_MAX;
  for (int y = w.y0; y <= w.y1; ++y)
    for (int x = w.x0; x <= w.x1; ++x) least = std::min(least, dist(x, y));
  const int start_x = w.start_x, start_y = w.start_y;
  int px = start_x, py = start_y;
  if (dist(px, py) != least) {
    // The first position with the least distance in the spiral's order: the
    // rings of the list first, then any wider ones.
    auto least_at = [&](int dx, int dy) {
      const int x = start_x + dx, y = start_y + dy;
      if (x < w.x0 || x > w.x1 || y < w.y0 || y > w.y1 || dist(x, y) != least) return false;
      px = x;
      py = y;
      return true;
    };
    bool found = false;
    for (const SpiralOrder::Step& step : spiral_order().steps)
      if ((found = least_at(step.dx, step.dy))) break;
    for (int r = SpiralOrder::kRings + 1; !found; ++r) found = walk_ring(r, least_at);
  }
  // Half-pel refinement around the full-pel winner on the reconstruction.
  Found f;
  f.dist = 65536;
  int bhx = 2 * px, bhy = 2 * py;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int hx = 2 * px + dx, hy = 2 * py + dy;
      if (hx < 2 * w.xlo || hx > 2 * w.xhi || hy < 2 * w.ylo || hy > 2 * w.yhi) continue;
      const int dd = k_.sad16(at(p.ref, p.lx, hx, hy, 0, 0), cur, p.lx, hx & 1, hy & 1, h, f.dist);
      if (dd < f.dist) {
        f.dist = dd;
        bhx = hx;
        bhy = hy;
      }
    }
  }
  f.hx = bhx - 2 * bx;
  f.hy = bhy - 2 * by;
  if (e_.variable_search) note_largest(dir, f);
  return f;
}

void Estimator::note_largest(int dir, const Found& f) {
  const int ax = std::abs(f.hx / 2), ay = std::abs(f.hy / 2);
  LargestVectors& l = largest_;
  if (dir == 0) {
    l.fwd_x = std::max(l.fwd_x, ax);
    l.fwd_y = std::max(l.fwd_y, ay);
  } else {
    l.bwd_x = std::max(l.bwd_x, ax);
    l.bwd_y = std::max(l.bwd_y, ay);
  }
}

Estimator::FrameEstimate Estimator::estimate(const PictureStore& org, const PictureStore& ref,
                                             int bx, int by, int dir, bool with_fields) {
  const int w = e_.coded_width;
  FrameEstimate fe;
  const std::uint8_t* cur = e_.cur_org->plane[0].data() + by * w + bx;
  const Plane frame{org.plane[0].data(), ref.plane[0].data(), w, e_.coded_height};
  const int sx = e_.search[dir][0], sy = e_.search[dir][1];
  if (!with_fields) {
    fe.frame = search(frame, cur, bx, by, 16, dir, sx, sy, start_x_[dir], start_y_[dir]);
    return fe;
  }
  const Window fw = window(e_.coded_height, bx, by, 16, sx, sy, start_x_[dir], start_y_[dir]);
  const Window hw =
      window(e_.coded_height / 2, bx, by / 2, 8, sx, sy >> 1, start_x_[dir], start_y_[dir] / 2);
  const Plane fields[2] = {
      {org.plane[0].data(), ref.plane[0].data(), 2 * w, e_.coded_height / 2},
      {org.plane[0].data() + w, ref.plane[0].data() + w, 2 * w, e_.coded_height / 2}};
  // The field distances over the lines both the field searches and the
  // frame search need: a frame position at line 2k pairs the macroblock's
  // top field with reference field line k of the top field and its bottom
  // field with that of the bottom field; at 2k + 1, the top field with the
  // bottom field's line k and the bottom field with the top field's k + 1.
  const int x0 = std::min(fw.x0, hw.x0), x1 = std::max(fw.x1, hw.x1);
  const int k0 = std::min(hw.y0, fw.y0 / 2), k1 = std::max(hw.y1, (fw.y1 + 1) / 2);
  const int nx = x1 - x0 + 1;
  for (int r = 0; r < 2; ++r)
    for (int sel = 0; sel < 2; ++sel)
      measure(fields[sel], cur + r * w, 8, x0, x1, k0, k1, field_maps_[r][sel]);
  const auto field_at = [&](int r, int sel, int x, int k) {
    return field_maps_[r][sel][static_cast<std::size_t>((k - k0) * nx + (x - x0))];
  };
  window_.resize(static_cast<std::size_t>(nx) * (fw.y1 - fw.y0 + 1));
  for (int y = fw.y0; y <= fw.y1; ++y) {
    int* line = window_.data() + static_cast<std::ptrdiff_t>(y - fw.y0) * nx - x0;
    const int k = y >> 1;
    for (int x = fw.x0; x <= fw.x1; ++x)
      line[x] = (y & 1) ? field_at(0, 1, x, k) + field_at(1, 0, x, k + 1)
                        : field_at(0, 0, x, k) + field_at(1, 1, x, k);
  }
  fe.frame = pick(frame, cur, bx, by, 16, dir, fw, {window_.data(), x0, fw.y0, nx});
  for (int r = 0; r < 2; ++r) {
    const std::uint8_t* cur_field = cur + r * w;
    Found best[2];
    for (int sel = 0; sel < 2; ++sel) {
      best[sel] = pick(fields[sel], cur_field, bx, by / 2, 8, dir, hw,
                       {field_maps_[r][sel].data(), x0, k0, nx});
      fe.all[r][sel] = best[sel];
    }
    // Ties keep the reference field of the same parity.
    int sel = r == 0 ? (best[1].dist < best[0].dist ? 1 : 0) : (best[0].dist < best[1].dist ? 0 : 1);
    fe.field[r] = best[sel];
    fe.field_select[r] = sel;
  }
  fe.field_dist = fe.field[0].dist + fe.field[1].dist;
  return fe;
}

int Estimator::sse_frame(const PictureStore& ref, int bx, int by, const Found& f) {
  const int w = e_.coded_width;
  const int hx = 2 * bx + f.hx, hy = 2 * by + f.hy;
  return k_.sse16(at(ref.plane[0].data(), w, hx, hy, 0, 0),
                  e_.cur_org->plane[0].data() + by * w + bx, w, hx & 1, hy & 1, 16);
}

int Estimator::sse_field(const PictureStore& ref, int bx, int by, const FrameEstimate& fe) {
  const int w = e_.coded_width;
  int total = 0;
  for (int r = 0; r < 2; ++r) {
    const int hx = 2 * bx + fe.field[r].hx, hy = by + fe.field[r].hy;
    total += k_.sse16(at(ref.plane[0].data() + fe.field_select[r] * w, 2 * w, hx, hy, 0, 0),
                      e_.cur_org->plane[0].data() + (by + r) * w + bx, 2 * w, hx & 1, hy & 1, 8);
  }
  return total;
}

int Estimator::bi_frame(int bx, int by, const Found& f, const Found& b, bool squared) {
  const int w = e_.coded_width;
  const int fx = 2 * bx + f.hx, fy = 2 * by + f.hy, gx = 2 * bx + b.hx, gy = 2 * by + b.hy;
  const auto fn = squared ? k_.sse16_bi : k_.sad16_bi;
  return fn(at(e_.old_ref.plane[0].data(), w, fx, fy, 0, 0),
            at(e_.new_ref.plane[0].data(), w, gx, gy, 0, 0),
            e_.cur_org->plane[0].data() + by * w + bx, w, fx & 1, fy & 1, gx & 1, gy & 1, 16);
}

int Estimator::bi_field(int bx, int by, const FrameEstimate& f, const FrameEstimate& b,
                        bool squared) {
  const int w = e_.coded_width;
  const auto fn = squared ? k_.sse16_bi : k_.sad16_bi;
  int total = 0;
  for (int r = 0; r < 2; ++r) {
    const int fx = 2 * bx + f.field[r].hx, fy = by + f.field[r].hy;
    const int gx = 2 * bx + b.field[r].hx, gy = by + b.field[r].hy;
    total += fn(at(e_.old_ref.plane[0].data() + f.field_select[r] * w, 2 * w, fx, fy, 0, 0),
                at(e_.new_ref.plane[0].data() + b.field_select[r] * w, 2 * w, gx, gy, 0, 0),
                e_.cur_org->plane[0].data() + (by + r) * w + bx, 2 * w, fx & 1, fy & 1, gx & 1,
                gy & 1, 8);
  }
  return total;
}

void subsample(RowPool& pool, const std::uint8_t* src, int step, int w, int h4,
               std::uint8_t* out) {
  // Bands of four output lines (a macroblock row of a frame) on the workers.
  const int bands = (h4 + 3) / 4;
  pool.for_each_row(bands, [=](int, int b) {
    const int lines = std::min(4, h4 - 4 * b);
    subsample(src + static_cast<std::ptrdiff_t>(16) * b * step, step, w, lines,
              out + static_cast<std::ptrdiff_t>(4) * b * (w / 4));
    return true;
  });
}

void subsample(const std::uint8_t* src, int step, int w, int h4, std::uint8_t* out) {
  const int w4 = w / 4;
  std::uint16_t columns[4096];  // coded widths stay below 4096
  for (int y = 0; y < h4; ++y, src += 4 * step, out += w4) {
    // The four lines' sums by column first: plain loops the compiler runs
    // a vector at a time.
    const std::uint8_t* a = src;
    const std::uint8_t* b = src + step;
    const std::uint8_t* c = src + 2 * step;
    const std::uint8_t* d = src + 3 * step;
    for (int x = 0; x < 4 * w4; ++x)
      columns[x] = static_cast<std::uint16_t>(a[x] + b[x] + c[x] + d[x]);
    for (int x = 0; x < w4; ++x) {
      const int sum = columns[4 * x] + columns[4 * x + 1] + columns[4 * x + 2] + columns[4 * x + 3];
      out[x] = static_cast<std::uint8_t>((sum + 8) >> 4);
    }
  }
}

void Estimator::coarse_setup() {
  const int w4 = e_.coded_width / 4, h4 = e_.coded_height / 4;
  subsample(e_.pool, e_.cur_org->plane[0].data(), e_.coded_width, e_.coded_width,
            e_.coded_height / 4, e_.sub_cur.data());
  const int n = w4 * h4;
  long long sum = 0;
  for (int i = 0; i < n; ++i) sum += e_.sub_cur[static_cast<std::size_t>(i)];
  const long long mean = n > 0 ? sum / n : 0;
  double d = 0;
  for (int i = 0; i < n; ++i) {
    const double v = static_cast<double>(mean - e_.sub_cur[static_cast<std::size_t>(i)]);
    d += v * v;
  }
  e_.detail_class = d >= e_.detail_threshold ? 2 : 1;
  if (e_.pict_type != kPictureB) {
    std::swap(e_.sub_old, e_.sub_new);
    std::swap(e_.sub_new, e_.sub_cur);
  }
}

void Estimator::coarse_search(const std::uint8_t* cur, const std::uint8_t* ref, int range, int x0,
                              int y0, int& out_x, int& out_y, int h4) {
  const int w4 = e_.coded_width / 4;
  const int xlo = std::max(0, x0 - range), xhi = std::min(x0 + range - 1, w4 - 4);
  const int ylo = std::max(0, y0 - range), yhi = std::min(y0 + range - 1, h4 - 4);
  const std::uint8_t* c = cur + y0 * w4 + x0;
  int best = k_.sad4x4_sub(c, ref + y0 * w4 + x0, w4, 65536);
  int bx = x0, by = y0, misses = 0;
  // Lines of the window are measured whole when the rings first reach them;
  // most searches end after a few rings.
  const int nx = xhi - xlo;
  if (nx > 0 && yhi > ylo) coarse_lines_.resize(static_cast<std::size_t>(nx) * (yhi - ylo));
  int* const lines = coarse_lines_.data();
  int measured_lo = y0, measured_hi = y0 - 1;  // lines measured so far
  auto measure_lines = [&](int lo, int hi) {
    for (int y = lo; y <= hi; ++y) {
      if (y >= measured_lo && y <= measured_hi) continue;
      k_.sad4x4_row(ref + y * w4 + xlo, c, w4, nx, lines + static_cast<std::ptrdiff_t>(y - ylo) * nx);
    }
    measured_lo = std::min(measured_lo, lo);
    measured_hi = std::max(measured_hi, hi);
  };
  auto at = [&](int x, int y) { return lines[static_cast<std::ptrdiff_t>(y - ylo) * nx + (x - xlo)]; };
  // Rings in the spiral's order: the top side left to right, the right side
  // downwards, the bottom right to left, the left side upwards; each clipped
  // to the window. The first position of a ring with the ring's least
  // distance is where the spiral's strictly-smaller rule ends up, so a ring
  // improves the best at most once: its least distance is taken first, and
  // the position only when it improves. A zero distance ends the search.
  for (int r = 1; r <= range; ++r) {
    const int top = y0 - r, bottom = y0 + r, left = x0 - r, right = x0 + r;
    // The sides as clipped: [t0, t1] along the top, [r0, r1] down the
    // right, [b0, b1] along the bottom, [l0, l1] down the left.
    const int t0 = std::max(left, xlo), t1 = std::min(right - 1, xhi - 1);
    const int r0 = std::max(top, ylo), r1 = std::min(bottom - 1, yhi - 1);
    const int b0 = std::max(left + 1, xlo), b1 = std::min(right, xhi - 1);
    const int l0 = std::max(top + 1, ylo), l1 = std::min(bottom, yhi - 1);
    const bool top_side = top >= ylo && top < yhi && t0 <= t1;
    const bool right_side = right >= xlo && right < xhi && r0 <= r1;
    const bool bottom_side = bottom >= ylo && bottom < yhi && b0 <= b1;
    const bool left_side = left >= xlo && left < xhi && l0 <= l1;
    if (top_side || right_side || bottom_side || left_side) {
      measure_lines(std::max(top, ylo), std::min(bottom, yhi - 1));
      int least = INT_MAX;
      if (top_side)
        for (int x = t0; x <= t1; ++x) least = std::min(least, at(x, top));
      if (right_side)
        for (int y = r0; y <= r1; ++y) least = std::min(least, at(right, y));
      if (bottom_side)
        for (int x = b0; x <= b1; ++x) least = std::min(least, at(x, bottom));
      if (left_side)
        for (int y = l0; y <= l1; ++y) least = std::min(least, at(left, y));
      if (least < best) {
        // Where the spiral meets it first.
        [&] {
          if (top_side)
            for (int x = t0; x <= t1; ++x)
              if (at(x, top) == least) return (void)(bx = x, by = top);
          if (right_side)
            for (int y = r0; y <= r1; ++y)
              if (at(right, y) == least) return (void)(bx = right, by = y);
          if (bottom_side)
            for (int x = b1; x >= b0; --x)
              if (at(x, bottom) == least) return (void)(bx = x, by = bottom);
          if (left_side)
            for (int y = l1; y >= l0; --y)
              if (at(left, y) == least) return (void)(bx = left, by = y);
        }();
        best = least;
        misses = 0;
      }
      if (best == 0) break;
    }
    if (r == 1 || r == 2 || r == 4 || r == 8) {
      if (++misses > e_.detail_class) break;
    }
  }
  out_x = bx * 4;
  out_y = by * 4;
}

bool Estimator::frame_row(int j) {
  VideoEncoder& e = e_;
  const bool with_fields = !e.frame_pred_dct;
  const bool variable = e.variable_search;
  const std::uint8_t* cur_sub = e.pict_type == kPictureB ? e.sub_cur.data() : e.sub_new.data();
  const int w = e.coded_width;
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    mb = MacroblockInfo{};
    mb.motion_type = kMcFrame;
    const int bx = 16 * i, by = 16 * j;
    const unsigned v = k_.variance16(e.cur_org->plane[0].data() + by * w + bx, w);
    if (e.pict_type == kPictureI) {
      mb.mb_type = kMbIntra;
      mb.distance = static_cast<int>(v);
      continue;
    }
    if (variable) {
      const int sx = bx / 4, sy = by / 4;
      const std::size_t at = static_cast<std::size_t>(index);
      coarse_search(cur_sub, e.sub_old.data(), e.coarse_fwd, sx, sy, e.coarse_fx[at],
                    e.coarse_fy[at], e.coded_height / 4);
      start_x_[0] = e.coarse_fx[at];
      start_y_[0] = e.coarse_fy[at];
      if (e.pict_type == kPictureB) {
        coarse_search(cur_sub, e.sub_new.data(), e.coarse_bwd, sx, sy, e.coarse_bx[at],
                      e.coarse_by[at], e.coded_height / 4);
        start_x_[1] = e.coarse_bx[at];
        start_y_[1] = e.coarse_by[at];
      }
    }
    int err = 0;
    if (e.pict_type == kPictureP) {
      const FrameEstimate fe = estimate(e.old_org, e.old_ref, bx, by, 0, with_fields);
      // Dual prime needs the reference to be the field pair right before.
      DualPrime dp;
      if (with_fields && e.s.ip_distance == 1) dp = dual_prime_frame(bx, by, fe);
      const bool field = with_fields && fe.field_dist < fe.frame.dist;
      if (dp.valid && dp.dist < fe.frame.dist && dp.dist < fe.field_dist) {
        mb.motion_type = kMcDualPrime;
        set_dual_prime(mb, dp);
        err = dual_prime_frame_error(bx, by, dp);
        mb.distance = dp.dist;
      } else if (field) {
        mb.motion_type = kMcField;
        set_field(mb, 0, fe);
        err = sse_field(e.old_ref, bx, by, fe);
        mb.distance = fe.field_dist;
      } else {
        set_frame(mb, 0, fe.frame);
        err = sse_frame(e.old_ref, bx, by, fe.frame);
        mb.distance = fe.frame.dist;
      }
      if (intra_is_cheaper(v, err, variable)) {
        mb = MacroblockInfo{};
        mb.mb_type = kMbIntra;
        mb.distance = static_cast<int>(v);
      } else {
        const int e0 = sse_frame(e.old_ref, bx, by, Found{});
        if (4LL * e0 <= 5LL * err || e0 < 2304) {
          mb = MacroblockInfo{};
          mb.mb_type = 0;
          mb.distance = e0;
        } else {
          mb.mb_type = kMbForward;
        }
      }
    } else {
      const FrameEstimate f = estimate(e.old_org, e.old_ref, bx, by, 0, with_fields);
      const FrameEstimate b = estimate(e.new_org, e.new_ref, bx, by, 1, with_fields);
      if (with_fields) {
        const int d[6] = {bi_frame(bx, by, f.frame, b.frame, false),
                          bi_field(bx, by, f, b, false),
                          f.frame.dist, f.field_dist, b.frame.dist, b.field_dist};
        const int pick = first_below_the_rest(d);
        const bool field = (pick & 1) != 0;
        const bool fwd = pick < 4, bwd = pick < 2 || pick >= 4;
        mb.motion_type = field ? kMcField : kMcFrame;
        mb.mb_type = (fwd ? kMbForward : 0) | (bwd ? kMbBackward : 0);
        mb.distance = d[pick];
        if (fwd) field ? set_field(mb, 0, f) : set_frame(mb, 0, f.frame);
        if (bwd) field ? set_field(mb, 1, b) : set_frame(mb, 1, b.frame);
        if (fwd && bwd)
          err = field ? bi_field(bx, by, f, b, true) : bi_frame(bx, by, f.frame, b.frame, true);
        else if (fwd)
          err = field ? sse_field(e.old_ref, bx, by, f) : sse_frame(e.old_ref, bx, by, f.frame);
        else
          err = field ? sse_field(e.new_ref, bx, by, b) : sse_frame(e.new_ref, bx, by, b.frame);
      } else {
        const int ef = sse_frame(e.old_ref, bx, by, f.frame);
        const int eb = sse_frame(e.new_ref, bx, by, b.frame);
        const int ei = bi_frame(bx, by, f.frame, b.frame, true);
        set_frame(mb, 0, f.frame);
        set_frame(mb, 1, b.frame);
        if (!(eb < ef || ei < ef)) {
          mb.mb_type = kMbForward;
          err = ef;
          mb.distance = f.frame.dist;
        } else if (ei < eb) {
          mb.mb_type = kMbForward | kMbBackward;
          err = ei;
          mb.distance = bi_frame(bx, by, f.frame, b.frame, false);
        } else {
          mb.mb_type = kMbBackward;
          err = eb;
          mb.distance = b.frame.dist;
        }
      }
      if (intra_is_cheaper(v, err, variable)) {
        mb = MacroblockInfo{};
        mb.mb_type = kMbIntra;
        mb.distance = static_cast<int>(v);
      }
    }
    if (stop_requested(e.ctx)) return false;
  }
  return true;
}

static int f_code_for(int v) {
  for (int f = 1; f <= 9; ++f)
    if (v < (8 << (f - 1))) return f;
  return 1;
}


bool allocate_motion_buffers(VideoEncoder& e) {
  const std::size_t mbs = static_cast<std::size_t>(e.mb_cols) * e.mb_rows_pic;
  const std::size_t sub = static_cast<std::size_t>(e.coded_width / 4) * (e.coded_height / 4);
  try {
    e.coarse_fx.assign(mbs, 0);
    e.coarse_fy.assign(mbs, 0);
    e.coarse_bx.assign(mbs, 0);
    e.coarse_by.assign(mbs, 0);
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for motion vector tables.");
    return false;
  }
  try {
    e.sub_cur.assign(sub, 0);
    e.sub_new.assign(sub, 0);
    e.sub_old.assign(sub, 0);
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for subsample images.");
    return false;
  }
  e.detail_threshold = 20.0 * e.pic_height * e.coded_width;
  return true;
}

bool motion_estimation(VideoEncoder& e) {
  const bool frame = e.pict_struct == kFramePicture;
  std::vector<Estimator> estimators(static_cast<std::size_t>(e.pool.workers()), Estimator(e));
  // The sub-sampled pictures are made once, before the rows are shared out.
  if (e.variable_search) frame ? estimators[0].coarse_setup() : estimators[0].field_coarse_setup();
  const bool ok = e.pool.for_each_row(e.mb_rows_pic, [&](int worker, int j) {
    Estimator& est = estimators[static_cast<std::size_t>(worker)];
    return frame ? est.frame_row(j) : est.field_row(j);
  });
  LargestVectors& l = e.largest;
  for (const Estimator& est : estimators) {
    const LargestVectors& m = est.largest();
    l.fwd_x = std::max(l.fwd_x, m.fwd_x);
    l.fwd_y = std::max(l.fwd_y, m.fwd_y);
    l.bwd_x = std::max(l.bwd_x, m.bwd_x);
    l.bwd_y = std::max(l.bwd_y, m.bwd_y);
  }
  return ok;
}

void derive_f_codes(VideoEncoder& e) {
  const int max = e.s.motion_search_level + 5;
  const LargestVectors& l = e.largest;
  struct Check {
    int v;
    const char* text;
  };
  const Check checks[4] = {
      {l.fwd_x, "Warning, horz forward motion vector larger than max, vector = %d, max = %d."},
      {l.fwd_y, "Warning, vert forward motion vector larger than max, vector = %d, max = %d."},
      {l.bwd_x, "Warning, horz backward motion vector larger than max, vector = %d, max = %d."},
      {l.bwd_y, "Warning, vert backward motion vector larger than max, vector = %d, max = %d."}};
  const int directions = e.pict_type == kPictureB ? 2 : (e.pict_type == kPictureP ? 1 : 0);
  for (int c = 0; c < 2 * directions; ++c)
    if (checks[c].v > max) report_message(e.ctx, checks[c].text, checks[c].v, max);
  for (int dir = 0; dir < directions; ++dir) {
    int fh = f_code_for(dir ? l.bwd_x : l.fwd_x);
    int fv = f_code_for(dir ? l.bwd_y : l.fwd_y);
    if (e.mpeg1) fh = fv = std::max(fh, fv);
    e.f_code[dir][0] = fh;
    e.f_code[dir][1] = fv;
  }
}

}  // namespace corvexa::mpeg::video
