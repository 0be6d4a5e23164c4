#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

#include "ping/PingResults.h"

namespace norvik::shell {

// The round trips of a ping run, one point per ping in order, with a mark
// at the bottom for each ping that got no reply. Runs wider than the plot
// are drawn a pixel column at a time (the column's lowest to highest round
// trip), so 10,000 pings cost what a few hundred do.
class RttPlot : public QWidget {
  public:
    explicit RttPlot(QWidget* parent = nullptr);

    void setRecords(const std::vector<ping::PingRecord>& records);
    // One more ping at the end, as a run goes on; drawn when the plot is
    // next updated (a fast run need not draw every ping).
    void add(const ping::PingRecord& record);
    int count() const { return static_cast<int>(ms_.size()); }

    // The colour of the time-out marks, and the band they are drawn in.
    static QColor timeoutColor();
    QRect timeoutBand() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void push(const ping::PingRecord& record);
    QRect plotArea() const;
    double axisMax() const;

    std::vector<float> ms_;  // round trip in ms; negative: no reply
    float maxMs_ = 0;
};

}  // namespace norvik::shell
