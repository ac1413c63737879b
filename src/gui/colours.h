#pragma once
// The window system's colour numbers on Qt: 0x00BBGGRR is a plain colour; a number with the top bit set names a
// system colour by its index in the low byte, which maps onto the role of the Qt palette that plays the same part.
#include <QColor>
#include <QPalette>
#include <optional>

#include "platform/control.h"

namespace qm {

// The palette role of a system colour; nothing for a plain colour or an unknown index.
std::optional<QPalette::ColorRole> systemColourRole(Colour c);
// The colour to paint: a plain colour as it is, a system colour from `palette`.
QColor resolveColour(Colour c, const QPalette& palette);
// The contrast ratio of two colours as the web's accessibility guidelines define it: 1 (none) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace qm
