#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "avi/avi_reader.h"
#include "avi/reader_error.h"
#include "avi_builder.h"
#include "core/kinds.h"
#include "corvexa/zelavilib.h"
#include "support/temp_dir.h"

using namespace avi_test;
using corvexa::AviStreamApi;
using corvexa::fourcc;
using corvexa::avi::AviReader;
using corvexa::avi::ReaderError;

namespace {

struct FileRef {
  AviReader* file = nullptr;
  ~FileRef() {
    if (file) file->Release();
  }
  AviReader* operator->() const { return file; }
};

struct StreamRef {
  AviStreamApi* s = nullptr;
  explicit StreamRef(AviStreamApi* stream) : s(stream) {}
  ~StreamRef() {
    if (s) s->Destroy(1);
  }
  AviStreamApi* operator->() const { return s; }
};

std::string open_error(const std::string& path) {
  try {
    AviReader::open(path)->Release();
  } catch (const ReaderError& e) {
    return e.what();
  }
  return "";
}

// Reads every sample of a stream into one byte string, chunk by chunk for
// video and in pieces of up to `piece` samples for audio.
Bytes read_stream(AviStreamApi* s, int piece = 1000) {
  Bytes all;
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::int32_t n = 0; n < s->End();) {
    std::int32_t bytes = 0, samples = 0;
    const std::int32_t r = s->Read(n, piece, buffer.data(), static_cast<std::int32_t>(buffer.size()), &bytes, &samples);
    EXPECT_EQ(r, 0) << "sample " << n;
    if (r != 0 || samples <= 0) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + bytes);
    n += samples;
  }
  return all;
}

Bytes concat(const std::vector<Bytes>& chunks) {
  Bytes all;
  for (const auto& c : chunks) all.insert(all.end(), c.begin(), c.end());
  return all;
}

class AviReaderTest : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const BuiltAvi& avi) {
    const std::string path = dir.file(name);
    write_file(path, avi);
    return path;
  }
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    write_bytes(path, bytes);
    return path;
  }
  kavrol_test::TempDir dir;
};

TEST_F(AviReaderTest, RejectsWhatIsNotAnAvi) {
  struct Case {
    Bytes bytes;
    const char* message;
  };
  Bytes wave = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
  Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  const Case cases[] = {
      {{'R', 'I', 'F', 'F'}, "Invalid AVI file: File is less than 8 bytes"},
      {text, "Invalid AVI file: Not a RIFF file"},
      {wave, "Invalid AVI file: RIFF type is not 'AVI'"},
  };
  for (const Case& c : cases) EXPECT_EQ(open_error(write("bad.avi", c.bytes)), c.message);
  EXPECT_EQ(open_error(dir.file("missing.avi")).rfind("Couldn't open " + dir.file("missing.avi") + ": No such file", 0), 0u);
}

TEST_F(AviReaderTest, FileWithoutMoviIsRefused) {
  AviLayout layout = two_stream_layout(2);
  BuiltAvi avi = build_avi(layout);
  // Rename the movi list: the walk skips it as an unknown list.
  std::memcpy(avi.bytes.data() + avi.movi_start - 4, "xxxx", 4);
  EXPECT_EQ(open_error(write("a.avi", avi)), "This AVI file doesn't have a movie data block (movi)!");
}

TEST_F(AviReaderTest, EveryIndexSourceGivesTheSamePositionsAndData) {
  const AviLayout base = two_stream_layout(30);
  std::vector<std::vector<std::uint64_t>> expected;
  for (Index index : {Index::Idx1Absolute, Index::Idx1Relative, Index::OpenDml, Index::None}) {
    AviLayout layout = base;
    layout.index = index;
    const BuiltAvi avi = build_avi(layout);
    FileRef f{AviReader::open(write("i.avi", avi))};
    EXPECT_EQ(f->index_rebuilt(), index == Index::None);
    ASSERT_EQ(f->streams().size(), 2u);
    for (std::size_t s = 0; s < 2; ++s) {
      const auto& idx = f->streams()[s]->index;
      ASSERT_EQ(idx.size(), avi.positions[s].size());
      for (std::size_t i = 0; i < idx.size(); ++i) EXPECT_EQ(idx[i].position, avi.positions[s][i]);
    }
    StreamRef v(f->GetStream(fourcc("vids"), 0));
    StreamRef a(f->GetStream(fourcc("auds"), 0));
    ASSERT_TRUE(v.s && a.s);
    EXPECT_EQ(v->End(), 30);
    EXPECT_EQ(a->End(), 30 * 1764 / 4);
    EXPECT_EQ(read_stream(v.s), concat(base.streams[0].chunks));
    EXPECT_EQ(read_stream(a.s, 333), concat(base.streams[1].chunks));
  }
}

