// Small media files for the media tests: AVIs from our writer, everything
// else from the ffmpeg tool, made once per test program.
#pragma once

#include <memory>
#include <string>

#include "core/factory.h"
#include "corvexa/object.h"

namespace media_test {

// An engine object of one kind, released when it goes.
template <class Kind>
struct Releaser {
  void operator()(Kind* p) const { corvexa::ReleaseObject(p); }
};
template <class Kind>
using Owned = std::unique_ptr<Kind, Releaser<Kind>>;
template <class Kind>
Owned<Kind> make_object(corvexa::core::KindConstructor construct) {
  return Owned<Kind>(static_cast<Kind*>(corvexa::core::make_heap_object(construct)));
}

// Writes `text` into the file `path`; false when it cannot.
bool write_text_file(const std::string& path, const std::string& text);

// The file `name` made with `ffmpeg -y ARGS name` in a folder shared by the
// tests of this program; empty when ffmpeg could not make it.
std::string ffmpeg_fixture(const std::string& name, const std::string& args);

// Inputs for ffmpeg_fixture: a 2-second 160x120 test picture at 25 fps, and
// a 2-second 440 Hz tone at 44100 Hz.
extern const char* const kTestPicture;
extern const char* const kTestTone;

// A raw 24-bit AVI of `frames` frames at 25 fps, 32x24, with 44100 Hz
// stereo PCM when `with_sound`.
std::string raw_avi_fixture(const std::string& name, int frames, bool with_sound);

// Output of a shell command.
std::string command_output(const std::string& command, int* status = nullptr);

}  // namespace media_test
