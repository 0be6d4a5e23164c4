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

// The five choices of the Settings page, kept whether or not the page was
// built yet. Each is stored the moment it changes.
class SettingsChoices : public QObject {
    Q_OBJECT
  public:
    enum class Choice {
        DisplayAddress,
        DisplayPacketSize,
        DisplayDataPointer,
        RememberOnExit,
        PreferIpv6,
    };

    SettingsChoices(store::Registry& reg, QObject* parent);

    // Ticks or clears a choice; a change counts as a click on its box, so
    // it is stored.
    void set(Choice choice, bool on) {
        if (on != chosen(choice)) store(choice, on);
    }
    // A click on the choice's box: the choice is stored as it now is.
    void store(Choice choice, bool on);
    // The three display choices and "Prefer IPv6", and "remember" (written
    // back when on), set as stored.
    void readDisplay();
    void readRemember();
    // True when the choice is ticked.
    bool chosen(Choice choice) const { return on_[static_cast<std::size_t>(choice)]; }

  signals:
    void changed(Choice choice, bool on);

  private:
    store::Registry& reg_;
    std::array<bool, 5> on_{};
};

// The Settings page: which optional reply fields the Ping page shows,
// whether the session is remembered on exit, whether a name's IPv6 address
// comes first, and the removal of stored addresses from the session list. Every box is stored the
// moment it changes.
class SettingsPage : public Page {
    Q_OBJECT
  public:
    using Choice = SettingsChoices::Choice;

    // `ended` tells whether the program has ended; the removal buttons then
    // do nothing. The boxes show `choices` and store a click in them.
    SettingsPage(store::Registry& reg, SettingsChoices& choices, platform::MessageBox& boxes,
                 std::function<bool()> ended, QWidget* parent);

    void enter() override;
    std::vector<QWidget*> tabOrder() const override;

    // The colours of the three framed surfaces of the page.
    void setSurfaceColours(const QColor& surface, const QColor& text);

  private:
    void storeChoice(Choice choice);
    void removeAll();
    void removeSelected();
    void listSession();

    store::Registry& reg_;
    SettingsChoices& choices_;
    platform::MessageBox& boxes_;
    std::function<bool()> ended_;
    QFrame* displayPanel_;
    QLabel* displayTitle_;
    std::array<QCheckBox*, 5> choiceBoxes_{};  // by Choice
    QFrame* sessionPanel_;
    QLabel* sessionTitle_;
    QListWidget* sessionList_;
    QPushButton* removeSelectedButton_;
    QPushButton* removeAllButton_;
    QLabel* rememberExplained_;
    QFrame* addressPanel_;
};

}  // namespace norvik::shell
