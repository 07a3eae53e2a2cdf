#include "output_naming.h"

#include <QFileInfo>

#include "conversion_commands.h"

namespace kavrol {
namespace {

QString upper_extension(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const qsizetype dot = name.lastIndexOf('.');
  return dot < 0 ? QString() : name.mid(dot).toUpper();
}

}  // namespace

bool has_quicktime_extension(const QString& path) {
  const QString ext = upper_extension(path);
  return ext == ".MOV" || ext == ".MP4" || ext == ".SWF";
}

bool refused_under_divx(const QString& path) {
  const QString ext = upper_extension(path);
  return ext == ".MOV" || ext == ".SWF";
}

OutputNaming name_output(const QString& input, bool input_exists, const QString& title,
                         int mode, bool quicktime_route, int state) {
  OutputNaming naming;
  naming.quicktime_route = quicktime_route;
  if (!input_exists) return naming;
  if (state == 0 && mode == kMediaToAvi && !quicktime_route) {
    naming.quicktime_route = has_quicktime_extension(input);
  }
  if (naming.quicktime_route) {
    naming.named = true;
    naming.output = input + ".avi";
    return naming;
  }
  const QString head = title.left(3);
  if (head == "AVI") {
    naming.named = true;
    naming.output = input + ".mpg";
  } else if (head == "ALL") {
    naming.named = true;
    naming.output = input + ".avi";
  }
  return naming;
}

}  // namespace kavrol
