#include "radio/carrier_timeout.h"

namespace qm::radio {

CarrierTimeout::Change CarrierTimeout::update(bool heard, Clock::time_point now) {
  if (heard && !heard_) since_ = now;
  heard_ = heard;
  if (!heard && cut_) {
    cut_ = false;
    return Change::Dropped;
  }
  if (heard && !cut_ && limit_.count() > 0 && now - since_ >= limit_) {
    cut_ = true;
    return Change::Cut;
  }
  return Change::None;
}

}  // namespace qm::radio
