// Writes the AVI fuzzer's seed corpus: seed_writer FOLDER
#include <cstdio>
#include <filesystem>

#include "avi_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  std::printf("%d seed files\n", avi_test::write_seed_corpus(argv[1]));
  return 0;
}
