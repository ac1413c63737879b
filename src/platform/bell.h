#pragma once
// The system beep.
namespace qm {

class Bell {
 public:
  virtual ~Bell() = default;
  virtual void beep() = 0;
};

}  // namespace qm
