#include "avi/reader_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace corvexa::avi {

namespace {

constexpr std::size_t kMaxText = 1023;

std::string vformat(const char* format, va_list args) {
  char buffer[kMaxText + 1];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return buffer;
}

// The system's text for an errno, at most 127 characters, no line break.
std::string system_message(int error) {
  char buffer[128];
  const char* text = strerror_r(error, buffer, sizeof buffer);
  std::string message(text);
  if (message.size() > 127) message.resize(127);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message;
}

}  // namespace

ReaderError::ReaderError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  set_text(vformat(format, args));
  va_end(args);
}

void ReaderError::set_text(std::string text) {
  if (text.size() > kMaxText) text.resize(kMaxText);
  text_ = std::move(text);
}

ReaderMemoryError::ReaderMemoryError() { set_text("Out of memory"); }

ReaderInternalError::ReaderInternalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  set_text("Internal error: " + vformat(format, args));
  va_end(args);
}

ReaderSystemError::ReaderSystemError(int error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = vformat(format, args);
  va_end(args);
  // The placeholder is the last "%s": a file name may itself contain one.
  const std::size_t at = text.rfind("%s");
  if (at != std::string::npos) text.replace(at, 2, system_message(error));
  set_text(std::move(text));
}

}  // namespace corvexa::avi
