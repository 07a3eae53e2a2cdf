// Working state of one video encoding run: geometry, picture stores,
// macroblock records and the current picture's coding parameters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mpeg/settings/encoder_context.h"
#include "mpeg/video/bit_writer.h"
#include "mpeg/video/kernels.h"
#include "mpeg/video/rate_control.h"
#include "mpeg/video/row_workers.h"

namespace corvexa::mpeg::video {

enum PictureType { kPictureI = 1, kPictureP = 2, kPictureB = 3 };
enum PictureStructure { kTopField = 1, kBottomField = 2, kFramePicture = 3 };
enum MacroblockFlags { kMbIntra = 1, kMbPattern = 2, kMbBackward = 4, kMbForward = 8, kMbQuant = 16 };
// Frame pictures: field 1, frame 2, dual prime 3; field pictures: field 1,
// 16 x 8 2, dual prime 3 (the codes of frame/field_motion_type).
enum MotionType { kMcField = 1, kMcFrame = 2, kMc16x8 = 2, kMcDualPrime = 3 };

struct PictureStore {
  std::vector<std::uint8_t> plane[3];
};

struct MacroblockInfo {
  int mb_type = 0;
  int motion_type = kMcFrame;
  int dct_type = 0;
  int mquant = 0;
  int cbp = 0;
  bool skipped = false;
  int mv[2][2][2] = {};        // [first/second][forward/backward][x/y], half pels
  int field_select[2][2] = {};  // [first/second][forward/backward]
  int dmv[2] = {};
  int distance = 0;
  double activity = 0.0;
};

// Largest vector components found in the current picture (full pels).
struct LargestVectors {
  int fwd_x = 0, fwd_y = 0, bwd_x = 0, bwd_y = 0;
};

struct Statistics {
  double max_frame_bits = 0, min_frame_bits = 200000000;
  double max_second_bits = 0, min_second_bits = 200000000;
  int frames_in_second = 0;
  double frame_start_bits = 0, second_start_bits = 0;
  int max_mquant = 0, min_mquant = 200;
  double mquant_sum = 0;
  long mquant_count = 0;
  double header_bits = 0;
  int frames = 0;
  // Constant bit rate only.
  double padding_bits = 0, max_padding_bits = 0;
  int vbv_overflows = 0, vbv_underflows = 0;
};

// One slice coded apart from the stream, with the messages its coding gave.
struct CodedSlice {
  enum State { kNotCoded, kCoded, kFailed };
  BitWriter bits;
  std::vector<std::string> messages;
  double header_bits = 0;
  State state = kNotCoded;
};

struct VideoEncoder {
  VideoEncoder(EncoderContext& c) : ctx(c), s(c.work) {}

  EncoderContext& ctx;
  WorkingSettings& s;
  BitWriter bs;
  KernelTable k{};
  RowPool pool;  // the workers that share a picture's rows
  std::unique_ptr<RateControl> rc;

  // Geometry.
  bool mpeg1 = true;
  int horizontal_size = 0, vertical_size = 0;
  int mb_cols = 0, mb_rows = 0, mb_rows_pic = 0;
  int coded_width = 0, coded_height = 0;
  int chroma_width = 0, chroma_height = 0;
  int line_stride = 0, pic_height = 0, chroma_stride = 0;
  int blocks_per_mb = 6;
  int nframes = 0;

  // Picture stores.
  PictureStore new_ref, old_ref, aux, new_org, old_org, aux_org, pred;
  PictureStore* cur_org = nullptr;
  PictureStore* cur_ref = nullptr;
  std::vector<MacroblockInfo> mb_info;
  std::vector<std::int16_t> blocks;
  std::vector<std::unique_ptr<CodedSlice>> slices;  // a picture's rows coded apart

  // Quantiser matrices (raster order) and their load flags.
  int intra_q[64] = {}, inter_q[64] = {};
  // Non-intra matrix as 16-bit words and trunc(65536 / q) for the fast
  // quantiser; off when a value of 1 leaves no 16-bit reciprocal.
  std::uint16_t inter_q16[64] = {}, inter_recip[64] = {};
  bool fast_quant = false;
  bool load_iquant = false, load_niquant = false;

  // Current picture.
  int pict_type = kPictureI;
  int pict_struct = kFramePicture;
  bool second_field = false;  // field pictures: the second field of its frame
  bool ip_field = false;      // ... and its first field was an I field
  int temp_ref = 0;
  int f_code[2][2] = {{15, 15}, {15, 15}};  // [forward/backward][h/v]
  int search[2][2] = {};                     // [forward/backward][h/v] pels
  int frame_pred_dct = 1, q_scale_type = 0, intra_vlc_format = 0, altscan = 0;
  int top_field_first = 0, repeat_first_field = 0, progressive_frame = 1;
  int vbv_delay = 0xFFFF;
  int display_frame = 0;

