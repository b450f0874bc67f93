// The item list pane: the items of the group selected in the group tree, one row each, with
// data type, value, timestamp, quality, update count and forwarding address. The rows point
// at the group's items; cells are produced when they are painted, and a timer repaints the
// visible live columns. Sorted by any column (header click), with the selection kept. The
// read, refresh, activation, delete, copy and cut commands act on the selected rows. Column widths, the
// sort and the repaint interval live in the profile section "Item View".
#pragma once

#include "docview/view.h"
#include "ui/items/item_sort.h"

#include <QTableView>

#include <vector>

class CVDocument;
enum class WriteMode : int;
class CVGroup;
class CVItem;
class FrameCommands;
class ItemListModel;
class QTimer;

class CVItemView : public QTableView, public View {
public:
    static constexpr const char* kSection = "Item View";
    static constexpr int kDefaultInterval = 250;

    explicit CVItemView(QWidget* parent = nullptr);
    ~CVItemView() override;

    // Where the context menu takes its entries and keys send their commands; not owned.
    void SetFrame(FrameCommands* frame) { frame_ = frame; }

    void OnUpdate(int hint, void* object) override;

    int SelectedCount() const;
    // The items of the selected rows, in row order.
    std::vector<CVItem*> SelectedItems() const;
    ItemListModel& Model() const { return *model_; }

    ItemSortOrder SortOrder() const { return order_; }
    // A header click: the same column flips the order, another column keeps it.
    void SortByColumn(int column);

    // The context menu's commands for the current group and selection, 0 for a separator.
    std::vector<unsigned> ContextMenuCommands() const;

    int UpdateInterval() const { return interval_; }
    // Restarts the timer only when the interval changes.
    void SetUpdateInterval(int milliseconds);
    // What the timer does: repaints the visible part of columns 1 to 6.
    void RepaintLiveColumns();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Qt offers Tab here before any key handler: it moves to the next pane instead.
    bool focusNextPrevChild(bool next) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    CVDocument* ProjectDocument() const;
    CVGroup* CurrentGroup() const;
    void Rebuild(CVGroup& group);
    void AppendItems(CVItem* const* items);
    void Clear();
    void Sort();
    void ShowContextMenu(const QPoint& viewportPosition, bool fromKeyboard);
    // The space bar: the menu at the first selected row, as a right click there.
    void ShowMenuAtSelection();
    void Dispatch(unsigned id);
    void MapItemCommands();
    void RunOnSelection(void (*run)(CVGroup& group, CVItem* const* items, int count));
    void SetItemsActive(bool activate);
    void DeleteSelected();
    // Copy puts the selected items on the clipboard, as records and as CSV text; Cut then
    // deletes them. Paste adds the clipboard's items to the group.
    void CopySelected();
    void CutSelected();
    void Paste();
    void WriteSelected(WriteMode mode);
    void ShowProperties();
    void ChangeUpdateInterval();
    // The text of a cell when it may be cut off, else empty.
    QString CutOffText(const QModelIndex& index) const;
    void LoadProfile();
    void SaveProfile() const;

    ItemListModel* model_;
    QTimer* timer_;
    FrameCommands* frame_ = nullptr;
    ItemSortOrder order_;
    int interval_ = kDefaultInterval;
    // The group whose items the rows point at; the list empties when it or its server goes.
    const CVGroup* shownGroup_ = nullptr;
};
