// The conversion commands of the main window: what each one hands to the
// conversion dialog.
#pragma once

#include <optional>

#include <QString>
#include <QVector>

namespace kavrol {

// Conversion codes (ConvertMode).
enum ConvertCode : int {
  kAviToMpeg1 = 0,
  kAviToVcd = 1,
  kAviToMpeg2 = 2,
  kAviToSvcd = 3,
  kAviToDvd = 4,
  kMediaToAvi = 100,
  kMediaToDivx = 101,
};

struct ConversionCommand {
  QString title;          // also the menu caption
  int button;             // Button_CtrlN that starts it, 0 for menu only
  QString menu_name;      // the menu item's name
  std::optional<int> mode;  // ConvertMode; none leaves the previous one
  bool quicktime_route;
  QString open_filter;    // "description|pattern|..." pairs
  QString save_filter;
  QString default_extension;
};

// The nine commands in menu order.
const QVector<ConversionCommand>& conversion_commands();

// The command started by picture button `button`, or null.
const ConversionCommand* command_for_button(int button);

// "desc|pattern|desc|pattern" as Qt's name filters: "desc (pattern);;...".
QString qt_name_filters(const QString& pairs);

}  // namespace kavrol
