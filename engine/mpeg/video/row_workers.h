// The macroblock rows of a picture shared out among worker threads, for the
// stages where every macroblock depends only on the pictures: motion search,
// prediction and forward transform, reconstruction. Which thread takes a row
// does not change what the row produces.
#pragma once

#include <functional>

namespace corvexa::mpeg::video {

struct VideoEncoder;

// Workers for a picture of `rows` rows: the context's motion_threads, or one
// per processor core; at least one, at most one per row.
int row_workers(const VideoEncoder& e, int rows);

// Calls row(worker, j) once for every j in [0, rows), rows taken in order one
// at a time by `workers` threads, worker 0 being the caller. Once a call
// returns false no further row is started, and the result is false. Fewer
// threads run when the system gives no more.
bool for_each_row(int workers, int rows, const std::function<bool(int worker, int row)>& row);

}  // namespace corvexa::mpeg::video
