// The conversion dialog's own pictures: its 320 x 120 background (magenta
// outside the outline) and the faces of its buttons, drawn here rather than
// stored as files.
#pragma once

#include <QImage>
#include <QString>

namespace kavrol {

QImage convert_background();
// A row of `count` faces of `width` x `height`: normal, pressed, hot (and a
// fourth, disabled, when asked), each showing `symbol`.
QImage button_faces(int width, int height, int count, const QString& symbol);
// The 16 x 16 folder glyph of the browse buttons.
QImage folder_glyph();

}  // namespace kavrol
