// Motion search and macroblock decisions of field pictures. A field
// macroblock covers 16 lines of one field; its references are fields: both
// fields of the reference frame, except that the second field of a reference
// frame takes its opposite-parity reference from its own first field.
#include <algorithm>

#include "mpeg/video/motion_search.h"

namespace corvexa::mpeg::video {

const PictureStore& field_reference(const VideoEncoder& e, int dir, int sel, bool source) {
  if (dir == 1) return source ? e.new_org : e.new_ref;
  if (e.pict_type == kPictureP && e.second_field && sel != field_parity(e))
    return source ? *e.cur_org : *e.cur_ref;
  return source ? e.old_org : e.old_ref;
}

namespace {

int detail_of(const std::uint8_t* p, int n, double threshold) {
  long long sum = 0;
  for (int i = 0; i < n; ++i) sum += p[i];
  const long long mean = n > 0 ? sum / n : 0;
  double d = 0;
  for (int i = 0; i < n; ++i) {
    const double v = static_cast<double>(mean - p[i]);
    d += v * v;
  }
  return d >= threshold ? 2 : 1;
}

}  // namespace

void Estimator::field_coarse_setup() {
  VideoEncoder& e = e_;
  const int w = e.coded_width, fh = e.coded_height / 2;
  const int half = (w / 4) * (fh / 4);
  // Both fields are sub-sampled once per frame, into the two halves of the
  // image; the reference images move on with the first field of I/P frames.
  if (!e.second_field) {
    for (int p = 0; p < 2; ++p) {
      subsample(e.pool, e.cur_org->plane[0].data() + p * w, 2 * w, w, fh / 4,
                e.sub_cur.data() + p * half);
      e.field_detail_class[p] = detail_of(e.sub_cur.data() + p * half, half, e.detail_threshold);
    }
    if (e.pict_type != kPictureB) {
      std::swap(e.sub_old, e.sub_new);
      std::swap(e.sub_new, e.sub_cur);
    }
  }
  e.detail_class = e.field_detail_class[field_parity(e)];
}

Estimator::FieldEstimate Estimator::field_estimate(int dir, int bx, int by, int start_x,
                                                   int start_y) {
  const int w = e_.coded_width, parity = field_parity(e_);
  const std::uint8_t* cur = e_.cur_org->plane[0].data() + parity * w + by * 2 * w + bx;
  const int sx = e_.search[dir][0], sy = e_.search[dir][1] >> 1;
  FieldEstimate fe;
  Found up[2], low[2];
  bool have[2] = {true, true};
  // The I/P pair's P field has only its own I field to predict from.
  if (dir == 0 && e_.ip_field) have[parity] = false;
  for (int sel = 0; sel < 2; ++sel) {
    if (!have[sel]) continue;
    const Plane p{field_reference(e_, dir, sel, true).plane[0].data() + sel * w,
                  field_reference(e_, dir, sel, false).plane[0].data() + sel * w, 2 * w,
                  e_.coded_height / 2};
    fe.all[sel] = search(p, cur, bx, by, 16, dir, sx, sy, start_x, start_y);
    up[sel] = search(p, cur, bx, by, 8, dir, sx, sy, start_x, start_y);
    low[sel] = search(p, cur + 8 * 2 * w, bx, by + 8, 8, dir, sx, sy, start_x, start_y + 8);
  }
  // Ties keep the reference field of the same parity.
  auto pick = [&](const Found* f) {
    if (!have[0]) return 1;
    if (!have[1]) return 0;
    return parity == 0 ? (f[1].dist < f[0].dist ? 1 : 0) : (f[0].dist < f[1].dist ? 0 : 1);
  };
  fe.whole_sel = pick(fe.all);
  fe.whole = fe.all[fe.whole_sel];
  fe.half_sel[0] = pick(up);
  fe.half_sel[1] = pick(low);
  fe.half[0] = up[fe.half_sel[0]];
  fe.half[1] = low[fe.half_sel[1]];
  fe.half_dist = fe.half[0].dist + fe.half[1].dist;
  return fe;
}

namespace {

struct FieldContext {
  const VideoEncoder& e;
  const KernelTable& k;
  int w, parity;
  const std::uint8_t* cur;  // the macroblock in the current field
  int bx, by;

