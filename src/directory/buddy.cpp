#include "directory/buddy.h"

#include "app/program.h"

namespace qm {

Buddy::Buddy(Program& program) : Window(program.registry(), "Buddy", "Buddy Phone / Skype Names"), program_(program) {}

void Buddy::Form_Load() {}

void Buddy::closeRequest() {
  program_.unloadBuddy();
}

}  // namespace qm
