#include "avi_builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace avi_test {

namespace {

void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put64(Bytes& b, std::uint64_t v) {
  put32(b, static_cast<std::uint32_t>(v));
  put32(b, static_cast<std::uint32_t>(v >> 32));
}
void putcc(Bytes& b, const std::string& s) {
  for (int i = 0; i < 4; ++i) b.push_back(i < static_cast<int>(s.size()) ? static_cast<std::uint8_t>(s[i]) : ' ');
}
void patch32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void patch64(Bytes& b, std::size_t at, std::uint64_t v) {
  patch32(b, at, static_cast<std::uint32_t>(v));
  patch32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
// Starts a chunk; returns the offset of its size field.
std::size_t open_chunk(Bytes& b, const std::string& id) {
  putcc(b, id);
  put32(b, 0);
  return b.size() - 4;
}
void close_chunk(Bytes& b, std::size_t size_at) {
  patch32(b, size_at, static_cast<std::uint32_t>(b.size() - size_at - 4));
  if (b.size() & 1) b.push_back(0);
}

std::string chunk_id(int stream, const std::string& type) {
  char id[5];
  std::snprintf(id, sizeof id, "%02d%s", stream, type == "auds" ? "wb" : "dc");
  return id;
}

Bytes default_format(const StreamLayout& s) {
  Bytes f;
  if (s.type == "auds") {
    put16(f, s.format_tag);
    put16(f, 2);
    put32(f, 44100);
    put32(f, 44100u * s.block_align);
    put16(f, s.block_align);
    put16(f, 16);
    put16(f, 0);
  } else {
    put32(f, 40);
    put32(f, 64);
    put32(f, 48);
    put16(f, 1);
    put16(f, 24);
    putcc(f, s.compression);
    put32(f, 64 * 48 * 3);
    put32(f, 0);
    put32(f, 0);
    put32(f, 0);
    put32(f, 0);
  }
  return f;
}

bool is_key(const StreamLayout& s, std::size_t i) { return i >= s.keys.size() || s.keys[i]; }

}  // namespace

Bytes pattern(std::size_t size, std::uint32_t seed) {
  Bytes b(size);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = static_cast<std::uint8_t>(x >> 16);
  }
  return b;
}

AviLayout two_stream_layout(int frames, int audio_chunk_bytes, std::uint32_t seed) {
  AviLayout layout;
  StreamLayout video;
  StreamLayout audio;
  audio.type = "auds";
  audio.rate = 44100;
  audio.block_align = 4;
  audio.scale = 1;
  for (int i = 0; i < frames; ++i) {
    video.chunks.push_back(pattern(static_cast<std::size_t>(300 + (i * 37) % 500), seed + static_cast<std::uint32_t>(i)));
    video.keys.push_back(i % 10 == 0);
    audio.chunks.push_back(pattern(static_cast<std::size_t>(audio_chunk_bytes), seed * 7 + static_cast<std::uint32_t>(i)));
  }
  layout.streams = {video, audio};
  return layout;
}

