#pragma once

#include <QObject>
#include <array>
#include <vector>

class QColor;
class QHBoxLayout;
class QToolButton;
class QWidget;

namespace norvik::shell {

class PageIcon;

// The pages of the main window, in the order they are left when another one
// is shown.
enum class PageId { IpTranslation, Ping, Trace, Whois, Settings };

// The main window's icons, each with its words under it that do what the
// icon does: the page icons down the left on a tinted band (Settings at the
// top right), and the fixed icons About, Help and Quit at the top right. The
// page on show has its icon checked, for the eye and for assistive
// technology.
class PageIcons : public QObject {
    Q_OBJECT
  public:
    // Makes the icons as controls of `window`.
    explicit PageIcons(QWidget& window);

    // The band with the page icons, and the row of the fixed icons.
    QWidget* column() const { return column_; }
    QHBoxLayout* fixedRow() const { return fixedRow_; }
    // Marks `page` as the page on show.
    void mark(PageId page);
    // The page whose icon is checked; false when none is.
    bool marked(PageId* page) const;
    // The icons in the order Tab visits them.
    std::vector<QWidget*> tabOrder() const;
    // The band's colour and text, and the ink the icons are drawn in.
    void setColours(const QColor& band, const QColor& text, const QColor& ink);

  signals:
    void pageWanted(PageId page);
    void aboutWanted();
    void helpWanted();
    void quitWanted();

  private:
    QWidget* column_;
    QHBoxLayout* fixedRow_;
    std::array<PageIcon*, 5> pages_{};  // by PageId
    std::array<QToolButton*, 3> fixed_{};
};

}  // namespace norvik::shell
