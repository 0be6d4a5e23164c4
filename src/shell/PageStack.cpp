#include "shell/PageStack.h"

#include <QComboBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/DefaultButton.h"
#include "shell/Page.h"
#include "shell/Widgets.h"

namespace norvik::shell {

namespace {

constexpr PageId kTabOrder[] = {PageId::Ping, PageId::IpTranslation, PageId::Trace, PageId::Whois,
                                PageId::Settings};

}  // namespace

PageStack::PageStack(QWidget& window, QWidget* canvas, Maker make, std::vector<QWidget*> icons)
    : QObject(&window),
      window_(window),
      canvas_(canvas),
      make_(std::move(make)),
      icons_(std::move(icons)),
      defaults_(new DefaultButton(this)),
      edges_(new InputEdges(this)),
      pageArea_(new QVBoxLayout),
      resultsArea_(new QVBoxLayout) {
    for (QVBoxLayout* area : {pageArea_, resultsArea_}) area->setSpacing(10);
    defaults_->watch(&window);
}

// Every box shows its edge; an editable box's text field carries the box's
// name for assistive technology; Enter presses the default button.
void PageStack::adopt(QWidget* root) {
    for (QLineEdit* e : root->findChildren<QLineEdit*>())
        if (e->hasFrame()) edges_->watch(e);
    for (QComboBox* c : root->findChildren<QComboBox*>()) {
        edges_->watch(c);
        if (c->lineEdit() != nullptr) c->lineEdit()->setAccessibleName(c->accessibleName());
    }
    defaults_->watch(root);
}

Page& PageStack::page(PageId id) {
    Page*& p = pages_[static_cast<std::size_t>(id)];
    if (p != nullptr) return *p;
    p = make_(id, canvas_);
    pageArea_->addWidget(p);
    connect(p, &Page::defaultChosen, defaults_, &DefaultButton::choose);
    adopt(p);
    if (QWidget* results = p->resultsSection()) {
        resultsArea_->addWidget(results, 1);
        adopt(results);
    }
    std::vector<QWidget*> order;
    for (PageId built : kTabOrder) {
        if (pages_[static_cast<std::size_t>(built)] == nullptr) continue;
        const std::vector<QWidget*> more = pages_[static_cast<std::size_t>(built)]->tabOrder();
        order.insert(order.end(), more.begin(), more.end());
    }
    order.insert(order.end(), icons_.begin(), icons_.end());
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    emit pageBuilt(id);
    return *p;
}

void PageStack::show(PageId id) {
    for (Page* p : pages_)
        if (p != nullptr) p->leave();
    Page& shown = page(id);
    emit entering(id);
    shown.enter();
}

QPushButton* PageStack::defaultButton() const { return defaults_->button(); }

}  // namespace norvik::shell
