// The media-to-AVI job's messages, passed to its sink's OnError as they stand.
#pragma once

namespace corvexa::media {

inline constexpr char kNotMedia[] = "Not input media File or invalidate format media file!";
inline constexpr char kNoOutputName[] = "Must set the output file name.";
inline constexpr char kCannotCreate[] =
    "Can not create the output file ,please check the output file 's path.";
inline constexpr char kNoStreams[] =
    "There is not audio or video stream in this media file,can not convert!";
inline constexpr char kNoMuxer[] =
    "Can not create the avi AUX filter,please check the FFmpeg libraries install.";
inline constexpr char kCannotWrite[] =
    "Can not connect with write filter,can not continue operations.";
inline constexpr char kRunFailed[] = "Occure an error when converting media file,have to stop.";
inline constexpr char kAudioFailed[] = "Can not use Audio compressor!";
inline constexpr char kVideoFailed[] = "Can not use Video compressor!";
// A range that starts at or after the source's end.
inline constexpr char kEmptyRange[] =
    "The start time is not before the end of the media file, nothing to convert.";

}  // namespace corvexa::media
