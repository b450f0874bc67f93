#include "ui/eventlog/event_log_model.h"

#include "platform/locale/locale_date_time.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"

#include <algorithm>

namespace {

constexpr unsigned kColumnTitles[] = {IDS_COLUMN_DATE, IDS_COLUMN_TIME, IDS_COLUMN_EVENT};

// What a report list offers for a cell's text.
constexpr size_t kCellBuffer = 260;

}  // namespace

EventLogModel::EventLogModel(QObject* parent)
    : QAbstractTableModel(parent),
      information_(QStringLiteral(":/eventlog/information.png")),
      error_(QStringLiteral(":/eventlog/error.png")) {}

void EventLogModel::Append(std::vector<EventEntry> entries) {
    if (entries.empty()) return;
    // More new entries than rows: only the newest kMaxRows of them can ever be shown.
    auto first = entries.begin();
    if (entries.size() > size_t(kMaxRows)) first = entries.end() - kMaxRows;
    const int incoming = static_cast<int>(entries.end() - first);

    const int drop = std::min(static_cast<int>(rows_.size()), static_cast<int>(rows_.size()) + incoming - kMaxRows);
    if (drop > 0) {
        beginRemoveRows({}, 0, drop - 1);
        rows_.erase(rows_.begin(), rows_.begin() + drop);
        endRemoveRows();
    }
    const int start = static_cast<int>(rows_.size());
    beginInsertRows({}, start, start + incoming - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(first), std::make_move_iterator(entries.end()));
    endInsertRows();
}

void EventLogModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int EventLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EventLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant EventLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const EventEntry& entry = Entry(index.row());
    if (role == Qt::DecorationRole && index.column() == DateColumn) return entry.kind != 0 ? error_ : information_;
    if (role != Qt::DisplayRole) return {};
    char buffer[kCellBuffer];
    switch (index.column()) {
    case DateColumn:
        LocaleDateTime::Process().FormatDate(entry.time, buffer, sizeof buffer);
        return QString::fromUtf8(buffer);
    case TimeColumn:
        LocaleDateTime::Process().FormatTime(entry.time, buffer, sizeof buffer, true);
        return QString::fromUtf8(buffer);
    case EventColumn: return QString::fromStdString(entry.text);
    default: return {};
    }
}

QVariant EventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    const std::string_view title = LoadString(kColumnTitles[section]);
    return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}
