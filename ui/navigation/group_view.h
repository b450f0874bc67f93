// The group tree pane: the project's servers at the root, their groups below. Selecting an
// entry makes it the document's current server or group (the item list follows); the tree's
// commands create, delete, connect, disconnect, reconnect and clone, open the server and group
// property sheets, export and import a group's items as CSV, and copy, cut and paste servers,
// groups and items through the clipboard.
#pragma once

#include "docview/view.h"

#include <QTreeView>

#include <functional>
#include <vector>

class CVDocument;
class CVGroup;
class CVServer;
class FrameCommands;
class GroupTreeModel;

class CVGroupView : public QTreeView, public View {
public:
    explicit CVGroupView(QWidget* parent = nullptr);
    ~CVGroupView() override;

    // Where the context menus take their entries and keys send their commands; not owned.
    void SetFrame(FrameCommands* frame) { frame_ = frame; }

    // Runs the server property sheet: for a new server (null) it returns the created and
    // connected server on OK, else null. Tests replace it; the default shows the sheet.
    using ServerSheet = std::function<CVServer*(QWidget* parent, CVServer* server)>;
    void SetServerSheet(ServerSheet sheet) { serverSheet_ = std::move(sheet); }
    // Runs the group property sheet: for a new group of `server` (group null) or for `group`;
    // the group on OK (a new one listed on its server), else null. Tests replace it.
    using GroupSheet = std::function<CVGroup*(QWidget* parent, CVServer* server, CVGroup* group)>;
    void SetGroupSheet(GroupSheet sheet) { groupSheet_ = std::move(sheet); }

    void OnUpdate(int hint, void* object) override;

    GroupTreeModel& Model() const { return *model_; }
    // The selected entry's object; at most one of the two is set.
    CVServer* SelectedServer() const;
    CVGroup* SelectedGroup() const;
    // Selects the entry of `object` (a server or a group); null clears the selection.
    void SelectServer(CVServer* server);
    void SelectGroup(CVGroup* group);
    // The context menu's commands for a click on `hit` (invalid: empty space), 0 for a
    // separator.
    std::vector<unsigned> ContextMenuCommands(const QModelIndex& hit) const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CVDocument* ProjectDocument() const;
    void OnSelectionChanged();
    void LoadProject(CVServer* first);
    void SelectEntry(const QModelIndex& index);
    void SelectInserted(const QModelIndex& index);
    void ShowContextMenu(const QPoint& viewportPosition);
    void Dispatch(unsigned id);
    void MapTreeCommands();
    void NewServer();
    void NewGroup();
    void Properties();
    void Delete();
    void Connect();
    void Disconnect();
    void Reconnect();
    void CloneGroup();
    void ExportCsv();
    void ImportCsv();
    // Copy puts the selected server or group on the clipboard; Cut then deletes it. Paste
    // adds the clipboard's groups to the selected server, its items to the selected group,
    // or its server to the project.
    void Copy();
    void Cut();
    void Paste();
    // The error-string, group-by-name and enumerate-groups dialogs for the selected server.
    template <class Dialog>
    void RunServerQuery();

    GroupTreeModel* model_;
    FrameCommands* frame_ = nullptr;
    ServerSheet serverSheet_;
    GroupSheet groupSheet_;
};
