#include "ui/navigation/group_view.h"

#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/strings/command_ids.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/framework/frame_commands.h"
#include "ui/framework/wait_cursor.h"
#include "ui/navigation/group_property_sheet.h"
#include "ui/navigation/group_tree_model.h"
#include "ui/navigation/server_property_sheet.h"
#include "ui/navigation/server_queries.h"
#include "ui/persistence/project_commands.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

CVGroupView::CVGroupView(QWidget* parent)
    : QTreeView(parent),
      model_(new GroupTreeModel(this)),
      serverSheet_(RunServerPropertySheet),
      groupSheet_(RunGroupPropertySheet) {
    setModel(model_);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
    MapTreeCommands();
}

CVGroupView::~CVGroupView() = default;

CVDocument* CVGroupView::ProjectDocument() const { return dynamic_cast<CVDocument*>(GetDocument()); }

void CVGroupView::MapTreeCommands() {
    MapCommand(ID_NEW_SERVER, [this] { NewServer(); });
    MapCommand(ID_NEW_GROUP, [this] { NewGroup(); });
    MapCommand(ID_PROPERTIES, [this] { Properties(); });
    MapCommand(ID_DELETE, [this] { Delete(); });
    MapCommand(ID_CONNECT, [this] { Connect(); });
    MapCommand(ID_DISCONNECT, [this] { Disconnect(); });
    MapCommand(ID_RECONNECT, [this] { Reconnect(); });
    MapCommand(ID_CLONE_GROUP, [this] { CloneGroup(); });
    MapCommand(ID_EXPORT_CSV, [this] { ExportCsv(); });
    MapCommand(ID_IMPORT_CSV, [this] { ImportCsv(); });
    MapCommand(ID_SERVER_ERROR_STRING, [this] { RunServerQuery<CVServerGetErrorStringDlg>(); });
    MapCommand(ID_GROUP_BY_NAME, [this] { RunServerQuery<CVServerGroupByNameDlg>(); });
    MapCommand(ID_ENUMERATE_GROUPS, [this] { RunServerQuery<CVServerEnumerateGroupsDlg>(); });
    MapCommand(ID_EDIT_COPY, [this] { Copy(); });
    MapCommand(ID_EDIT_CUT, [this] { Cut(); });
    MapCommand(ID_EDIT_PASTE, [this] { Paste(); });
}

CVServer* CVGroupView::SelectedServer() const { return model_->ServerAt(currentIndex()); }

CVGroup* CVGroupView::SelectedGroup() const { return model_->GroupAt(currentIndex()); }

