#pragma once

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

namespace norvik::shell {

// The icon of a resource under :/icons, by its file name without ".svg".
QIcon NamedIcon(const char* name);

// A label named `name` that shows its text as plain text, never as rich text.
QLabel* plainLabel(const QString& text, const char* name, QWidget* parent);
// A push button named `name` that Enter presses only when it is the window's
// default button.
QPushButton* button(const QString& text, const char* name, QWidget* parent);

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

  private:
    bool pressed_ = false;
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