TEST_F(AviReaderTest, ScannedIndexMarksFirstChunkOrEveryChunkOfIntraVideo) {
  for (const char* codec : {"XVID", "MJPG"}) {
    AviLayout layout = two_stream_layout(12);
    layout.streams[0].compression = codec;
    layout.streams[0].chunks[0].clear();  // an empty first chunk is never a key frame
    layout.index = Index::None;
    FileRef f{AviReader::open(write("s.avi", build_avi(layout)))};
    EXPECT_TRUE(f->IsIndexFabricated());
    StreamRef v(f->GetStream(fourcc("vids"), 0));
    const bool intra = std::string(codec) == "MJPG";
    EXPECT_EQ(v->IsKeyFrameOnly(), intra);
    const auto& idx = f->streams()[0]->index;
    EXPECT_FALSE(idx[0].key());
    EXPECT_TRUE(idx[1].key());
    for (std::size_t i = 2; i < idx.size(); ++i) EXPECT_EQ(idx[i].key(), intra) << codec << " " << i;
    EXPECT_TRUE(f->streams()[1]->index[0].key());
    EXPECT_FALSE(f->streams()[1]->index[1].key());
  }
}

TEST_F(AviReaderTest, BrokenOpenDmlIndexInOneStreamForcesTheScan) {
  AviLayout layout = two_stream_layout(10);
  layout.index = Index::OpenDml;
  BuiltAvi avi = build_avi(layout);
  // Point the audio stream's super index entry outside the file.
  const std::size_t second_indx = [&] {
    std::size_t at = 0;
    for (int n = 0; n < 2; ++n) at = std::search(avi.bytes.begin() + at + 1, avi.bytes.end(), "indx", "indx" + 4) - avi.bytes.begin();
    return at;
  }();
  avi.bytes[second_indx + 8 + 24 + 7] = 0x40;
  FileRef f{AviReader::open(write("o.avi", avi))};
  EXPECT_TRUE(f->index_rebuilt());
  EXPECT_TRUE(f->streams()[1]->odml_faulty);
  EXPECT_EQ(f->streams()[0]->index.size(), 10u);
  EXPECT_EQ(f->streams()[1]->index.size(), 10u);
}

TEST_F(AviReaderTest, DamagedMoviIsResynchronised) {
  AviLayout layout = two_stream_layout(10);
  layout.index = Index::None;
  BuiltAvi avi = build_avi(layout);
  // Chunk 4 of the video claims to run past the end of the file.
  const std::size_t bad = avi.positions[0][4];
  avi.bytes[bad + 7] = 0x7F;
  FileRef f{AviReader::open(write("d.avi", avi))};
  EXPECT_TRUE(f->damaged());
  const auto& video = f->streams()[0]->index;
  // Everything but the broken chunk is found again at its true position.
  ASSERT_EQ(video.size(), 9u);
  EXPECT_EQ(video[4].position, avi.positions[0][5]);
  EXPECT_EQ(f->streams()[1]->index.size(), 10u);
}

