// The reader's error family. Raised inside the AVI reader only; every object
// interface turns them into null, false or a result code.
#pragma once

#include <string>

namespace corvexa::avi {

class ReaderError {
 public:
  // printf-style text, cut to 1023 characters.
  explicit ReaderError(const char* format, ...) __attribute__((format(printf, 2, 3)));
  virtual ~ReaderError() = default;
  const char* what() const { return text_.c_str(); }

 protected:
  ReaderError() = default;
  void set_text(std::string text);

 private:
  std::string text_;
};

class ReaderMemoryError : public ReaderError {
 public:
  ReaderMemoryError();
};

class ReaderInternalError : public ReaderError {
 public:
  explicit ReaderInternalError(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

// The template is formatted with its arguments (each "%%s" becomes "%s"), then
// the system's message for `error` takes the place of that "%s".
class ReaderSystemError : public ReaderError {
 public:
  ReaderSystemError(int error, const char* format, ...) __attribute__((format(printf, 3, 4)));
};

}  // namespace corvexa::avi
