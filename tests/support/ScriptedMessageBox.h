#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace norvik::test {

// Records every box and answers from a script; with the script empty a
// Yes/No box is answered No and an OK box Ok.
class ScriptedMessageBox : public platform::MessageBox {
public:
    struct Shown {
        std::string text;
        std::string caption;
        platform::Buttons buttons;
        platform::Icon icon;
    };

    platform::Answer show(const std::string& text, const std::string& caption,
                          platform::Buttons buttons, platform::Icon icon) override {
        shown.push_back({text, caption, buttons, icon});
        if (!answers.empty()) {
            auto a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == platform::Buttons::YesNo ? platform::Answer::No : platform::Answer::Ok;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.text);
        return t;
    }

    std::deque<platform::Answer> answers;
    std::vector<Shown> shown;
};

}  // namespace norvik::test
