#include "platform/StderrMessageBox.h"

#include <ostream>
#include <string>

#include "platform/Text.h"

namespace norvik::platform {

Answer StderrMessageBox::show(const std::string& text, const std::string& caption, Buttons buttons,
                              Icon) {
    ++shown_;
    out_ << caption << ": " << CrLfToLf(text) << '\n';
    if (buttons == Buttons::Ok) {
        out_.flush();
        return Answer::Ok;
    }
    const Answer answer = yesNoAnswer_ == Answer::Yes ? Answer::Yes : Answer::No;
    out_ << "[Yes/No] " << (answer == Answer::Yes ? "Yes" : "No") << std::endl;
    return answer;
}

}  // namespace norvik::platform