TEST_F(AviReaderTest, AudioReadsCountMinusOneAndSmallBuffers) {
  AviLayout layout = two_stream_layout(4, 400);
  FileRef f{AviReader::open(write("a.avi", build_avi(layout)))};
  StreamRef a(f->GetStream(fourcc("auds"), 0));
  std::int32_t bytes = -5, samples = -5;
  // 100 samples per chunk: from sample 30, 70 are left in this chunk.
  EXPECT_EQ(a->Read(30, -1, nullptr, 0, &bytes, &samples), 0);
  EXPECT_EQ(samples, 70);
  EXPECT_EQ(bytes, 280);
  std::uint8_t small[3];
  EXPECT_EQ(a->Read(0, 10, small, 3, &bytes, &samples), corvexa::kAviErrBufferTooSmall);
  EXPECT_EQ(bytes, 40);
  EXPECT_EQ(samples, 10);
  // Out of range is not an error.
  EXPECT_EQ(a->Read(400, 1, small, 3, &bytes, &samples), 0);
  EXPECT_EQ(samples, 0);
  EXPECT_EQ(a->Read(0, 0, small, 3, &bytes, &samples), 0);
  // A read across chunks stops at the buffer.
  std::vector<std::uint8_t> buf(4 * 150 + 3);
  EXPECT_EQ(a->Read(90, 1000, buf.data(), static_cast<std::int32_t>(buf.size()), &bytes, &samples), 0);
  EXPECT_EQ(samples, 150);
  const Bytes all = concat(layout.streams[1].chunks);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 600, all.begin() + 360));
}

TEST_F(AviReaderTest, VideoReadsAndKeyFrames) {
  AviLayout layout = two_stream_layout(25);
  layout.streams[0].keys[0] = false;  // key frames at 10 and 20 only
  FileRef f{AviReader::open(write("v.avi", build_avi(layout)))};
  StreamRef v(f->GetStream(fourcc("vids"), 0));
  std::int32_t bytes = 0, samples = 0;
  std::uint8_t tiny[10];
  EXPECT_EQ(v->Read(3, 1, tiny, 10, &bytes, &samples), corvexa::kAviErrBufferTooSmall);
  EXPECT_EQ(bytes, static_cast<std::int32_t>(layout.streams[0].chunks[3].size()));
  EXPECT_EQ(samples, 1);
  EXPECT_EQ(v->NearestKeyFrame(5), 0);
  EXPECT_EQ(v->NearestKeyFrame(15), 10);
  EXPECT_EQ(v->NearestKeyFrame(20), 20);
  EXPECT_EQ(v->PrevKeyFrame(10), -1);
  EXPECT_EQ(v->NextKeyFrame(10), 20);
  EXPECT_EQ(v->NextKeyFrame(20), -1);
  EXPECT_FALSE(v->IsKeyFrame(25));
  corvexa::AviStreamInfo info{};
  std::uint8_t big[200];
  std::memset(big, 0xEE, sizeof big);
  v->Info(big, sizeof big);
  std::memcpy(&info, big, sizeof info);
  EXPECT_EQ(info.type, fourcc("vids"));
  EXPECT_EQ(info.rate, 25u);
  EXPECT_EQ(info.frame_right, 64);
  EXPECT_EQ(big[150], 0);
  std::int32_t size = 0;
  v->ReadFormat(0, nullptr, &size);
  EXPECT_EQ(size, 40);
}

TEST_F(AviReaderTest, TruncatedFilePieceGivesFileRead) {
  AviLayout layout = two_stream_layout(3, 400);
  BuiltAvi avi = build_avi(layout);
  FileRef f{AviReader::open(write("t.avi", avi))};
  // Cut the file in the middle of the last video chunk after opening.
  ASSERT_EQ(::truncate(dir.file("t.avi").c_str(), static_cast<off_t>(avi.positions[0][2] + 8 + 2)), 0);
  StreamRef a(f->GetStream(fourcc("auds"), 0));
  std::vector<std::uint8_t> buf(4000);
  std::int32_t bytes = 0, samples = 0;
  EXPECT_EQ(a->Read(200, 100, buf.data(), 4000, &bytes, &samples), corvexa::kAviErrFileRead);
  EXPECT_EQ(samples, 0);
  StreamRef v(f->GetStream(fourcc("vids"), 0));
  EXPECT_EQ(v->Read(2, 1, buf.data(), 4000, &bytes, &samples), corvexa::kAviErrFileRead);
}