void CVGroupView::SelectEntry(const QModelIndex& index) {
    if (!index.isValid()) {
        selectionModel()->clearSelection();
        return;
    }
    if (index.parent().isValid()) expand(index.parent());
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void CVGroupView::SelectInserted(const QModelIndex& index) {
    if (index.isValid()) SelectEntry(index);  // an entry that could not be inserted leaves the selection
}

void CVGroupView::SelectServer(CVServer* server) { SelectEntry(model_->IndexOfServer(server)); }

void CVGroupView::SelectGroup(CVGroup* group) { SelectEntry(model_->IndexOfGroup(group)); }

void CVGroupView::OnSelectionChanged() {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    const QModelIndex entry = selected.isEmpty() ? QModelIndex() : selected.constFirst();
    model_->SetBoldEntry(entry);
    CVDocument* document = ProjectDocument();
    if (!document) return;
    if (CVGroup* group = model_->GroupAt(entry)) {
        document->SetCurrentServer(nullptr);
        document->SetCurrentGroup(group);
        document->UpdateAllViews(this, HINT_GROUP_SELECTED, group);
        return;
    }
    CVServer* server = model_->ServerAt(entry);
    document->SetCurrentGroup(nullptr);
    document->SetCurrentServer(server);
    document->UpdateAllViews(this, HINT_SELECTION_NOT_GROUP, server);
}

void CVGroupView::OnUpdate(int hint, void* object) {
    switch (hint) {
    case HINT_SERVER_ADDED: SelectInserted(model_->InsertServer(static_cast<CVServer*>(object))); break;
    case HINT_SERVER_REMOVED: model_->RemoveServer(static_cast<CVServer*>(object)); break;
    case HINT_GROUP_ADDED: SelectInserted(model_->InsertGroup(static_cast<CVGroup*>(object))); break;
    case HINT_GROUP_REMOVED: model_->RemoveGroup(static_cast<CVGroup*>(object)); break;
    case HINT_GROUP_SELECTED: {
        QModelIndex entry = model_->IndexOfGroup(static_cast<CVGroup*>(object));
        if (!object) entry = model_->index(0, 0, model_->index(0, 0));
        if (entry.isValid()) SelectEntry(entry);
        viewport()->repaint();
        break;
    }
    case HINT_PROJECT_LOADED: LoadProject(static_cast<CVServer*>(object)); break;
    case HINT_PROJECT_UNLOADING: model_->Clear(); break;
    case HINT_CONNECTION_STATES: viewport()->repaint(); break;
    default: viewport()->update(); break;
    }
}

void CVGroupView::LoadProject(CVServer* first) {
    for (CVServer* server = first; server; server = server->next) {
        model_->InsertServer(server);
        for (CVGroup* group = server->FirstGroup(); group; group = group->next) model_->InsertGroup(group);
    }
    SelectEntry(model_->index(0, 0));
}

void CVGroupView::Dispatch(unsigned id) {
    if (frame_) frame_->DispatchCommand(id);
}

void CVGroupView::NewServer() {
    CVDocument* document = ProjectDocument();
    if (!document) return;
    if (CVServer* server = serverSheet_(this, nullptr)) document->AddNewServer(server);
}

void CVGroupView::NewGroup() {
    CVDocument* document = ProjectDocument();
    CVServer* server = SelectedServer();
    if (!document || !server) return;
    if (CVGroup* group = groupSheet_(this, server, nullptr)) {
        document->MarkModified(true);
        document->UpdateAllViews(nullptr, HINT_GROUP_ADDED, group);
    }
}

void CVGroupView::Properties() {
    if (CVServer* server = SelectedServer()) {
        serverSheet_(this, server);  // read-only: nothing changes
        return;
    }
    CVDocument* document = ProjectDocument();
    CVGroup* group = SelectedGroup();
    if (!document || !group || !groupSheet_(this, nullptr, group)) return;
    document->MarkModified(true);
    document->UpdateAllViews(nullptr, HINT_CONNECTION_STATES, group);
}

template <class Dialog>
void CVGroupView::RunServerQuery() {
    CVServer* server = SelectedServer();
    if (!server || !server->OpcServer()) return;
    Dialog dialog(server->OpcServer(), this);
    dialog.exec();
}

void CVGroupView::Delete() {
    CVDocument* document = ProjectDocument();
    if (!document) return;
    WaitCursor cursor;
    if (CVGroup* group = SelectedGroup())
        document->DeleteGroup(group);
    else if (CVServer* server = SelectedServer())
        document->DeleteServer(server);
}

void CVGroupView::Connect() {
    CVDocument* document = ProjectDocument();
    if (CVServer* server = SelectedServer(); document && server) document->ConnectServer(server);
}

void CVGroupView::Disconnect() {
    CVDocument* document = ProjectDocument();
    if (CVServer* server = SelectedServer(); document && server) document->DisconnectServer(server);
}

void CVGroupView::Reconnect() {
    CVDocument* document = ProjectDocument();
    if (CVServer* server = SelectedServer(); document && server) document->ReconnectServer(server);
}

void CVGroupView::CloneGroup() {
    CVDocument* document = ProjectDocument();
    if (CVGroup* group = SelectedGroup(); document && group) document->CloneGroup(*group);
}

void CVGroupView::ExportCsv() {
    CVDocument* document = ProjectDocument();
    if (CVGroup* group = SelectedGroup(); document && group) RunExportCsvCommand(this, *document, *group);
}

void CVGroupView::ImportCsv() {
    CVDocument* document = ProjectDocument();
    if (CVGroup* group = SelectedGroup(); document && group) RunImportCsvCommand(this, *document, *group);
}

void CVGroupView::Copy() {
    const CVDocument* document = ProjectDocument();
    if (!document) return;
    if (const CVGroup* group = SelectedGroup())
        PutOnClipboard(kGroupClipFormat, document->CopyGroup(*group));
    else if (const CVServer* server = SelectedServer())
        PutOnClipboard(kServerClipFormat, document->CopyServer(*server));
}

void CVGroupView::Cut() {
    if (!SelectedGroup() && !SelectedServer()) return;
    Copy();
    Delete();
}

void CVGroupView::Paste() {
    CVDocument* document = ProjectDocument();
    if (!document) return;
    WaitCursor cursor;
    // What the enabling allows for the selection: groups into a server, items into a group,
    // and a server into the project.
    if (CVServer* server = SelectedServer()) {
        if (ClipboardHas(kGroupClipFormat))
            document->PasteGroups(*server, AsBytes(ClipboardBytes(kGroupClipFormat)));
        else if (ClipboardHas(kServerClipFormat))
            document->PasteServers(AsBytes(ClipboardBytes(kServerClipFormat)));
    } else if (CVGroup* group = SelectedGroup()) {
        if (ClipboardHas(kItemClipFormat)) document->PasteItems(*group, AsBytes(ClipboardBytes(kItemClipFormat)));
    } else if (ClipboardHas(kServerClipFormat)) {
        document->PasteServers(AsBytes(ClipboardBytes(kServerClipFormat)));
    }
}

void CVGroupView::ShowContextMenu(const QPoint& viewportPosition) {
    const QModelIndex hit = indexAt(viewportPosition);
    if (hit.isValid()) SelectEntry(hit);
    if (frame_) ExecCommandMenu(*frame_, ContextMenuCommands(hit), this, viewport()->mapToGlobal(viewportPosition));
}

std::vector<unsigned> CVGroupView::ContextMenuCommands(const QModelIndex& hit) const {
    if (model_->GroupAt(hit))
        return {ID_NEW_ITEM, 0, ID_CLONE_GROUP, 0, ID_EXPORT_CSV, ID_IMPORT_CSV, ID_DELETE, 0, ID_PROPERTIES};
    if (model_->ServerAt(hit))
        return {ID_NEW_GROUP,         0, ID_CONNECT,       ID_DISCONNECT, ID_RECONNECT, 0, ID_SERVER_ERROR_STRING, 0,
                ID_ENUMERATE_GROUPS, ID_GROUP_BY_NAME, ID_DELETE, 0, ID_PROPERTIES};
    std::vector<unsigned> ids{ID_NEW_SERVER};
    if (ClipboardHas(kServerClipFormat)) ids.insert(ids.end(), {0, ID_EDIT_PASTE});
    return ids;
}

void CVGroupView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const QModelIndex current = currentIndex();
        if (current.isValid()) ShowContextMenu(visualRect(current).center());
        return;
    }
    ShowContextMenu(event->pos());
}

void CVGroupView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentIndex().isValid()) Dispatch(ID_PROPERTIES);
        return;
    case Qt::Key_Space:
        if (currentIndex().isValid()) ShowContextMenu(visualRect(currentIndex()).center());
        return;
    default: QTreeView::keyPressEvent(event);
    }
}

void CVGroupView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;  // the other buttons open nothing
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (!hit.isValid()) return;
    SelectEntry(hit);
    Dispatch(ID_PROPERTIES);
}
