#include "gui/colours.h"

#include <algorithm>
#include <cmath>

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

namespace {
double luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
  double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace qm
