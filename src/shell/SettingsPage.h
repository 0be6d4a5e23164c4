#pragma once

#include <array>
#include <functional>

#include "platform/MessageBox.h"
#include "shell/Page.h"
#include "store/Registry.h"

class QCheckBox;
class QColor;
class QFrame;
class QLabel;
class QListWidget;

namespace norvik::shell {

// The Settings page: which optional reply fields the Ping page shows,
// whether the session is remembered on exit, and the removal of stored
// addresses from the session list. Every box is stored the moment it
// changes.
class SettingsPage : public Page {
    Q_OBJECT
  public:
    // The choices of the page's check boxes.
    enum class Choice { DisplayAddress, DisplayPacketSize, DisplayDataPointer, RememberOnExit };

    // `ended` tells whether the program has ended; the removal buttons then
    // do nothing.
    SettingsPage(store::Registry& reg, platform::MessageBox& boxes, std::function<bool()> ended,
                 QWidget* parent);

    void enter() override;
    std::vector<QWidget*> tabOrder() const override;

    // Ticks or clears a box; this counts as a click, so the choice is
    // stored.
    void setChoice(Choice choice, bool on);
    // True when the box is plainly ticked.
    bool chosen(Choice choice) const;
    // The colours of the two framed surfaces of the page.
    void setSurfaceColours(const QColor& surface, const QColor& text);

  private:
    void storeChoice(Choice choice);
    void removeAll();
    void removeSelected();
    void listSession();

    store::Registry& reg_;
    platform::MessageBox& boxes_;
    std::function<bool()> ended_;
    QFrame* displayPanel_;
    QLabel* displayTitle_;
    std::array<QCheckBox*, 4> choiceBoxes_{};  // by Choice
    QFrame* sessionPanel_;
    QLabel* sessionTitle_;
    QListWidget* sessionList_;
    QPushButton* removeSelectedButton_;
    QPushButton* removeAllButton_;
    QLabel* rememberExplained_;
};

}  // namespace norvik::shell
