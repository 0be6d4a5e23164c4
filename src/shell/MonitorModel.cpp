#include "shell/MonitorModel.h"

#include <algorithm>

namespace norvik::shell {

namespace {
constexpr int kHostColumn = 1;
}  // namespace

void MonitorModel::update(const trace::MonitorTable& table) {
    std::vector<Row> next;
    for (const trace::MonitorRow& r : trace::MonitorRows(table)) {
        Row row{r.hop, r.trips ? QString::fromStdString(r.address) : QString(), {}};
        for (const std::string& cell : trace::MonitorCells(r))
            row.cells.append(QString::fromStdString(cell));
        next.push_back(std::move(row));
    }
    // Hop by hop, both lists in hop order: the rows a hop already has are
    // rewritten where they differ, and the hop gains rows at their end (an
    // address new to it) or loses them (the path got shorter).
    std::size_t at = 0, from = 0;
    while (at < rows_.size() || from < next.size()) {
        const int hop = at == rows_.size()    ? next[from].hop
                        : from == next.size() ? rows_[at].hop
                                              : std::min(rows_[at].hop, next[from].hop);
        std::size_t had = 0, has = 0;
        while (at + had < rows_.size() && rows_[at + had].hop == hop) ++had;
        while (from + has < next.size() && next[from + has].hop == hop) ++has;
        for (std::size_t i = 0; i < std::min(had, has); ++i) {
            Row& old = rows_[at + i];
            Row& now = next[from + i];
            int first = -1, last = -1;
            for (int c = 0; c < trace::kMonitorColumnCount; ++c) {
                if (old.cells.value(c) != now.cells.value(c) ||
                    (c == kHostColumn && old.address != now.address)) {
                    if (first < 0) first = c;
                    last = c;
                }
            }
            if (first < 0) continue;
            old = std::move(now);
            const int row = static_cast<int>(at + i);
            emit dataChanged(index(row, first), index(row, last));
        }
        if (has > had) {
            const int row = static_cast<int>(at + had);
            beginInsertRows({}, row, row + static_cast<int>(has - had) - 1);
            rows_.insert(
                rows_.begin() + static_cast<std::ptrdiff_t>(at + had),
                std::make_move_iterator(next.begin() + static_cast<std::ptrdiff_t>(from + had)),
                std::make_move_iterator(next.begin() + static_cast<std::ptrdiff_t>(from + has)));
            endInsertRows();
        } else if (had > has) {
            const int row = static_cast<int>(at + has);
            beginRemoveRows({}, row, row + static_cast<int>(had - has) - 1);
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at + has),
                        rows_.begin() + static_cast<std::ptrdiff_t>(at + had));
            endRemoveRows();
        }
        at += has;
        from += has;
    }
}

void MonitorModel::clear() {
    if (rows_.empty()) return;
    beginRemoveRows({}, 0, static_cast<int>(rows_.size()) - 1);
    rows_.clear();
    endRemoveRows();
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : trace::kMonitorColumnCount;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return row.cells.value(index.column());
        case Qt::ToolTipRole:
            return index.column() == kHostColumn && !row.address.isEmpty() ? QVariant(row.address)
                                                                           : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                Qt::AlignVCenter |
                (index.column() == kHostColumn ? Qt::AlignLeft : Qt::AlignRight));
        default:
            return {};
    }
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= trace::kMonitorColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return QString::fromLatin1(trace::kMonitorColumns[section]);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (section == kHostColumn ? Qt::AlignLeft : Qt::AlignRight));
        default:
            return {};
    }
}

}  // namespace norvik::shell