TEST_F(AviReaderTest, SegmentHintAndAppend) {
  AviLayout layout = two_stream_layout(5);
  FileRef plain{AviReader::open(write("p.avi", build_avi(layout)))};
  char hint[32];
  EXPECT_FALSE(plain->GetSegmentHint(hint, sizeof hint));
  layout.segm = "\x01next.avi";
  FileRef f{AviReader::open(write("h.avi", build_avi(layout)))};
  ASSERT_TRUE(f->GetSegmentHint(hint, sizeof hint));
  EXPECT_STREQ(hint, "next.avi");

  AviLayout second = two_stream_layout(7, 1764, 9);
  ASSERT_TRUE(f->AppendFile(write("n.avi", build_avi(second)).c_str())) << f->last_error();
  EXPECT_EQ(f->segment_count(), 2);
  StreamRef v(f->GetStream(fourcc("vids"), 0));
  StreamRef a(f->GetStream(fourcc("auds"), 0));
  EXPECT_EQ(v->End(), 12);
  Bytes expected = concat(layout.streams[1].chunks);
  const Bytes more = concat(second.streams[1].chunks);
  expected.insert(expected.end(), more.begin(), more.end());
  EXPECT_EQ(read_stream(a.s, 500), expected);
  EXPECT_EQ(f->streams()[0]->index[5].position >> 48, 1u);

  struct Refusal {
    const char* name;
    void (*change)(AviLayout&);
    const char* message;
  };
  const Refusal refusals[] = {
      {"count", [](AviLayout& s) { s.streams.pop_back(); },
       "Cannot append segment: The segment has a different number of streams."},
      {"types", [](AviLayout& s) { std::swap(s.streams[0], s.streams[1]); },
       "Cannot append segment: The stream types do not match."},
      {"rate", [](AviLayout& s) { s.streams[0].rate = 30; },
       "Cannot append segment: The video streams have different sampling rates (25.00000 vs. 30.00000)"},
      {"block", [](AviLayout& s) { s.streams[1].block_align = 2; },
       "Cannot append segment: The audio streams have different block sizes (4 vs 2)."},
      {"format", [](AviLayout& s) { s.streams[0].compression = "DIVX"; },
       "Cannot append segment: The video streams have different data formats."},
  };
  for (const Refusal& r : refusals) {
    AviLayout other = two_stream_layout(3);
    r.change(other);
    EXPECT_FALSE(f->AppendFile(write("r.avi", build_avi(other)).c_str())) << r.name;
    EXPECT_EQ(f->last_error(), r.message) << r.name;
  }
  EXPECT_EQ(f->segment_count(), 2);
  // Same rate written as 50/2 is the same rate.
  AviLayout scaled = two_stream_layout(2);
  scaled.streams[0].rate = 50;
  scaled.streams[0].scale = 2;
  EXPECT_TRUE(f->AppendFile(write("s.avi", build_avi(scaled)).c_str())) << f->last_error();
}

TEST_F(AviReaderTest, ReadAheadGivesTheBytesOfDirectReads) {
  AviLayout layout = two_stream_layout(300, 1764, 3);
  StreamLayout third = layout.streams[1];
  third.chunks = std::vector<Bytes>(300, pattern(882, 77));
  layout.streams.push_back(third);
  const std::string path = write("m.avi", build_avi(layout));
  for (int rate : {25000, 1000}) {
    FileRef f{AviReader::open(path)};
    StreamRef v(f->GetStream(fourcc("vids"), 0));
    StreamRef a(f->GetStream(fourcc("auds"), 0));
    StreamRef b(f->GetStream(fourcc("auds"), 1));
    for (AviStreamApi* s : {v.s, a.s, b.s}) s->BeginStreaming(0, s->End(), rate);
    EXPECT_EQ(f->IsOptimizedForRealtime(), rate <= 1500);
    // Interleaved sequential reads, as a player does.
    Bytes got[3];
    std::int32_t next[3] = {0, 0, 0};
    std::vector<std::uint8_t> buf(1 << 16);
    for (bool more = true; more;) {
      more = false;
      AviStreamApi* streams[3] = {v.s, a.s, b.s};
      for (int i = 0; i < 3; ++i) {
        if (next[i] >= streams[i]->End()) continue;
        more = true;
        std::int32_t bytes = 0, samples = 0;
        ASSERT_EQ(streams[i]->Read(next[i], i == 0 ? 1 : 441, buf.data(), 1 << 16, &bytes, &samples), 0);
        got[i].insert(got[i].end(), buf.begin(), buf.begin() + bytes);
        next[i] += samples;
      }
    }
    EXPECT_TRUE(f->IsStreaming());
    EXPECT_EQ(got[0], concat(layout.streams[0].chunks));
    EXPECT_EQ(got[1], concat(layout.streams[1].chunks));
    EXPECT_EQ(got[2], concat(layout.streams[2].chunks));
    for (AviStreamApi* s : {v.s, a.s, b.s}) s->EndStreaming();
    EXPECT_FALSE(f->IsStreaming());
    EXPECT_FALSE(f->IsOptimizedForRealtime());
  }
}

