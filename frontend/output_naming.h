// How the conversion dialog names the output from the input, and which
// inputs go through the QuickTime route or are refused under "ALL to DivX".
#pragma once

#include <QString>

namespace kavrol {

struct OutputNaming {
  bool quicktime_route = false;  // the route after this input
  bool named = false;            // whether the output edit is to be set
  QString output;
};

// `input_exists`: the input edit names an existing file. `state` is the
// dialog's ConvertState. Titles are compared on their first three
// characters; the input keeps its own extension ("clip.avi.mpg").
OutputNaming name_output(const QString& input, bool input_exists, const QString& title,
                         int mode, bool quicktime_route, int state);

// ".MOV", ".MP4" or ".SWF" in any case: a QuickTime or Flash file.
bool has_quicktime_extension(const QString& path);

// ".MOV" or ".SWF": refused under "ALL to DivX" with the "All to AVI" hint.
bool refused_under_divx(const QString& path);

}  // namespace kavrol
