#pragma once
// The courtesy window: courtesy letters with hang time and anti-kerchunk, the status displays, the CW identifier,
// and their settings in the machine-wide quillmere_courtsey.ini.
#include <memory>

#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;

class Form21 : public Window {
 public:
  explicit Form21(Program& program);
  ~Form21() override;
  void Form_Load();
  void closeRequest() override;  // closing this window ends the program

 private:
  Program& program_;
  std::unique_ptr<EchoLinkApp> EchoLink;
};

}  // namespace qm
