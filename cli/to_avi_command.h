// kavrol-cli to-avi INPUT... and kavrol-cli codecs.
#pragma once

namespace kavrol {

// Converts each input into an AVI file with the media-to-AVI job.
int run_to_avi(int argc, char** argv, const char* usage);
// Lists the video and audio compressors an AVI can be written with.
int run_codecs(int argc, char** argv, const char* usage);

}  // namespace kavrol
