#pragma once

#include <QWidget>
#include <vector>

class QPushButton;

namespace norvik::shell {

// One page of the main window: a widget that owns the page's controls,
// their layout and their handlers. The window shows one page at a time and
// keeps the default button that Enter presses.
class Page : public QWidget {
    Q_OBJECT
  public:
    // Made hidden; the window shows it with enter().
    explicit Page(QWidget* parent);

    // Shows the page as it is on entry, the focus in its first input.
    virtual void enter() = 0;
    // Hides the page.
    virtual void leave() { setVisible(false); }
    // The page's controls in the order Tab visits them.
    virtual std::vector<QWidget*> tabOrder() const = 0;

  signals:
    // Enter now presses `button`, drawn as the window's default.
    void defaultChosen(QPushButton* button);
};

}  // namespace norvik::shell
