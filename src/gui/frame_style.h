#pragma once
// Frames drawn as the window system draws them: a thin line round the frame with the caption set into its top
// edge, so that controls placed in twips from the frame's top sit where their designer put them.
#include <QProxyStyle>

namespace qm {

class FrameStyle : public QProxyStyle {
 public:
  FrameStyle();
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                       const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override;

  // The one instance the frames share.
  static FrameStyle* instance();
};

}  // namespace qm
