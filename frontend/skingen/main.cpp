// kavrol-skingen OUTPUT_FOLDER: draws the program's skins and icon.
#include <cstdio>

#include <QGuiApplication>

#include "skins.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kavrol-skingen OUTPUT_FOLDER\n");
    return 2;
  }
  if (!skingen::write_skins(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "kavrol-skingen: cannot write the skins into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
