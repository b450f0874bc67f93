// The event log pane: date, time and text of the newest events, with an icon for information
// or error. AddEvent may be called from any thread; it only queues the event. A 100 ms timer
// on the GUI thread moves the queued events into the list in one batch and scrolls to the
// newest. Column widths and the errors-only flag live in the profile section "Event View".
#pragma once

#include "docview/view.h"
#include "ui/eventlog/event_queue.h"

#include <QTableView>

#include <string>

class EventLogModel;
class QAction;
class QTimer;

class CVEventView : public QTableView, public View {
    Q_OBJECT

public:
    static constexpr int kFlushIntervalMs = 100;

    explicit CVEventView(QWidget* parent = nullptr);
    ~CVEventView() override;

    // Queues one event (kind 0 information, 1 error). Thread-safe.
    void AddEvent(int kind, const std::string& text);

    // Handles commands 32805 (clear), 32806 (errors only) and, passed on through
    // linkSettingsRequested, 32812 and 32813 (OnCommand of the framework's View).

    void Clear();
    void ToggleErrorsOnly();
    bool ErrorsOnly() const;
    int RowCount() const;

    // The frame's actions of 32805 and 32806: when set, the context menu shows them, so both
    // menus say the same and their commands take the frame's route.
    void SetContextActions(QAction* clear, QAction* errorsOnly);

    // Moves the queued events into the list now (what the timer does every 100 ms).
    void FlushPending();

signals:
    // Commands 32812 (serial settings) and 32813 (TCP client settings) reached the event log.
    void linkSettingsRequested(unsigned commandId);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowContextMenu(const QPoint& globalPosition);
    void LoadProfile();
    void SaveProfile() const;

    EventQueue queue_;
    EventLogModel* model_;
    QTimer* timer_;
    QAction* ownClear_;
    QAction* ownErrorsOnly_;
    QAction* frameClear_ = nullptr;
    QAction* frameErrorsOnly_ = nullptr;
};
