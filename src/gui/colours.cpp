#include "gui/colours.h"

namespace qm {

std::optional<QPalette::ColorRole> systemColourRole(Colour c) {
  if ((c & 0x80000000) == 0) return std::nullopt;
  switch (c & 0xFF) {
    case 0x01:  // desktop
    case 0x04:  // menu
    case 0x0F:  // button face
    case 0x0C:  // application workspace
      return QPalette::Window;
    case 0x05:  // window background
      return QPalette::Base;
    case 0x07:  // menu text
    case 0x08:  // window text
      return QPalette::WindowText;
    case 0x12:  // button text
      return QPalette::ButtonText;
    case 0x0D:  // highlight
      return QPalette::Highlight;
    case 0x0E:  // highlighted text
      return QPalette::HighlightedText;
    case 0x10:  // button shadow
      return QPalette::Mid;
    case 0x11:  // grey text
      return QPalette::PlaceholderText;
    case 0x14:  // button highlight
      return QPalette::Light;
    case 0x15:  // 3D dark shadow
      return QPalette::Shadow;
    case 0x16:  // 3D light
      return QPalette::Midlight;
    case 0x17:  // info text
      return QPalette::ToolTipText;
    case 0x18:  // info background
      return QPalette::ToolTipBase;
    default:
      return std::nullopt;
  }
}

QColor resolveColour(Colour c, const QPalette& palette) {
  if (c & 0x80000000) {
    auto role = systemColourRole(c);
    return palette.color(QPalette::Active, role.value_or(QPalette::Window));
  }
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

}  // namespace qm
