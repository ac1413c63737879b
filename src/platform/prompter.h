#pragma once
// Message boxes. The desktop shows a real box; headless and scenario runs write a transcript line and answer with
// the default button, or with the answer a scenario preset.
#include <string>

namespace qm {

enum class BoxIcon { None, Warning, Question, Information, Critical };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows the box and waits for the answer. An empty title means the application's default title.
  virtual BoxAnswer show(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) = 0;
};

const char* iconName(BoxIcon icon);

}  // namespace qm