  const std::uint8_t* ref(int dir, int sel) const {
    return field_reference(e, dir, sel, false).plane[0].data() + sel * w;
  }
  // Error of one prediction of h lines starting `row` lines into the macroblock.
  int sse(int dir, int sel, const Found& f, int row, int h) const {
    const int hx = 2 * bx + f.hx, hy = 2 * (by + row) + f.hy;
    return k.sse16(at(ref(dir, sel), 2 * w, hx, hy, 0, 0), cur + row * 2 * w, 2 * w, hx & 1,
                   hy & 1, h);
  }
  int bi(int fsel, const Found& f, int bsel, const Found& b, int row, int h, bool squared) const {
    const int fx = 2 * bx + f.hx, fy = 2 * (by + row) + f.hy;
    const int gx = 2 * bx + b.hx, gy = 2 * (by + row) + b.hy;
    const auto fn = squared ? k.sse16_bi : k.sad16_bi;
    return fn(at(ref(0, fsel), 2 * w, fx, fy, 0, 0), at(ref(1, bsel), 2 * w, gx, gy, 0, 0),
              cur + row * 2 * w, 2 * w, fx & 1, fy & 1, gx & 1, gy & 1, h);
  }
};

}  // namespace

bool Estimator::field_row(int j) {
  VideoEncoder& e = e_;
  const bool variable = e.variable_search;
  const int w = e.coded_width, parity = field_parity(e);
  const int h4 = e.coded_height / 8;
  const std::size_t half = static_cast<std::size_t>(w / 4) * h4;
  const std::uint8_t* cur_sub =
      (e.pict_type == kPictureB ? e.sub_cur.data() : e.sub_new.data()) + parity * half;
  const int coarse_fwd = e.coarse_fwd / 2, coarse_bwd = e.coarse_bwd / 2;
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    const int bx = 16 * i, by = 16 * j;
    const FieldContext c{e, k_, w, parity, e.cur_org->plane[0].data() + parity * w + by * 2 * w + bx,
                         bx, by};
    auto reset = [&](int type) {
      mb = MacroblockInfo{};
      mb.mb_type = type;
      mb.motion_type = kMcField;
      mb.field_select[0][0] = mb.field_select[1][0] = parity;
      mb.field_select[0][1] = mb.field_select[1][1] = parity;
    };
    reset(0);
    const unsigned v = k_.variance16(c.cur, 2 * w);
    if (e.pict_type == kPictureI) {
      reset(kMbIntra);
      mb.distance = static_cast<int>(v);
      continue;
    }
    int start[2][2] = {{bx, by}, {bx, by}};
    if (variable) {
      const std::size_t at_mb = static_cast<std::size_t>(index);
      // The I/P pair's P field searches its own I field, the newer image.
      const std::uint8_t* fwd_sub = e.ip_field ? e.sub_new.data() + (1 - parity) * half
                                               : e.sub_old.data() + parity * half;
      coarse_search(cur_sub, fwd_sub, coarse_fwd, bx / 4, by / 4, e.coarse_fx[at_mb],
                    e.coarse_fy[at_mb], h4);
      start[0][0] = e.coarse_fx[at_mb];
      start[0][1] = e.coarse_fy[at_mb];
      if (e.pict_type == kPictureB) {
        coarse_search(cur_sub, e.sub_new.data() + parity * half, coarse_bwd, bx / 4, by / 4,
                      e.coarse_bx[at_mb], e.coarse_by[at_mb], h4);
        start[1][0] = e.coarse_bx[at_mb];
        start[1][1] = e.coarse_by[at_mb];
      }
    }
    auto set_whole = [&](int dir, const FieldEstimate& fe) {
      for (int r = 0; r < 2; ++r) {
        mb.mv[r][dir][0] = fe.whole.hx;
        mb.mv[r][dir][1] = fe.whole.hy;
        mb.field_select[r][dir] = fe.whole_sel;
      }
    };
    auto set_halves = [&](int dir, const FieldEstimate& fe) {
      for (int r = 0; r < 2; ++r) {
        mb.mv[r][dir][0] = fe.half[r].hx;
        mb.mv[r][dir][1] = fe.half[r].hy;
        mb.field_select[r][dir] = fe.half_sel[r];
      }
    };
    int err = 0;
    if (e.pict_type == kPictureP) {
      const FieldEstimate fe = field_estimate(0, bx, by, start[0][0], start[0][1]);
      DualPrime dp;
      if (e.s.ip_distance == 1 && !e.ip_field) dp = dual_prime_field(bx, by, fe);
      if (dp.valid && dp.dist < fe.whole.dist && dp.dist < fe.half_dist) {
        mb.motion_type = kMcDualPrime;
        set_dual_prime(mb, dp);
        err = dual_prime_field_error(bx, by, dp);
        mb.distance = dp.dist;
      } else if (fe.half_dist < fe.whole.dist) {
        mb.motion_type = kMc16x8;
        set_halves(0, fe);
        err = c.sse(0, fe.half_sel[0], fe.half[0], 0, 8) +
              c.sse(0, fe.half_sel[1], fe.half[1], 8, 8);
        mb.distance = fe.half_dist;
      } else {
        set_whole(0, fe);
        err = c.sse(0, fe.whole_sel, fe.whole, 0, 16);
        mb.distance = fe.whole.dist;
      }
      if (intra_is_cheaper(v, err, variable)) {
        reset(kMbIntra);
        mb.distance = static_cast<int>(v);
      } else {
        const int e0 = e.ip_field ? 0 : c.sse(0, parity, Found{}, 0, 16);
        if (!e.ip_field && (4LL * e0 <= 5LL * err || e0 < 2304)) {
          reset(0);
          mb.distance = e0;
        } else {
          mb.mb_type = kMbForward;
        }
      }
    } else {
      const FieldEstimate f = field_estimate(0, bx, by, start[0][0], start[0][1]);
      const FieldEstimate b = field_estimate(1, bx, by, start[1][0], start[1][1]);
      const int d[6] = {
          c.bi(f.whole_sel, f.whole, b.whole_sel, b.whole, 0, 16, false),
          c.bi(f.half_sel[0], f.half[0], b.half_sel[0], b.half[0], 0, 8, false) +
              c.bi(f.half_sel[1], f.half[1], b.half_sel[1], b.half[1], 8, 8, false),
          f.whole.dist, f.half_dist, b.whole.dist, b.half_dist};
      const int pick = first_below_the_rest(d);
      const bool halves = (pick & 1) != 0;
      const bool fwd = pick < 4, bwd = pick < 2 || pick >= 4;
      mb.motion_type = halves ? kMc16x8 : kMcField;
      mb.mb_type = (fwd ? kMbForward : 0) | (bwd ? kMbBackward : 0);
      mb.distance = d[pick];
      if (fwd) halves ? set_halves(0, f) : set_whole(0, f);
      if (bwd) halves ? set_halves(1, b) : set_whole(1, b);
      if (fwd && bwd) {
        err = halves ? c.bi(f.half_sel[0], f.half[0], b.half_sel[0], b.half[0], 0, 8, true) +
                           c.bi(f.half_sel[1], f.half[1], b.half_sel[1], b.half[1], 8, 8, true)
                     : c.bi(f.whole_sel, f.whole, b.whole_sel, b.whole, 0, 16, true);
      } else {
        const int dir = fwd ? 0 : 1;
        const FieldEstimate& x = fwd ? f : b;
        err = halves ? c.sse(dir, x.half_sel[0], x.half[0], 0, 8) +
                           c.sse(dir, x.half_sel[1], x.half[1], 8, 8)
                     : c.sse(dir, x.whole_sel, x.whole, 0, 16);
      }
      if (intra_is_cheaper(v, err, variable)) {
        reset(kMbIntra);
        mb.distance = static_cast<int>(v);
      }
    }
    if (stop_requested(e.ctx)) return false;
  }
  return true;
}

}  // namespace corvexa::mpeg::video
