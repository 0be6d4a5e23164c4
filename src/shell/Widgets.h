#pragma once

#include <QColor>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <string>
#include <vector>

namespace norvik::shell {

// The icon of a resource under :/icons, by its file name without ".svg".
QIcon NamedIcon(const char* name);
// The same drawing in one colour: its shape filled with `colour`, drawn
// afresh at the size and device pixel ratio it is shown at.
QIcon TintedIcon(const char* name, const QColor& colour);

// The contrast of two colours by their relative luminance (WCAG 2.1), from
// 1 (the same) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b);
// `wanted` as it is when it stands at least `ratio`:1 against every colour
// of `backs`; else moved towards black or white (whichever stands out more)
// just as far as it must.
QColor Readable(const QColor& wanted, std::initializer_list<QColor> backs, double ratio);

// Draws the edge of a text box, list or combo box (each given to
// watch()) over the frame the style drew, in a colour that stands 3:1
// against the surface around the box and the box's own base: the
// palette's highlight while the box has the focus, else the surface's
// colour, each made darker or lighter as far as it must. Styles draw these
// edges too faint for many palettes, dark ones among them.
class InputEdges : public QObject {
  public:
    using QObject::QObject;
    void watch(QWidget* input);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A label named `name` that shows its text as plain text, never as rich text.
QLabel* plainLabel(const QString& text, const char* name, QWidget* parent);
// A push button named `name` that Enter presses only when it is the window's
// default button.
QPushButton* button(const QString& text, const char* name, QWidget* parent);
// An editable combo box named `name` whose list only the program adds to.
QComboBox* editableCombo(const char* name, QWidget* parent);
// The texts of a combo box's list, in order.
std::vector<std::string> comboItems(const QComboBox* box);
// Adds `text` to the list of an editable combo box and keeps what is typed
// (adding to an empty list would pick the item).
void appendKeepingTyped(QComboBox* box, const std::string& text);

// A label that reacts to a click like a button: it emits clicked() when the
// left button is pressed and released over it, or when it has the keyboard
// focus and Space or Enter is pressed. Its text is always plain text.
class ClickLabel : public QLabel {
    Q_OBJECT
  public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    friend ClickLabel* linkLabel(const QString&, const char*, QWidget*);
    void inkLink();

    bool pressed_ = false;
    bool link_ = false;
};

// A ClickLabel named `name` that looks like a link (underlined, in the
// palette's link colour, a pointing hand over it) and takes Tab focus.
ClickLabel* linkLabel(const QString& text, const char* name, QWidget* parent);

// A page icon: a checkable tool button that reads checked while its page is
// on show. Only the program sets that state (mark()). Every way of invoking
// the icon (a click, Space, its accessible "Press" or "Toggle") leaves the
// state as it is and emits invoked(), which shows the page.
class PageIcon : public QToolButton {
    Q_OBJECT
  public:
    explicit PageIcon(QWidget* parent = nullptr);
    void mark(bool onShow);

  signals:
    void invoked();

  protected:
    void nextCheckState() override {}

  private:
    bool marking_ = false;
};

// Tells assistive technology that a status line now shows other text.
void Announce(QLabel* status);

// A picture box: paints one icon scaled into its rectangle, sharp at any
// device pixel ratio.
class IconView : public QWidget {
    Q_OBJECT
  public:
    explicit IconView(int extent, QWidget* parent = nullptr);

    void setIcon(const QIcon& icon, const QString& name);
    const QIcon& icon() const { return icon_; }
    // The resource name of the icon on show ("tick", "cross", ...).
    const QString& iconName() const { return name_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    int extent_;
    QIcon icon_;
    QString name_;
};

}  // namespace norvik::shell
