// kavrol-cli info: the information report of each file, as the desktop
// program's information window shows it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "corvexa/media_player.h"
#include "engine_library.h"
#include "info_command.h"

namespace kavrol {

namespace {

// The engine writes CR LF; a terminal wants LF.
std::string with_lf(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p)
    if (!(p[0] == '\r' && p[1] == '\n')) out += *p;
  return out;
}

}  // namespace

int run_info(int argc, char** argv, const char* usage) {
  bool raw = false;
  std::vector<std::string> inputs;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--crlf") {
      raw = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "kavrol-cli: unknown option '%s'\n%s", a.c_str(), usage);
      return 2;
    } else {
      inputs.push_back(a);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "kavrol-cli: info needs a file\n%s", usage);
    return 2;
  }
  EngineLibrary engine;
  if (!engine.load()) {
    std::fprintf(stderr, "kavrol-cli: %s\n", engine.error().c_str());
    return 1;
  }
  auto* player = static_cast<corvexa::MediaPlayer*>(engine.heap_factory("MEDIAPLAYDLL")());
  if (player == nullptr) {
    std::fprintf(stderr, "kavrol-cli: the engine could not describe media\n");
    return 1;
  }
  int status = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (inputs.size() > 1) std::printf("%s==> %s <==\n", i > 0 ? "\n" : "", inputs[i].c_str());
    if (!player->OpenInfo(inputs[i].c_str())) {
      status = 1;
      if (std::strlen(player->InfoText()) == 0) {
        std::fprintf(stderr, "kavrol-cli: %s: path too long\n", inputs[i].c_str());
        continue;
      }
    }
    const char* text = player->InfoText();
    std::fputs(raw ? text : with_lf(text).c_str(), stdout);
    player->CloseInfo();
  }
  player->Release();
  return status;
}

}  // namespace kavrol
