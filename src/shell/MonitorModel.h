#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

#include "trace/Monitor.h"

namespace norvik::shell {

// The TraceRoute page's monitor table: one row per hop and address that
// answered it (a lone row for a silent hop), the columns Hop, Host, Loss %,
// Sent, Last, Avg, Best, Worst, StDev and Jitter as the monitor renders
// them. Each round updates it in place: changed cells are reported as
// changed, new rows are inserted where they belong and gone ones removed,
// so a view keeps its selection and scroll position and does not flicker.
class MonitorModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes the monitor's table as it stands after a round.
    void update(const trace::MonitorTable& table);
    // No rows: a new run starts.
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The cell's text for display and for assistive technology; numbers are
    // aligned right, the host left; the host's tip is its address.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    struct Row {
        int hop = 0;
        QString address;  // empty for a silent hop
        QStringList cells;
    };

    std::vector<Row> rows_;
};

}  // namespace norvik::shell
