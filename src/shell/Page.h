#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

class QLabel;
class QPushButton;

namespace norvik::shell {

// `w` named `name`, as the window's controls are known by.
template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

// `f` made `factor` times as large, and bold or not.
inline QFont scaled(QFont f, double factor, bool bold) {
    f.setPointSizeF(f.pointSizeF() * factor);
    f.setBold(bold);
    return f;
}

// The headings over the lower part of the window, shared by the pages.
struct Headings {
    QLabel* heading;
    QLabel* intro;
};

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
    // What the page shows lower in the window, under the shared headings;
    // null when nothing.
    virtual QWidget* resultsSection() const { return nullptr; }

  signals:
    // Enter now presses `button`, drawn as the window's default.
    void defaultChosen(QPushButton* button);
};

}  // namespace norvik::shell
