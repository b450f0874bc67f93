#include "ui/eventlog/event_view.h"

#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "ui/eventlog/event_log_model.h"
#include "ui/framework/dialog_parts.h"
#include "platform/strings/language.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <algorithm>

namespace {

constexpr const char* kSection = "Event View";
constexpr const char* kErrorsOnlyKey = "Log Errors Only";
constexpr int kDefaultWidth = 120;

}  // namespace

CVEventView::CVEventView(QWidget* parent)
    : QTableView(parent), model_(new EventLogModel(this)), timer_(new QTimer(this)) {
    setModel(model_);
    ConfigureReportView(*this);
    horizontalHeader()->setSectionsClickable(false);
    // The event text takes whatever width the date and time leave in the pane.
    horizontalHeader()->setStretchLastSection(true);

    ownClear_ = new QAction(QString::fromUtf8(Tr("清除消息", "Clear Messages")), this);
    ownErrorsOnly_ = new QAction(QString::fromUtf8(Tr("只记录错误日志", "Log Errors Only")), this);
    ownErrorsOnly_->setCheckable(true);
    connect(ownClear_, &QAction::triggered, this, [this] { OnCommand(ID_CLEAR_EVENTS); });
    connect(ownErrorsOnly_, &QAction::triggered, this, [this] { OnCommand(ID_LOG_ERRORS_ONLY); });

    MapCommand(ID_CLEAR_EVENTS, [this] { Clear(); });
    MapCommand(ID_LOG_ERRORS_ONLY, [this] { ToggleErrorsOnly(); });
    for (unsigned id : {ID_SERIAL_SETTINGS, ID_TCP_CLIENT_SETTINGS})
        MapCommand(id, [this, id] { emit linkSettingsRequested(id); });

    LoadProfile();

    timer_->setInterval(kFlushIntervalMs);
    connect(timer_, &QTimer::timeout, this, &CVEventView::FlushPending);
    timer_->start();
}

CVEventView::~CVEventView() {
    timer_->stop();
    SaveProfile();
}

void CVEventView::AddEvent(int kind, const std::string& text) { queue_.Add(kind, text); }

void CVEventView::Clear() { model_->Clear(); }

void CVEventView::ToggleErrorsOnly() { queue_.ToggleErrorsOnly(); }

bool CVEventView::ErrorsOnly() const { return queue_.ErrorsOnly(); }

int CVEventView::RowCount() const { return model_->rowCount(); }

void CVEventView::SetContextActions(QAction* clear, QAction* errorsOnly) {
    frameClear_ = clear;
    frameErrorsOnly_ = errorsOnly;
}

void CVEventView::FlushPending() {
    std::vector<EventEntry> entries = queue_.TakeAll();
    if (entries.empty()) return;
    setUpdatesEnabled(false);
    model_->Append(std::move(entries));
    scrollToBottom();
    setUpdatesEnabled(true);
}

void CVEventView::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->globalPos());
    event->accept();
}

void CVEventView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier) {
        QTableView::keyPressEvent(event);
        return;
    }
    // At the first selected row's label, brought into view, else at the centre of the view.
    QPoint at = viewport()->rect().center();
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!rows.isEmpty()) {
        const QModelIndex first = *std::min_element(rows.begin(), rows.end());
        scrollTo(first);
        at = visualRect(first).center();
    }
    ShowContextMenu(viewport()->mapToGlobal(at));
    event->accept();
}

void CVEventView::ShowContextMenu(const QPoint& globalPosition) {
    QAction* clear = frameClear_ ? frameClear_ : ownClear_;
    QAction* errorsOnly = frameErrorsOnly_ ? frameErrorsOnly_ : ownErrorsOnly_;
    errorsOnly->setCheckable(true);
    errorsOnly->setChecked(ErrorsOnly());
    clear->setEnabled(true);
    errorsOnly->setEnabled(true);
    QMenu menu(this);
    if (RowCount() > 0) menu.addAction(clear);
    menu.addAction(errorsOnly);
    menu.exec(globalPosition);
}

void CVEventView::LoadProfile() {
    Profile profile;
    for (int column = 0; column < EventLogModel::ColumnCount; ++column) {
        int width = profile.GetInt(kSection, std::to_string(column), kDefaultWidth);
        if (width < 0) width = kDefaultWidth;
        horizontalHeader()->resizeSection(column, width);
    }
    queue_.SetErrorsOnly(profile.GetInt(kSection, kErrorsOnlyKey, 0) != 0);
}

void CVEventView::SaveProfile() const {
    Profile profile;
    for (int column = 0; column < EventLogModel::ColumnCount; ++column)
        profile.WriteInt(kSection, std::to_string(column), horizontalHeader()->sectionSize(column));
    profile.WriteInt(kSection, kErrorsOnlyKey, ErrorsOnly() ? 1 : 0);
}
