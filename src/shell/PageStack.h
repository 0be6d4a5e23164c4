#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <vector>

#include "shell/PageIcons.h"

class QPushButton;
class QVBoxLayout;
class QWidget;

namespace norvik::shell {

class DefaultButton;
class InputEdges;
class Page;

// The pages of the main window, one on show at a time, each built when
// first wanted: the page above the shared headings, what it shows lower
// down below them. Tab goes through the built pages' controls, then the
// window's icons; Enter presses the default button the page on show chose.
class PageStack : public QObject {
    Q_OBJECT
  public:
    // Makes a page as a child of `parent`.
    using Maker = std::function<Page*(PageId page, QWidget* parent)>;

    // `canvas` holds the pages; `icons` come after them for Tab.
    PageStack(QWidget& window, QWidget* canvas, Maker make, std::vector<QWidget*> icons);

    QVBoxLayout* pageArea() const { return pageArea_; }
    QVBoxLayout* resultsArea() const { return resultsArea_; }
    // The page, built if it was not yet.
    Page& page(PageId page);
    bool built(PageId page) const { return pages_[static_cast<std::size_t>(page)] != nullptr; }
    // Leaves every built page and enters `page`.
    void show(PageId page);
    QPushButton* defaultButton() const;

  signals:
    void pageBuilt(PageId page);
    // `page` is about to be entered.
    void entering(PageId page);

  private:
    void adopt(QWidget* root);

    QWidget& window_;
    QWidget* canvas_;
    Maker make_;
    std::vector<QWidget*> icons_;
    DefaultButton* defaults_;
    InputEdges* edges_;
    QVBoxLayout* pageArea_;
    QVBoxLayout* resultsArea_;
    std::array<Page*, 5> pages_{};  // by PageId
};

}  // namespace norvik::shell
