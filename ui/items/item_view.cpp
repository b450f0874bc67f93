#include "ui/items/item_view.h"

#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/framework/dialog_parts.h"
#include "ui/framework/frame_commands.h"
#include "ui/framework/wait_cursor.h"
#include "ui/items/item_add_dlg.h"
#include "ui/items/item_cells.h"
#include "ui/items/item_list_model.h"
#include "ui/items/item_properties_dlg.h"
#include "ui/items/item_write_dlg.h"
#include "ui/items/update_interval_dlg.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

constexpr int kDefaultWidth = 120;
constexpr const char* kSortColumnKey = "Sort Column";
constexpr const char* kSortOrderKey = "Sort Order";
constexpr const char* kIntervalKey = "Update Interval";
// A cell offers a tooltip when its text is at least this much less than the cell wide short
// of filling it: the text may be cut off.
constexpr int kTooltipMargin = 20;
constexpr int kTooltipLength = 79;

// The selected rows as sorted, disjoint ranges [first, last].
std::vector<std::pair<int, int>> SelectedRanges(const QItemSelectionModel* selection) {
    std::vector<std::pair<int, int>> ranges;
    if (!selection) return ranges;
    for (const QItemSelectionRange& range : selection->selection()) ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    return merged;
}

// Each item command on the selection, as the group runs it.
void SyncReadCache(CVGroup& g, CVItem* const* items, int n) { g.SyncRead(items, n, false); }
void SyncReadDevice(CVGroup& g, CVItem* const* items, int n) { g.SyncRead(items, n, true); }
void Async10ReadCache(CVGroup& g, CVItem* const* items, int n) { g.AsyncRead10(items, n, false); }
void Async10ReadDevice(CVGroup& g, CVItem* const* items, int n) { g.AsyncRead10(items, n, true); }
void Async20Read(CVGroup& g, CVItem* const* items, int n) { g.AsyncRead20(items, n); }
// The refreshes act on the whole group; the selection only enables them.
void Async10RefreshCache(CVGroup& g, CVItem* const*, int) { g.AsyncRefresh10(false); }
void Async10RefreshDevice(CVGroup& g, CVItem* const*, int) { g.AsyncRefresh10(true); }
void Async20RefreshCache(CVGroup& g, CVItem* const*, int) { g.AsyncRefresh20(false); }
void Async20RefreshDevice(CVGroup& g, CVItem* const*, int) { g.AsyncRefresh20(true); }

}  // namespace

CVItemView::CVItemView(QWidget* parent)
    : QTableView(parent), model_(new ItemListModel(this)), timer_(new QTimer(this)) {
    setModel(model_);
    ConfigureReportView(*this);
    setTabKeyNavigation(false);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });

    MapItemCommands();
    LoadProfile();

    connect(timer_, &QTimer::timeout, this, [this] { RepaintLiveColumns(); });
    timer_->start(interval_);
}

CVItemView::~CVItemView() {
    SaveProfile();
    timer_->stop();
}