TEST_F(AviReaderTest, OpenDmlBeyondFourGigabytes) {
  AviLayout layout = two_stream_layout(4);
  layout.index = Index::OpenDml;
  layout.far_offset = (std::uint64_t{9} << 29) + 6;  // 4.5 GiB, sparse
  const BuiltAvi avi = build_avi(layout);
  std::string path;
  try {
    path = write("big.avi", avi);
  } catch (const std::exception&) {
    GTEST_SKIP() << "no sparse files here";
  }
  FileRef f{AviReader::open(path)};
  EXPECT_FALSE(f->index_rebuilt());
  StreamRef v(f->GetStream(fourcc("vids"), 0));
  ASSERT_EQ(v->End(), 4);
  EXPECT_EQ(f->streams()[0]->index[3].position, layout.far_offset);
  EXPECT_EQ(read_stream(v.s), concat(layout.streams[0].chunks));
  std::filesystem::remove(path);
}

TEST_F(AviReaderTest, HostileIndexesAndSizesFailOrAreContained) {
  // Each mutation must open with a clean error or open and read safely.
  AviLayout layout = two_stream_layout(6);
  layout.index = Index::OpenDml;
  const BuiltAvi good = build_avi(layout);
  const auto find = [&](const char* what, int nth = 1) {
    std::size_t at = 0;
    for (int n = 0; n < nth; ++n)
      at = static_cast<std::size_t>(std::search(good.bytes.begin() + static_cast<long>(at) + (n ? 1 : 0), good.bytes.end(), what, what + 4) - good.bytes.begin());
    return at;
  };
  struct Mutation {
    const char* name;
    std::size_t at;
    std::uint32_t value;
  };
  const std::size_t indx = find("indx");
  const std::size_t ix = find("ix00");
  const Mutation mutations[] = {
      {"super entries 2^32-1", indx + 8 + 4, 0xFFFFFFFFu},
      {"super points at itself", indx + 8 + 24, static_cast<std::uint32_t>(indx)},
      {"std entries 2^32-1", ix + 8 + 4, 0xFFFFFFFFu},
      {"std longs 5", ix + 8, 0x01000005u},
      {"strf near 2^32", find("strf") + 4, 0xFFFFFFF0u},
      {"strl near 2^32", find("strl") - 4, 0xFFFFFFF0u},
      {"movi size 0", static_cast<std::size_t>(good.movi_start - 8), 0},
      {"hdrl size 2", find("hdrl") - 4, 2},
  };
  for (const Mutation& m : mutations) {
    Bytes b = good.bytes;
    for (int i = 0; i < 4; ++i) b[m.at + i] = static_cast<std::uint8_t>(m.value >> (8 * i));
    const std::string path = write("h.avi", b);
    try {
      FileRef f{AviReader::open(path)};
      for (auto type : {fourcc("vids"), fourcc("auds")}) {
        StreamRef s(f->GetStream(type, 0));
        if (s.s) read_stream(s.s);
      }
    } catch (const ReaderError& e) {
      EXPECT_STRNE(e.what(), "") << m.name;
    }
  }
  // Truncated at every offset of the headers.
  const std::size_t headers = static_cast<std::size_t>(good.movi_start) + 64;
  for (std::size_t n = 0; n < headers; ++n) {
    const Bytes b(good.bytes.begin(), good.bytes.begin() + static_cast<long>(n));
    try {
      AviReader::open(write("c.avi", b))->Release();
    } catch (const ReaderError&) {
    }
  }
}

