#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "mpeg/video/bounded_rate.h"

namespace corvexa::mpeg::video {

namespace {

PictureStore* live_stores(VideoEncoder& e, int k) {
  PictureStore* stores[7] = {&e.new_ref, &e.old_ref, &e.aux, &e.new_org,
                             &e.old_org, &e.aux_org, &e.pred};
  return stores[k];
}

const char* const kStoreMessages[7] = {
    "Cannot allocate memory for new ref frame.", "Cannot allocate memory for old ref frame.",
    "Cannot allocate memory for aux frame.",     "Cannot allocate memory for new org frame.",
    "Cannot allocate memory for old org frame.", "Cannot allocate memory for aux org frame.",
    "Cannot allocate memory for pred frame."};

}  // namespace

bool GopSnapshot::allocate(VideoEncoder& e) {
  for (int comp = 0; comp < 3; ++comp)
    for (int k = 0; k < 7; ++k) {
      try {
        stores_[k].plane[comp].resize(live_stores(e, k)->plane[comp].size());
      } catch (const std::bad_alloc&) {
        report_message(e.ctx, "%s", kStoreMessages[k]);
        return false;
      }
    }
  try {
    mb_info_.resize(e.mb_info.size());
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for mb info.");
    return false;
  }
  try {
    blocks_.resize(e.blocks.size());
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for blocks.");
    return false;
  }
  try {
    position_.undo.resize(BitWriter::kBufferSize);
    sub_new_.resize(e.sub_new.size());
    sub_old_.resize(e.sub_old.size());
  } catch (const std::bad_alloc&) {
    report_message(e.ctx, "Cannot allocate memory for undo file buffer.");
    return false;
  }
  return true;
}

bool GopSnapshot::take(VideoEncoder& e) {
  for (int k = 0; k < 7; ++k)
    for (int comp = 0; comp < 3; ++comp) {
      const std::vector<std::uint8_t>& live = live_stores(e, k)->plane[comp];
      std::copy(live.begin(), live.end(), stores_[k].plane[comp].begin());
    }
  std::copy(e.mb_info.begin(), e.mb_info.end(), mb_info_.begin());
  std::copy(e.blocks.begin(), e.blocks.end(), blocks_.begin());
  sub_new_ = e.sub_new;
  sub_old_ = e.sub_old;
  std::memcpy(motion_ranges_, e.s.motion_ranges, sizeof motion_ranges_);
  stats_ = e.stats;
  max_rate_offset_ = e.max_rate_file != nullptr ? std::ftell(e.max_rate_file) : 0;
  if (max_rate_offset_ < 0) return false;
  return e.bs.save_position(position_);
}

bool GopSnapshot::restore(VideoEncoder& e) {
  for (int k = 0; k < 7; ++k)
    for (int comp = 0; comp < 3; ++comp) {
      const std::vector<std::uint8_t>& saved = stores_[k].plane[comp];
      std::copy(saved.begin(), saved.end(), live_stores(e, k)->plane[comp].begin());
    }
  std::copy(mb_info_.begin(), mb_info_.end(), e.mb_info.begin());
  std::copy(blocks_.begin(), blocks_.end(), e.blocks.begin());
  e.sub_new = sub_new_;
  e.sub_old = sub_old_;
  std::memcpy(e.s.motion_ranges, motion_ranges_, sizeof motion_ranges_);
  e.stats = stats_;
  // The redone GOP notes its sequence header positions again.
  if (e.max_rate_file != nullptr && std::fseek(e.max_rate_file, max_rate_offset_, SEEK_SET) != 0)
    return false;
  return e.bs.restore_position(position_);
}

}  // namespace corvexa::mpeg::video