  // Variable motion search.
  bool variable_search = false;
  int coarse_fwd = 0, coarse_bwd = 0;
  std::vector<std::uint8_t> sub_cur, sub_new, sub_old;
  std::vector<int> coarse_fx, coarse_fy, coarse_bx, coarse_by;
  int detail_class = 1;
  int field_detail_class[2] = {1, 1};  // field pictures: per field of the frame
  double detail_threshold = 0;
  LargestVectors largest;

  Statistics stats;
  std::FILE* max_rate_file = nullptr;
  std::string max_rate_name;

  const std::uint8_t* clip = nullptr;  // index -384..639
  std::vector<std::uint8_t> clip_table;
};

// Headers above the macroblock layer.
void write_sequence_header(VideoEncoder& e);
void write_sequence_extension(VideoEncoder& e);
void write_sequence_display_extension(VideoEncoder& e);
void write_gop_header(VideoEncoder& e, int frame, bool closed);
void write_picture_header(VideoEncoder& e);
void write_picture_coding_extension(VideoEncoder& e);
void write_picture_display_extension(VideoEncoder& e);
void write_svcd_user_data(VideoEncoder& e);
void write_slice_header(VideoEncoder& e, int row, int quantiser);
// The same into another writer (a slice coded apart), its bits not counted.
void write_slice_header(const VideoEncoder& e, BitWriter& bs, int row, int quantiser);
void write_sequence_end(VideoEncoder& e);
std::uint32_t gop_time_code(const EncoderSettings& s, int frame);

// Motion estimation and the macroblock decisions of the current picture.
bool allocate_motion_buffers(VideoEncoder& e);
bool motion_estimation(VideoEncoder& e);
void derive_f_codes(VideoEncoder& e);

// Field pictures: 0 top, 1 bottom (the field_select value of the same parity).
inline int field_parity(const VideoEncoder& e) { return e.pict_struct == kBottomField ? 1 : 0; }
// The store that holds reference field `sel` for direction `dir` (0 forward,
// 1 backward) of the current field picture: its source or its reconstruction.
// The second field of a reference frame predicts from its own first field.
const PictureStore& field_reference(const VideoEncoder& e, int dir, int sel, bool source);
// The vectors a dual-prime vector (field units) and differential derive for
// the opposite-parity predictions: frame pictures [0] top from bottom and [1]
// bottom from top; field pictures [0] only.
void dual_prime_vectors(const int mv[2], const int dmv[2], int pict_struct, int top_field_first,
                        int out[2][2]);

// Prediction, transform, quantisation and reconstruction.
bool load_quant_matrices(VideoEncoder& e);
// Prediction, DCT type and forward transform of every macroblock, and the
// reconstruction after the picture is written; both by rows on the workers.
void predict_and_transform(VideoEncoder& e);
void inverse_transform(VideoEncoder& e);
// The same for one row of macroblocks.
void predict_and_transform_row(VideoEncoder& e, int row);
void reconstruct_row(VideoEncoder& e, int row);
bool quantise_non_intra(const std::int16_t* in, std::int16_t* out, const int* matrix, int mquant,
                        bool mpeg1);

// Non-intra quantisation of one block as the kernel class does it: the fast
// reciprocal form (classes above 0, mquant > 1) with the exact one behind it.
bool quantise_non_intra_block(const VideoEncoder& e, const std::int16_t* in, std::int16_t* out,
                              int mquant);

// One run/level pair of a block (table 0 default, 1 alternative intra),
// escaped where the table has no code; false (with the message) when the
// pair cannot be coded at all.
bool write_run_level(EncoderContext& ctx, BitWriter& bs, bool mpeg1, int run, int level,
                     int table, bool first);

// Length and P/B counts of the GOP that starts at coding index gop_start.
struct GopCounts {
  int n = 0, np = 0, nb = 0;
};
GopCounts gop_counts(int gop_start, int gop_size, int ip_distance, int nframes);

// The picture from its header to the last macroblock; false when a value
// cannot be coded.
bool write_picture(VideoEncoder& e);

// Whether every row of the current picture is a slice whose coding depends on
// no other row (one slice per row and quantisers fixed in advance), so that a
// row can be predicted, transformed, coded and reconstructed on its own.
bool rows_coded_apart(const VideoEncoder& e);
// Codes the picture that way, rows spread over the workers, the slices
// joined in order: the stream and reconstruction of the stages run one after
// another. False when a value cannot be coded.
bool code_picture_by_rows(VideoEncoder& e);

}  // namespace corvexa::mpeg::video