TEST_F(AviReaderTest, VariableRateAudioIsDetected) {
  AviLayout layout = two_stream_layout(20);
  StreamLayout& mp3 = layout.streams[1];
  mp3.format_tag = 0x55;
  mp3.block_align = 1152;
  mp3.rate = 38;  // frames per second
  for (std::size_t i = 0; i < mp3.chunks.size(); ++i) mp3.chunks[i] = pattern(i % 2 ? 400 : 500, 5);
  FileRef f{AviReader::open(write("vbr.avi", build_avi(layout)))};
  StreamRef a(f->GetStream(fourcc("auds"), 0));
  EXPECT_EQ(a->End(), 9000);  // one-byte samples
  double average = 0, deviation = 0, jitter = 0;
  ASSERT_TRUE(a->GetVariableBitrateInfo(&average, &deviation, &jitter));
  EXPECT_DOUBLE_EQ(average, 8.0 * 450 * 38);
  EXPECT_DOUBLE_EQ(deviation, 8.0 * 50 * 38);
  EXPECT_GT(jitter, 0.0);
  StreamRef v(f->GetStream(fourcc("vids"), 0));
  EXPECT_FALSE(v->GetVariableBitrateInfo(&average, &deviation, &jitter));
  corvexa::AviStreamInfo info{};
  a->Info(&info, sizeof info);
  EXPECT_EQ(info.rate, 17100u);
  EXPECT_EQ(info.scale, 1u);
}

TEST(Zelavilib, AudioFeedPath) {
  kavrol_test::TempDir dir;
  AviLayout layout = two_stream_layout(8, 1000);
  write_file(dir.file("z.avi"), build_avi(layout));
  auto* lib = static_cast<corvexa::Zelavilib*>(corvexa::core::construct_zelavilib());
  ASSERT_NE(lib, nullptr);
  ASSERT_TRUE(lib->Init());
  EXPECT_EQ(lib->Open(dir.file("missing.avi").c_str()), nullptr);
  EXPECT_EQ(lib->Open(nullptr), nullptr);
  corvexa::AviFileApi* file = lib->Open(dir.file("z.avi").c_str());
  ASSERT_NE(file, nullptr);
  corvexa::AviAudioSource* src = lib->OpenStream(file, 1);
  ASSERT_TRUE(lib->IsOK(src));
  EXPECT_EQ(src->format_size, 18);
  EXPECT_EQ(src->end, 2000);
  std::vector<std::uint8_t> buf(8000);
  std::int32_t bytes = 0, samples = 0;
  EXPECT_EQ(lib->Read(src, 0, 2000, buf.data(), 8000, &bytes, &samples), 0);
  EXPECT_EQ(bytes, 8000);
  EXPECT_EQ(buf, concat(layout.streams[1].chunks));
  lib->Close(file);  // the source still holds the file
  lib->CloseStream(src);
  lib->CloseStream(nullptr);
  lib->Release();
}

TEST(Zelavilib, SharedMediaOpensAndReadsFully) {
  int found = 0;
  for (const std::string& path : kavrol_test::media_clips(".avi")) {
    const std::string name = std::filesystem::path(path).filename().string();
    ++found;
    FileRef f{AviReader::open(path)};
    for (auto type : {fourcc("vids"), fourcc("auds")}) {
      StreamRef s(f->GetStream(type, 0));
      if (s.s == nullptr) continue;
      std::int64_t total = 0;
      std::vector<std::uint8_t> buf(4 << 20);
      for (std::int32_t n = 0; n < s->End();) {
        std::int32_t bytes = 0, samples = 0;
        ASSERT_EQ(s->Read(n, -1, buf.data(), 4 << 20, &bytes, &samples), 0) << name << " " << n;
        ASSERT_GT(samples, 0);
        n += samples;
        total += bytes;
      }
      EXPECT_GT(total, 0) << name;
    }
  }
  if (found == 0) GTEST_SKIP() << "no shared media";
}

}  // namespace
