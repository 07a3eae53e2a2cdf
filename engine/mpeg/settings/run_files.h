// Names and lifetime of the files a run writes. Intermediate files (the
// elementary streams, units, scan-offset and max-bitrate files) and the
// program files themselves are created beside the output under names of
// their own, ".kavrol-<pid>-<random><tag>", made with O_EXCL: such a name can
// never be the input, the output or a file the user keeps in that folder.
// Program files take their real names only once the run has succeeded, so a
// failed or stopped run leaves an earlier output as it was.
#pragma once

#include <string>
#include <vector>

namespace corvexa::mpeg {

// The start of every name this process gives its temporary files.
std::string temporary_prefix();

// Creates a new empty file in `folder` under a fresh unique name ending in
// `tag` (".m2v", ".units"...), open for reading and writing. Returns its
// descriptor (close-on-exec) and sets `path`; -1 on failure (errno set).
int create_unique_file(const std::string& folder, const std::string& tag, std::string& path);

// Folder part of a path ("." when none, "/" for the root).
std::string folder_of(const std::string& path);

// A program file written under a temporary name, and the name it is for.
struct PendingOutput {
  std::string temporary;
  std::string final_name;
};

// Renames every pending file onto its final name; on the first failure the
// rest are removed and `failed` names the file that could not be renamed.
bool commit_outputs(std::vector<PendingOutput>& outputs, std::string& failed);
// Removes every pending file.
void discard_outputs(std::vector<PendingOutput>& outputs);

}  // namespace corvexa::mpeg
