#include "platform/prompter.h"

namespace qm {

const char* iconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::None:
      return "none";
    case BoxIcon::Warning:
      return "warning";
    case BoxIcon::Question:
      return "question";
    case BoxIcon::Information:
      return "information";
    case BoxIcon::Critical:
      return "critical";
  }
  return "none";
}

}  // namespace qm