BuiltAvi build_avi(const AviLayout& layout) {
  BuiltAvi out;
  Bytes& b = out.bytes;
  const bool odml = layout.index == Index::OpenDml;
  const std::size_t riff = open_chunk(b, "RIFF");
  putcc(b, "AVI ");
  const std::size_t hdrl = open_chunk(b, "LIST");
  putcc(b, "hdrl");
  const std::size_t avih = open_chunk(b, "avih");
  for (int i = 0; i < 14; ++i) put32(b, i == 6 ? static_cast<std::uint32_t>(layout.streams.size()) : 0);
  close_chunk(b, avih);
  std::vector<std::size_t> indx_at(layout.streams.size());
  for (std::size_t s = 0; s < layout.streams.size(); ++s) {
    const StreamLayout& st = layout.streams[s];
    const std::size_t strl = open_chunk(b, "LIST");
    putcc(b, "strl");
    const std::size_t strh = open_chunk(b, "strh");
    putcc(b, st.type);
    putcc(b, st.type == "auds" ? std::string("\0\0\0\0", 4) : st.compression);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, st.scale);
    put32(b, st.rate);
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(st.chunks.size()));
    put32(b, 0);
    put32(b, 0xFFFFFFFFu);
    put32(b, st.type == "auds" ? st.block_align : 0);
    put16(b, 0);
    put16(b, 0);
    put16(b, 64);
    put16(b, 48);
    close_chunk(b, strh);
    const std::size_t strf = open_chunk(b, "strf");
    const Bytes f = st.format.empty() ? default_format(st) : st.format;
    b.insert(b.end(), f.begin(), f.end());
    close_chunk(b, strf);
    if (odml) {
      const std::size_t indx = open_chunk(b, "indx");
      put16(b, 4);
      b.push_back(0);
      b.push_back(0);  // index of indexes
      put32(b, 1);
      putcc(b, chunk_id(static_cast<int>(s), st.type));
      put32(b, 0);
      put32(b, 0);
      put32(b, 0);
      indx_at[s] = b.size();
      for (int slot = 0; slot < 2; ++slot) {  // room for a second standard index
        put64(b, 0);
        put32(b, 0);
        put32(b, 0);
      }
      close_chunk(b, indx);
    }
    close_chunk(b, strl);
  }
  close_chunk(b, hdrl);
  if (!layout.segm.empty()) {
    const std::size_t segm = open_chunk(b, "segm");
    b.insert(b.end(), layout.segm.begin(), layout.segm.end());
    b.push_back(0);
    close_chunk(b, segm);
  }
  const std::size_t movi = open_chunk(b, "LIST");
  putcc(b, "movi");
  out.movi_start = b.size();
  out.positions.resize(layout.streams.size());
  std::size_t most = 0;
  for (const auto& st : layout.streams) most = std::max(most, st.chunks.size());
  struct Entry {
    std::string id;
    std::uint32_t flags, size;
    std::uint64_t pos;
  };
  std::vector<Entry> idx1;
  const bool far = odml && layout.far_offset != 0 && !layout.streams.empty() && !layout.streams[0].chunks.empty();
  for (std::size_t i = 0; i < most; ++i) {
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
      const StreamLayout& st = layout.streams[s];
      if (i >= st.chunks.size()) continue;
      const std::string id = chunk_id(static_cast<int>(s), st.type);
      if (far && s == 0 && i + 1 == st.chunks.size()) {
        putcc(out.far_chunk, id);
        put32(out.far_chunk, static_cast<std::uint32_t>(st.chunks[i].size()));
        out.far_chunk.insert(out.far_chunk.end(), st.chunks[i].begin(), st.chunks[i].end());
        out.far_offset = layout.far_offset;
        out.positions[s].push_back(layout.far_offset);
        continue;
      }
      out.positions[s].push_back(b.size());
      idx1.push_back({id, is_key(st, i) ? 0x10u : 0u, static_cast<std::uint32_t>(st.chunks[i].size()), b.size()});
      const std::size_t c = open_chunk(b, id);
      b.insert(b.end(), st.chunks[i].begin(), st.chunks[i].end());
      close_chunk(b, c);
    }
  }
  close_chunk(b, movi);
  if (odml) {
    for (std::size_t s = 0; s < layout.streams.size(); ++s) {
      const StreamLayout& st = layout.streams[s];
      char ixid[5];
      std::snprintf(ixid, sizeof ixid, "ix%02d", static_cast<int>(s));
      const std::size_t ix_start = b.size();
      const std::size_t ix = open_chunk(b, ixid);
      put16(b, 2);
      b.push_back(0);
      b.push_back(1);
      put32(b, static_cast<std::uint32_t>(st.chunks.size()));
      putcc(b, chunk_id(static_cast<int>(s), st.type));
      put64(b, 0);  // base offset: entries hold absolute data positions
      put32(b, 0);
      for (std::size_t i = 0; i < st.chunks.size(); ++i) {
        const std::uint64_t data = out.positions[s][i] + 8;
        // 32-bit offsets: a far chunk gets its own base through a second index.
        put32(b, static_cast<std::uint32_t>(data));
        put32(b, static_cast<std::uint32_t>(st.chunks[i].size()) | (is_key(st, i) ? 0u : 0x80000000u));
      }
      close_chunk(b, ix);
      if (far && s == 0) {
        // Rewrite as two standard indexes: the near chunks, then one with a 64-bit base.
        const std::size_t n = st.chunks.size();
        patch32(b, ix_start + 12, static_cast<std::uint32_t>(n - 1));
        b.resize(ix_start + 8 + 24 + (n - 1) * 8);
        patch32(b, ix_start + 4, static_cast<std::uint32_t>(b.size() - ix_start - 8));
        patch64(b, indx_at[s], ix_start);
        patch32(b, indx_at[s] + 8, static_cast<std::uint32_t>(b.size() - ix_start));
        patch32(b, indx_at[s] + 12, static_cast<std::uint32_t>(n - 1));
        const std::size_t ix2_start = b.size();
        const std::size_t ix2 = open_chunk(b, ixid);
        put16(b, 2);
        b.push_back(0);
        b.push_back(1);
        put32(b, 1);
        putcc(b, chunk_id(0, st.type));
        put64(b, layout.far_offset);
        put32(b, 0);
        put32(b, 8);
        put32(b, static_cast<std::uint32_t>(st.chunks[n - 1].size()));
        close_chunk(b, ix2);
        patch32(b, indx_at[s] - 20, 2);  // entries in use
        patch64(b, indx_at[s] + 16, ix2_start);
        patch32(b, indx_at[s] + 24, static_cast<std::uint32_t>(b.size() - ix2_start));
        patch32(b, indx_at[s] + 28, 1);
      } else {
        patch64(b, indx_at[s], ix_start);
        patch32(b, indx_at[s] + 8, static_cast<std::uint32_t>(b.size() - ix_start));
        patch32(b, indx_at[s] + 12, static_cast<std::uint32_t>(st.chunks.size()));
      }
    }
  }
  if (layout.index == Index::Idx1Absolute || layout.index == Index::Idx1Relative) {
    const std::size_t idx = open_chunk(b, "idx1");
    for (const Entry& e : idx1) {
      putcc(b, e.id);
      put32(b, e.flags);
      put32(b, static_cast<std::uint32_t>(layout.index == Index::Idx1Absolute ? e.pos : e.pos - out.movi_start + 4));
      put32(b, e.size);
    }
    close_chunk(b, idx);
  }
  close_chunk(b, riff);
  return out;
}

