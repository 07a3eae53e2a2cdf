// Prediction of field pictures (field, 16 x 8 and dual-prime motion) and the
// dual-prime prediction of frame pictures. Reference and prediction fields
// are addressed inside the frame stores: bottom field one line down, lines
// two frame lines apart.
#include <cstring>

#include "mpeg/video/prediction.h"

namespace corvexa::mpeg::video {

namespace {

// Chroma geometry of a macroblock for the chroma format.
struct ChromaShape {
  bool half_x, half_y;
  int w, h;  // samples of a 16 x 16 luma area
};

ChromaShape chroma_shape(const VideoEncoder& e) {
  const int cf = e.s.chroma_format;
  return {cf != 3, cf == 1, cf != 3 ? 8 : 16, cf == 1 ? 8 : 16};
}

inline int chroma_vec(int v, bool halve) { return halve ? v / 2 : v; }

// One prediction of `lines` luma lines (field coordinates) from reference
// field `sel` of `ref` into the current field of pred, at (bx, by).
void field_block(VideoEncoder& e, const PictureStore& ref, int sel, int parity, int bx, int by,
                 int lines, int dx, int dy, bool average) {
  const int w = e.coded_width, cw = e.chroma_width;
  const ChromaShape c = chroma_shape(e);
  e.k.pred_comp(ref.plane[0].data() + sel * w, e.pred.plane[0].data() + parity * w, 2 * w, 16, lines,
            bx, by, dx, dy, average);
  const int cx = c.half_x ? bx / 2 : bx, cy = c.half_y ? by / 2 : by;
  const int clines = c.half_y ? lines / 2 : lines;
  for (int p = 1; p < 3; ++p)
    e.k.pred_comp(ref.plane[p].data() + sel * cw, e.pred.plane[p].data() + parity * cw, 2 * cw, c.w,
              clines, cx, cy, chroma_vec(dx, c.half_x), chroma_vec(dy, c.half_y), average);
}

void predict_field_macroblock(VideoEncoder& e, int dir, const MacroblockInfo& mb, int bx, int by,
                              bool average) {
  const int parity = field_parity(e);
  if (mb.motion_type == kMcField) {
    const int sel = mb.field_select[0][dir];
    field_block(e, field_reference(e, dir, sel, false), sel, parity, bx, by, 16, mb.mv[0][dir][0],
                mb.mv[0][dir][1], average);
  } else if (mb.motion_type == kMc16x8) {
    for (int r = 0; r < 2; ++r) {
      const int sel = mb.field_select[r][dir];
      field_block(e, field_reference(e, dir, sel, false), sel, parity, bx, by + 8 * r, 8,
                  mb.mv[r][dir][0], mb.mv[r][dir][1], average);
    }
  } else if (mb.motion_type == kMcDualPrime && dir == 0) {
    int derived[2][2];
    dual_prime_vectors(mb.mv[0][0], mb.dmv, e.pict_struct, 0, derived);
    field_block(e, field_reference(e, 0, parity, false), parity, parity, bx, by, 16,
                mb.mv[0][0][0], mb.mv[0][0][1], false);
    field_block(e, field_reference(e, 0, 1 - parity, false), 1 - parity, parity, bx, by, 16,
                derived[0][0], derived[0][1], true);
  } else {
    report_message(e.ctx, "Invalid motion_type.");
  }
}

void fill_field_block(VideoEncoder& e, int bx, int by, std::uint8_t value) {
  const int w = e.coded_width, cw = e.chroma_width, parity = field_parity(e);
  const ChromaShape c = chroma_shape(e);
  for (int j = 0; j < 16; ++j)
    std::memset(e.pred.plane[0].data() + parity * w + (by + j) * 2 * w + bx, value, 16);
  const int cx = c.half_x ? bx / 2 : bx, cy = c.half_y ? by / 2 : by;
  for (int p = 1; p < 3; ++p)
    for (int j = 0; j < c.h; ++j)
      std::memset(e.pred.plane[p].data() + parity * cw + (cy + j) * 2 * cw + cx, value,
                  static_cast<std::size_t>(c.w));
}

}  // namespace

void predict_dual_prime_frame(VideoEncoder& e, const MacroblockInfo& mb, int bx, int by) {
  const int w = e.coded_width, cw = e.chroma_width;
  const ChromaShape c = chroma_shape(e);
  int derived[2][2];
  dual_prime_vectors(mb.mv[0][0], mb.dmv, kFramePicture, e.top_field_first, derived);
  const int cx = c.half_x ? bx / 2 : bx, cy = c.half_y ? by / 2 : by;
  for (int r = 0; r < 2; ++r) {
    // Same-parity field with the vector, opposite parity with its derivation.
    for (int pass = 0; pass < 2; ++pass) {
      const int sel = pass == 0 ? r : 1 - r;
      const int dx = pass == 0 ? mb.mv[0][0][0] : derived[r][0];
      const int dy = pass == 0 ? mb.mv[0][0][1] : derived[r][1];
      e.k.pred_comp(e.old_ref.plane[0].data() + sel * w, e.pred.plane[0].data() + r * w, 2 * w, 16, 8,
                bx, by / 2, dx, dy, pass == 1);
      for (int p = 1; p < 3; ++p)
        e.k.pred_comp(e.old_ref.plane[p].data() + sel * cw, e.pred.plane[p].data() + r * cw, 2 * cw,
                  c.w, c.h / 2, cx, cy / 2, chroma_vec(dx, c.half_x), chroma_vec(dy, c.half_y),
                  pass == 1);
    }
  }
}

void predict_field_row(VideoEncoder& e, int j) {
  int index = j * e.mb_cols;
  for (int i = 0; i < e.mb_cols; ++i, ++index) {
    const MacroblockInfo& mb = e.mb_info[static_cast<std::size_t>(index)];
    const int bx = 16 * i, by = 16 * j;
    if (mb.mb_type & kMbIntra) {
      fill_field_block(e, bx, by, 128);
      continue;
    }
    if (e.pict_type == kPictureP) {
      predict_field_macroblock(e, 0, mb, bx, by, false);
    } else {
      bool have = false;
      if (mb.mb_type & kMbForward) {
        predict_field_macroblock(e, 0, mb, bx, by, false);
        have = true;
      }
      if (mb.mb_type & kMbBackward) predict_field_macroblock(e, 1, mb, bx, by, have);
    }
  }
}

}  // namespace corvexa::mpeg::video
