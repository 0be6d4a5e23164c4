#pragma once

#include <iosfwd>

#include "platform/MessageBox.h"

namespace norvik::platform {

// Message boxes for a program without windows: each box is written as one
// "caption: text" line to a stream (CR LF in the text becomes a line break).
// Nobody is asked: an OK box answers Ok, a Yes/No box the answer given here.
class StderrMessageBox : public MessageBox {
  public:
    explicit StderrMessageBox(std::ostream& out, Answer yesNoAnswer = Answer::No)
        : out_(out), yesNoAnswer_(yesNoAnswer) {}

    Answer show(const std::string& text, const std::string& caption, Buttons buttons,
                Icon icon) override;

    // How many boxes were shown so far.
    int shownCount() const { return shown_; }

  private:
    std::ostream& out_;
    Answer yesNoAnswer_;
    int shown_ = 0;
};

}  // namespace norvik::platform
