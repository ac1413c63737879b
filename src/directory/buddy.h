#pragma once
// The buddy directory: thirty speed-dial entries on two pages, kept in quillmere_buddy.ini in the program folder.
#include "platform/window.h"

namespace qm {

class Program;

class Buddy : public Window {
 public:
  explicit Buddy(Program& program);
  void Form_Load();
  void closeRequest() override;  // unloads the window; the next touch loads it again from the file

 private:
  Program& program_;
};

}  // namespace qm