void CVItemView::LoadProfile() {
    Profile profile;
    for (int column = 0; column < kItemColumnCount; ++column) {
        const int width = profile.GetInt(kSection, std::to_string(column), kDefaultWidth);
        setColumnWidth(column, width < 0 ? kDefaultWidth : width);
    }
    order_.column = std::clamp(profile.GetInt(kSection, kSortColumnKey, 0), 0, kItemColumnCount - 1);
    order_.descending = profile.GetInt(kSection, kSortOrderKey, 0) == 1;
    // Stored as 16 bits; below the dialog's least value the timer would spin.
    const int stored = profile.GetInt(kSection, kIntervalKey, kDefaultInterval) & 0xFFFF;
    interval_ = std::max(stored, CVUpdateIntervalDlg::kMinimum);
    horizontalHeader()->setSortIndicator(order_.column, order_.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CVItemView::SaveProfile() const {
    Profile profile;
    for (int column = 0; column < kItemColumnCount; ++column)
        profile.WriteInt(kSection, std::to_string(column), columnWidth(column));
    profile.WriteInt(kSection, kSortColumnKey, order_.column);
    profile.WriteInt(kSection, kSortOrderKey, order_.descending ? 1 : 0);
    profile.WriteInt(kSection, kIntervalKey, interval_);
}

void CVItemView::MapItemCommands() {
    MapCommand(ID_DELETE, [this] { DeleteSelected(); });
    MapCommand(ID_UPDATE_INTERVAL, [this] { ChangeUpdateInterval(); });
    for (const auto& [id, mode] : {std::pair{ID_SYNC_WRITE, WriteMode::Sync}, std::pair{ID_ASYNC10_WRITE, WriteMode::Async10},
                                   std::pair{ID_ASYNC20_WRITE, WriteMode::Async20}})
        MapCommand(id, [this, mode] { WriteSelected(mode); });
    MapCommand(ID_PROPERTIES, [this] { ShowProperties(); });
    MapCommand(ID_NEW_ITEM, [this] {
        CVDocument* document = ProjectDocument();
        if (CVGroup* group = CurrentGroup(); document && group) RunNewItemCommand(this, *document, *group);
    });
    MapCommand(ID_SET_ACTIVE, [this] { SetItemsActive(true); });
    MapCommand(ID_SET_INACTIVE, [this] { SetItemsActive(false); });
    const std::pair<unsigned, void (*)(CVGroup&, CVItem* const*, int)> runs[] = {
        {ID_SYNC_READ_CACHE, SyncReadCache},
        {ID_SYNC_READ_DEVICE, SyncReadDevice},
        {ID_ASYNC10_READ_CACHE, Async10ReadCache},
        {ID_ASYNC10_READ_DEVICE, Async10ReadDevice},
        {ID_ASYNC20_READ, Async20Read},
        {ID_ASYNC10_REFRESH_CACHE, Async10RefreshCache},
        {ID_ASYNC10_REFRESH_DEVICE, Async10RefreshDevice},
        {ID_ASYNC20_REFRESH_CACHE, Async20RefreshCache},
        {ID_ASYNC20_REFRESH_DEVICE, Async20RefreshDevice},
    };
    for (const auto& [id, run] : runs) MapCommand(id, [this, run = run] { RunOnSelection(run); });
    MapCommand(ID_EDIT_COPY, [this] { CopySelected(); });
    MapCommand(ID_EDIT_CUT, [this] { CutSelected(); });
    MapCommand(ID_EDIT_PASTE, [this] { Paste(); });
}

CVDocument* CVItemView::ProjectDocument() const { return dynamic_cast<CVDocument*>(GetDocument()); }

CVGroup* CVItemView::CurrentGroup() const {
    const CVDocument* document = ProjectDocument();
    return document ? document->GetCurrentGroup() : nullptr;
}

void CVItemView::OnUpdate(int hint, void* object) {
    WaitCursor cursor;
    switch (hint) {
    case HINT_SELECTION_NOT_GROUP:
    case HINT_PROJECT_UNLOADING: Clear(); break;
    case HINT_GROUP_SELECTED:
        if (object) Rebuild(*static_cast<CVGroup*>(object));
        break;
    case HINT_GROUP_REMOVED:
        if (object && object == shownGroup_) Clear();
        break;
    case HINT_SERVER_REMOVED:
        if (object && shownGroup_ && object == shownGroup_->server) Clear();
        break;
    case HINT_ITEMS_ADDED:
        if (object) AppendItems(static_cast<CVItem* const*>(object));
        break;
    case HINT_ITEM_STATES_CHANGED:
        // The row images, at the start of the ItemID column wherever it is scrolled to.
        viewport()->update(QRect(columnViewportPosition(kColumnItemId), 0, iconSize().width() + 8, viewport()->height()));
        break;
    case HINT_REPAINT_ALL: viewport()->repaint(); break;
    default: viewport()->update(); break;
    }
}

void CVItemView::Clear() {
    shownGroup_ = nullptr;
    model_->Clear();
    viewport()->repaint();
}

void CVItemView::Rebuild(CVGroup& group) {
    if (const CVDocument* document = ProjectDocument()) model_->SetRegistry(&document->Registry());
    setUpdatesEnabled(false);
    model_->Assign(group.Items());
    shownGroup_ = &group;
    Sort();
    setUpdatesEnabled(true);
}

void CVItemView::AppendItems(CVItem* const* items) {
    std::vector<CVItem*> added;
    for (CVItem* const* entry = items; *entry; ++entry) added.push_back(*entry);
    if (added.empty()) return;
    setUpdatesEnabled(false);
    model_->AppendRows(added);
    Sort();
    setUpdatesEnabled(true);
}

void CVItemView::SortByColumn(int column) {
    if (column < 0 || column >= kItemColumnCount) return;
    WaitCursor cursor;
    if (column == order_.column) order_.descending = !order_.descending;
    order_.column = column;
    horizontalHeader()->setSortIndicator(order_.column, order_.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    Sort();
}

void CVItemView::Sort() {
    if (model_->rowCount() == 0) return;
    const std::vector<CVItem*> selected = SelectedItems();
    const QModelIndex current = currentIndex();
    CVItem* focused =
        current.isValid() && selectionModel()->isRowSelected(current.row(), {}) ? model_->ItemAt(current.row()) : nullptr;

    model_->Sort(order_);

    QItemSelection selection;
    if (!selected.empty()) {
        std::unordered_map<const CVItem*, int> rowOf;
        rowOf.reserve(model_->Items().size());
        for (int row = 0; row < model_->rowCount(); ++row) rowOf.emplace(model_->ItemAt(row), row);
        std::vector<int> rows;
        rows.reserve(selected.size());
        for (const CVItem* item : selected) {
            if (const auto found = rowOf.find(item); found != rowOf.end()) rows.push_back(found->second);
        }
        std::sort(rows.begin(), rows.end());
        const int lastColumn = kItemColumnCount - 1;
        for (std::size_t i = 0; i < rows.size();) {
            std::size_t j = i;
            while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
            selection.select(model_->index(rows[i], 0), model_->index(rows[j], lastColumn));
            i = j + 1;
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (focused) {
        for (int row = 0; row < model_->rowCount(); ++row) {
            if (model_->ItemAt(row) != focused) continue;
            const QModelIndex index = model_->index(row, current.column());
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            scrollTo(index);
            break;
        }
    }
    viewport()->update();
}

int CVItemView::SelectedCount() const {
    int count = 0;
    for (const auto& [first, last] : SelectedRanges(selectionModel())) count += last - first + 1;
    return count;
}

std::vector<CVItem*> CVItemView::SelectedItems() const {
    std::vector<CVItem*> items;
    for (const auto& [first, last] : SelectedRanges(selectionModel())) {
        for (int row = first; row <= last; ++row) {
            if (CVItem* item = model_->ItemAt(row)) items.push_back(item);
        }
    }
    return items;
}

void CVItemView::SetUpdateInterval(int milliseconds) {
    if (milliseconds == interval_) return;
    timer_->stop();
    interval_ = milliseconds;
    timer_->start(interval_);
}

void CVItemView::RepaintLiveColumns() {
    if (model_->rowCount() == 0) return;
    const int left = columnViewportPosition(kColumnItemId) + columnWidth(kColumnItemId);
    const QRect rect(left, 0, viewport()->width() - left, viewport()->height());
    if (rect.width() > 0) viewport()->update(rect);
}

void CVItemView::WriteSelected(WriteMode mode) {
    CVGroup* group = CurrentGroup();
    std::vector<CVItem*> items = SelectedItems();
    if (!group || items.empty()) return;
    CVItemWriteDlg dialog(*group, std::move(items), mode, this);
    dialog.exec();
}

void CVItemView::ShowProperties() {
    CVGroup* group = CurrentGroup();
    std::vector<CVItem*> items = SelectedItems();
    CVDocument* document = ProjectDocument();
    if (!group || items.empty() || !document) return;
    // An item added to the server again changes its image and the project.
    CVItemPropertiesDlg dialog(std::move(items), group->ItemMgt(), group->server, this, PlainMessageBox,
                               [document](CVItem* item) {
                                   document->UpdateAllViews(nullptr, HINT_ITEM_STATES_CHANGED, item);
                                   document->MarkModified(true);
                               });
    dialog.exec();
    if (dialog.Modified()) document->MarkModified(true);
}

void CVItemView::ChangeUpdateInterval() {
    CVUpdateIntervalDlg dialog(interval_, this);
    if (dialog.exec() == QDialog::Accepted) SetUpdateInterval(dialog.Interval());
}

void CVItemView::RunOnSelection(void (*run)(CVGroup& group, CVItem* const* items, int count)) {
    CVGroup* group = CurrentGroup();
    const std::vector<CVItem*> items = SelectedItems();
    if (!group || items.empty()) return;
    WaitCursor cursor;
    run(*group, items.data(), static_cast<int>(items.size()));
}

void CVItemView::SetItemsActive(bool activate) {
    CVGroup* group = CurrentGroup();
    const std::vector<CVItem*> items = SelectedItems();
    if (!group || items.empty()) return;
    if (group->SetItemsActive(items.data(), static_cast<int>(items.size()), activate)) {
        if (CVDocument* document = ProjectDocument()) document->MarkModified(true);
    }
    viewport()->update();
}

void CVItemView::DeleteSelected() {
    CVDocument* document = ProjectDocument();
    CVGroup* group = CurrentGroup();
    const std::vector<CVItem*> items = SelectedItems();
    if (!document || !group || items.empty()) return;
    WaitCursor cursor;
    // The rows point at the items until the list is rebuilt: empty it first.
    model_->Clear();
    group->RemoveItems(items.data(), static_cast<int>(items.size()), true);
    document->UpdateAllViews(nullptr, HINT_GROUP_SELECTED, group);
    document->MarkModified(true);
}

void CVItemView::CopySelected() {
    const CVDocument* document = ProjectDocument();
    const std::vector<CVItem*> items = SelectedItems();
    if (!document || items.empty()) return;
    PutOnClipboard(kItemClipFormat, document->CopyItems(items), CVDocument::ItemsAsCsvText(items));
}

void CVItemView::CutSelected() {
    // Without a selection there is nothing to cut here (the group stays).
    if (SelectedCount() == 0) return;
    CopySelected();
    DeleteSelected();
}

void CVItemView::Paste() {
    CVDocument* document = ProjectDocument();
    CVGroup* group = CurrentGroup();
    if (!document || !group || !ClipboardHas(kItemClipFormat)) return;
    WaitCursor cursor;
    document->PasteItems(*group, AsBytes(ClipboardBytes(kItemClipFormat)));
}

void CVItemView::Dispatch(unsigned id) {
    if (frame_) frame_->DispatchCommand(id);
}

void CVItemView::ShowContextMenu(const QPoint& viewportPosition, bool fromKeyboard) {
    const QModelIndex hit = indexAt(viewportPosition);
    if (!fromKeyboard) {
        if (!hit.isValid()) {
            selectionModel()->clearSelection();
        } else if (!selectionModel()->isRowSelected(hit.row(), {})) {
            selectionModel()->setCurrentIndex(hit, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
    }
    if (frame_) ExecCommandMenu(*frame_, ContextMenuCommands(), this, viewport()->mapToGlobal(viewportPosition));
}

void CVItemView::ShowMenuAtSelection() {
    const std::vector<std::pair<int, int>> ranges = SelectedRanges(selectionModel());
    if (ranges.empty()) return;
    const QModelIndex first = model_->index(ranges.front().first, kColumnItemId);
    scrollTo(first);
    ShowContextMenu(visualRect(first).center(), true);
}

std::vector<unsigned> CVItemView::ContextMenuCommands() const {
    std::vector<unsigned> ids;
    const auto add = [&ids](std::initializer_list<unsigned> more) { ids.insert(ids.end(), more); };
    const CVGroup* group = CurrentGroup();
    const int selected = SelectedCount();
    if (group) {
        add({ID_NEW_ITEM});
        if (ClipboardHas(kItemClipFormat) && selected == 0) add({0, ID_EDIT_PASTE});
    }
    if (selected == 0) return ids;
    add({0});
    if (group && group->onServer) {
        const bool updates20 = group->DataChangeMode() == kDataChangeMode20;
        if (group->ItemMgt()) add({ID_SET_ACTIVE, ID_SET_INACTIVE});
        if (group->SyncIO()) add({0, ID_SYNC_READ_CACHE, ID_SYNC_READ_DEVICE, ID_SYNC_WRITE});
        if (group->AsyncIO() && !updates20)
            add({0, ID_ASYNC10_READ_CACHE, ID_ASYNC10_READ_DEVICE, ID_ASYNC10_REFRESH_CACHE, ID_ASYNC10_REFRESH_DEVICE,
                 ID_ASYNC10_WRITE});
        if (group->AsyncIO2() && updates20)
            add({0, ID_ASYNC20_READ, ID_ASYNC20_REFRESH_CACHE, ID_ASYNC20_REFRESH_DEVICE, ID_ASYNC20_WRITE});
    }
    add({0, ID_PROPERTIES});
    return ids;
}

void CVItemView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard)
        ShowMenuAtSelection();
    else
        ShowContextMenu(event->pos(), false);
}

void CVItemView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space: ShowMenuAtSelection(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (SelectedCount() > 0) Dispatch(ID_PROPERTIES);
        return;
    default: QTableView::keyPressEvent(event);
    }
}

bool CVItemView::focusNextPrevChild(bool next) {
    if (!frame_) return QTableView::focusNextPrevChild(next);
    Dispatch(next ? ID_NEXT_PANE : ID_PREV_PANE);
    return true;
}

void CVItemView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) Dispatch(ID_PROPERTIES);  // the other buttons open nothing
}

QString CVItemView::CutOffText(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    const QString text = model_->CellText(index.row(), index.column());
    const int available = columnWidth(index.column()) - kTooltipMargin;
    if (text.isEmpty() || fontMetrics().horizontalAdvance(text) < available) return {};
    return text.left(kTooltipLength);
}

bool CVItemView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = CutOffText(index);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        return true;
    }
    return QTableView::viewportEvent(event);
}
