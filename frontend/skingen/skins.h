// The three skins shipped with the program, and the program's icon.
#pragma once

#include <QString>

namespace skingen {

// Writes SKIN0, SKIN1 and SKIN2 (face.bmp, ctrl1..ctrl10.bmp, ctrl12.bmp,
// skin.ini, welcome.bmp) and kavrol.png into `folder`. False on a write error.
bool write_skins(const QString& folder);

}  // namespace skingen
