// The rows of the event log: the newest events, at most kMaxRows. Cell texts are produced
// when the view asks for them (only for visible rows), from the entry's time and text.
#pragma once

#include "ui/eventlog/event_queue.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <deque>
#include <vector>

class EventLogModel : public QAbstractTableModel {
public:
    static constexpr int kMaxRows = 1024;
    enum Column { DateColumn, TimeColumn, EventColumn, ColumnCount };

    explicit EventLogModel(QObject* parent = nullptr);

    // Appends the entries in order; the oldest rows go when more than kMaxRows would be shown.
    void Append(std::vector<EventEntry> entries);
    void Clear();
    const EventEntry& Entry(int row) const { return rows_[static_cast<size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::deque<EventEntry> rows_;
    QIcon information_;
    QIcon error_;
};
