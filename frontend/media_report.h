// The information report of a media file, read through a media-services
// object made for it and released at once.
#pragma once

#include <QString>

namespace kavrol {

class EngineBinding;

enum class MediaReport { kNoObject, kNotMedia, kRead };

// kNoObject when no media-services object could be made (or `binding` is
// null), kNotMedia when it does not open the file; `report` is set on kRead.
MediaReport read_media_report(const EngineBinding* binding, const QString& path, QString& report);

}  // namespace kavrol
