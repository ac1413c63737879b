#pragma once
// Message boxes. The desktop shows a real box; headless and scenario runs write a transcript line and answer with
// the default button, or with the answer a scenario preset.
#include <string>
#include <vector>

namespace qm {

enum class BoxIcon { None, Warning, Question, Information, Critical };
// YesNoDefaultNo: a question whose safe answer is No (the default button).
enum class BoxButtons { Ok, YesNo, YesNoDefaultNo };
enum class BoxAnswer { Ok, Yes, No };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Shows the box and waits for the answer. An empty title means the application's default title.
  virtual BoxAnswer show(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) = 0;
  // An Ok box with a picture beside the text (rows of pixels, true is dark: a QR code); a prompter that cannot show
  // pictures shows the text alone. `privateText` (a secret) is shown below the text only where a person reads the
  // box, and never written to the transcript or a log: a prompter without a screen leaves it out.
  virtual void showPicture(const std::string& text, const std::string& title, BoxIcon icon,
                           const std::vector<std::vector<bool>>& picture, const std::string& privateText = "") {
    (void)picture;
    (void)privateText;
    show(text, title, icon, BoxButtons::Ok);
  }
};

const char* iconName(BoxIcon icon);

}  // namespace qm
