// QuickTime, MP4 and Flash inputs of to-avi go through libLumaport.so, as
// the desktop program's "ALL to AVI" sends them.
#pragma once

#include <functional>
#include <string>

namespace kavrol {

class QuickTimeRoute {
 public:
  QuickTimeRoute() = default;
  ~QuickTimeRoute();
  QuickTimeRoute(const QuickTimeRoute&) = delete;
  QuickTimeRoute& operator=(const QuickTimeRoute&) = delete;

  // True when the library beside the program loads and, by its content,
  // takes `input`.
  bool takes(const std::string& input);
  // Converts one input; `progress` hears percent x 100 until the end. The
  // exit status: 0 completed, 1 failed, 130 stopped through `stop`.
  int convert(const std::string& input, const std::string& output, const std::function<bool()>& stop,
              const std::function<void(int)>& progress);

 private:
  bool load();
  void* handle_ = nullptr;
  bool tried_ = false;
};

}  // namespace kavrol
