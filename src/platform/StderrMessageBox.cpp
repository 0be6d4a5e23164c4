#include "platform/StderrMessageBox.h"

#include <ostream>
#include <string>

namespace norvik::platform {

Answer StderrMessageBox::show(const std::string& text, const std::string& caption, Buttons buttons,
                              Icon) {
    ++shown_;
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        shown += text[i];
    }
    out_ << caption << ": " << shown << '\n';
    if (buttons == Buttons::Ok) {
        out_.flush();
        return Answer::Ok;
    }
    const Answer answer = yesNoAnswer_ == Answer::Yes ? Answer::Yes : Answer::No;
    out_ << "[Yes/No] " << (answer == Answer::Yes ? "Yes" : "No") << std::endl;
    return answer;
}

}  // namespace norvik::platform
