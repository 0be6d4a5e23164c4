#include "shell/DefaultButton.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace norvik::shell {

void DefaultButton::choose(QPushButton* b) {
    if (button_ != nullptr && button_ != b) button_->setDefault(false);
    button_ = b;
    if (b != nullptr) b->setDefault(true);
}

void DefaultButton::watch(QWidget* root) {
    for (QLineEdit* e : root->findChildren<QLineEdit*>()) e->installEventFilter(this);
    for (QComboBox* c : root->findChildren<QComboBox*>()) c->installEventFilter(this);
    for (QToolButton* b : root->findChildren<QToolButton*>()) b->installEventFilter(this);
}

bool DefaultButton::press() {
    if (button_ == nullptr || !button_->isVisibleTo(button_->window()) || !button_->isEnabled())
        return false;
    button_->click();
    return true;
}

bool DefaultButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    auto* combo = qobject_cast<QComboBox*>(watched);
    if (combo == nullptr) combo = qobject_cast<QComboBox*>(watched->parent());
    if (combo != nullptr && combo->view()->isVisible()) return false;
    if (auto* icon = qobject_cast<QToolButton*>(watched)) {
        icon->click();
        return true;
    }
    return press();
}

}  // namespace norvik::shell
