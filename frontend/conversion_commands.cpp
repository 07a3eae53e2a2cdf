#include "conversion_commands.h"

#include <QStringList>

namespace kavrol {

const QVector<ConversionCommand>& conversion_commands() {
  static const QString kAviMpg = "*.mpg|*.mpg|*.*|*.*";
  static const QVector<ConversionCommand> commands = {
      {"AVI to MPG1", 1, "AVItoMPEG11", kAviToMpeg1, false, "*.avi|*.avi|*.*|*.*", kAviMpg, "mpg"},
      {"AVI to MPG2", 2, "AVItoMPEG21", kAviToMpeg2, false, "*.avi|*.avi|*.*|*.*", kAviMpg, "mpg"},
      {"AVI to VCD", 3, "AVItoVCD1", kAviToVcd, false, "*.AVI|*.AVI|*.*|*.*", kAviMpg, "mpg"},
      {"AVI to DVD", 4, "AVItoDVD1", kAviToDvd, false, "*.AVI|*.AVI|*.*|*.*",
       "*.MPG|*.MPG|*.*|*.*", "mpg"},
      {"AVI to SVCD", 0, "ALLtoSVCD1", kAviToSvcd, false, "*.avi|*.avi|*.*|*.*", kAviMpg, "mpg"},
      {"ALL to DivX", 5, "ALLtoDIVX1", kMediaToDivx, false,
       "All Files|*.*|*.AVI|*.AVI|*.SWF|*.SWF|*.WMV|*.WMV|*.ASF|*.ASF|*.MPG|*.MPG|*.MOV|*.MOV|"
       "*.MP4|*.MP4",
       "*.AVI|*.AVI", "avi"},
      {"ALL to AVI", 6, "ALLtoAVI1", kMediaToAvi, false,
       "All Files|*.*|*.SWF|*.SWF|*.WMV|*.WMV|*.ASF|*.ASF|*.MPG|*.MPG|*.MOV|*.MOV|*.MP4|*.MP4",
       "*.AVI|*.AVI", "avi"},
      {"MOV to AVI", 0, "MOVtoAVI1", std::nullopt, true, "*.MOV|*.MOV|*.*|*.*",
       "*.AVI|*.AVI|*.*|*.*", "AVI"},
      {"SWF to AVI", 0, "SWFtoAVI1", std::nullopt, true, "*.SWF|*.SWF|*.*|*.*",
       "*.AVI|*.AVI|*.*|*.*", "AVI"},
  };
  return commands;
}

const ConversionCommand* command_for_button(int button) {
  if (button <= 0) return nullptr;
  for (const ConversionCommand& command : conversion_commands()) {
    if (command.button == button) return &command;
  }
  return nullptr;
}

QString qt_name_filters(const QString& pairs) {
  const QStringList parts = pairs.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    // Patterns may list several globs separated by ';'.
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters.join(";;");
}

}  // namespace kavrol
