#pragma once

#include <QString>

#include "platform/MessageBox.h"

class QWidget;

namespace norvik::platform {

// Message boxes through QMessageBox, always as plain text.
class QtMessageBox : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    Answer show(const std::string& text, const std::string& caption, Buttons buttons,
                Icon icon) override;

    void setParent(QWidget* parent) { parent_ = parent; }

    // The text as it is laid out on screen: each CR LF, LF CR, lone CR or
    // lone LF is one line break.
    static QString displayText(const std::string& text);

  private:
    QWidget* parent_;
};

}  // namespace norvik::platform
