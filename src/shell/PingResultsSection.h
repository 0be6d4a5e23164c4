#pragma once

class QLabel;
class QWidget;

namespace norvik::shell {

class PingResults;
class SettingsChoices;

// The Ping page's part of the window's lower half: the shared heading and
// welcome text over the results panel, switched between the progress (with
// the live plot and line of a run of more than one ping) and the last
// reply's fields, which follow the display choices.
class PingResultsSection {
  public:
    PingResultsSection(const QWidget& page, QLabel* heading, QLabel* intro, PingResults* results,
                       SettingsChoices& choices)
        : page_(page), heading_(heading), intro_(intro), results_(results), choices_(choices) {}

    // "Progress" over the counters, which are not on show yet.
    void showProgressHeading();
    // The counters, with the live plot and line when the run has them.
    void showProgressCounters();
    // "Returned Data" over the reply fields the display choices allow.
    void showReturnedData();
    // A run starts: the bar empty, not at the last run's figure, and the
    // live plot and line empty, shown with the counters when `live`.
    void startRun(bool live);
    // The display choices follow the store, and a field that is off is
    // hidden; nothing here shows a field again.
    void applyDisplayChoices();

  private:
    const QWidget& page_;
    QLabel* heading_;
    QLabel* intro_;
    PingResults* results_;
    SettingsChoices& choices_;
};

}  // namespace norvik::shell
