#pragma once

#include <QObject>

class QPushButton;
class QWidget;

namespace norvik::shell {

// The window's default button: the one drawn as the default is always the
// one Enter presses in a single-line box. No button becomes the default by
// taking the focus (none is an auto-default), so the focus mark and the
// default mark stay apart.
class DefaultButton : public QObject {
  public:
    using QObject::QObject;

    void choose(QPushButton* button);
    QPushButton* button() const { return button_; }
    // Enter in the line edits and combo boxes under `root` presses the
    // default button (an open list takes its own Enter); Enter on an icon
    // works as Space does.
    void watch(QWidget* root);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool press();

    QPushButton* button_ = nullptr;
};

}  // namespace norvik::shell
