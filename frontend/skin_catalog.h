// Skin folders and their "skin.ini": which skins exist, which comes next,
// and where each button goes.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace kavrol {

// One line of the "Controls" section: N=left,top.
struct ControlPlacement {
  int number = 0;
  int left = 0;
  int top = 0;
  bool operator==(const ControlPlacement&) const = default;
};

inline constexpr int kControlsSectionChars = 10000;
inline constexpr int kControlsMaxLines = 1000;

// A decimal integer read the C way from at most the first 79 characters:
// leading blanks, a sign, digits; 0 when there are none.
int read_decimal(QStringView text);

// Splits each line at "=" and the "," after it; at most the first 1000 lines.
QVector<ControlPlacement> parse_controls(const QStringList& lines);

// The "Controls" lines of the skin.ini in `folder`.
QVector<ControlPlacement> read_skin_controls(const QString& folder);

// The picture a button takes its faces from: button 11 uses "ctrl12.bmp".
int button_picture_number(int button);

// Skin numbers 0, 1, ... while their folders exist (SKIN0, SKIN1, ...).
QVector<int> available_skins();

// The skin that "ChangeSkin" moves to from `current`: the next folder when it
// exists, otherwise 0.
int next_skin(int current);

}  // namespace kavrol