void write_bytes(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void write_file(const std::string& path, const BuiltAvi& avi) {
  write_bytes(path, avi.bytes);
  if (avi.far_chunk.empty()) return;
  const int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0 || ::pwrite(fd, avi.far_chunk.data(), avi.far_chunk.size(), static_cast<off_t>(avi.far_offset)) !=
                    static_cast<ssize_t>(avi.far_chunk.size()))
    throw std::runtime_error("cannot write far chunk");
  ::close(fd);
}

}  // namespace avi_test

namespace avi_test {

int write_seed_corpus(const std::string& folder) {
  int n = 0;
  const auto save = [&](const std::string& name, const Bytes& bytes) {
    write_bytes(folder + "/" + name, bytes);
    ++n;
  };
  AviLayout layout = two_stream_layout(6, 64);
  for (Index index : {Index::Idx1Absolute, Index::Idx1Relative, Index::OpenDml, Index::None}) {
    layout.index = index;
    save("seed" + std::to_string(n) + ".avi", build_avi(layout).bytes);
  }
  layout.index = Index::Idx1Absolute;
  layout.segm = "\x01next.avi";
  save("segm.avi", build_avi(layout).bytes);
  layout.segm.clear();
  layout.streams[0].compression = "MJPG";
  layout.streams[1].format_tag = 0x55;
  layout.streams[1].block_align = 1152;
  layout.index = Index::None;
  Bytes damaged = build_avi(layout).bytes;
  for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 9; ++i) damaged[i] ^= 0xA5;
  save("damaged.avi", damaged);
  return n;
}

}  // namespace avi_test
