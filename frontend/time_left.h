// An estimate of the time a conversion still needs, from how long the
// percentage reached so far took.
#pragma once

#include <cstdint>

#include <QString>

namespace kavrol {

// `elapsed_ms` since the start for `value` (percent x 100, 0..10000) done;
// empty until there is enough to go on (1% and one second) and at the end.
QString time_left_text(std::int64_t elapsed_ms, std::int32_t value);

}  // namespace kavrol
