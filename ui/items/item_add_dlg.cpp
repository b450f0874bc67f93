#include "ui/items/item_add_dlg.h"

#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "opc/client/value_text.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "ui/controls/image_button.h"
#include "ui/framework/wait_cursor.h"
#include "ui/items/duplicate_item_count_dlg.h"
#include "ui/items/data_type_names.h"
#include "ui/items/item_name_generator.h"
#include "ui/items/leaf_list_model.h"
#include "ui/resources/icons.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kAccessPathLength = 255;
constexpr const char* kPlaceholder = "_VCNULL_DUMMY";
constexpr int kDepthRole = Qt::UserRole;
constexpr const char* kAutoValidateKey = "Auto Validate";
constexpr const char* kBrowseFlatKey = "Browse Flat";


QString Utf8(const char* text) { return QString::fromUtf8(text); }
QString Utf8(const std::string& text) { return QString::fromStdString(text); }

QComboBox* DataTypeCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    for (const char* name : kDataTypeNames) combo->addItem(Utf8(name));
    return combo;
}

VARTYPE ChosenType(const QComboBox& combo) { return VarTypeFromName(combo.currentText().toStdString()); }

void ShowType(QComboBox& combo, VARTYPE type) { combo.setCurrentIndex(std::max(0, combo.findText(Utf8(VarTypeName(type))))); }

bool AskYesNo(QWidget* parent, const std::string& text) {
    return QMessageBox::question(parent, QApplication::applicationName(), Utf8(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QTreeWidgetItem* NewBranch(const QString& text, int depth, bool withPlaceholder) {
    auto* node = new QTreeWidgetItem({text});
    node->setData(0, kDepthRole, depth);
    node->setIcon(0, QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    if (withPlaceholder) {
        auto* placeholder = new QTreeWidgetItem({Utf8(kPlaceholder)});
        placeholder->setData(0, kDepthRole, -1);
        node->addChild(placeholder);
    }
    return node;
}

bool HasPlaceholder(const QTreeWidgetItem* node) {
    return node->childCount() == 1 && node->child(0)->text(0) == Utf8(kPlaceholder);
}

}  // namespace

CVItemAddDlg::CVItemAddDlg(CVGroup& group, ComPtr<IOPCBrowseServerAddressSpace> browse, QWidget* parent,
                           DialogMessageFunction message, QuestionFunction question)
    : QDialog(parent),
      group_(group),
      browsing_(static_cast<bool>(browse)),
      editor_(group, CItemAddressRegistry::Instance(), group.ItemMgt()),
      message_(message ? std::move(message) : PlainMessageBox),
      question_(question ? std::move(question) : AskYesNo) {
    setWindowTitle(Utf8(Tr("添加变量", "Add Items")));
    editor_.askAddAnyway = [this](const std::string& text) { return question_(this, text); };

    auto* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildBrowser(), 1);
    layout->addWidget(BuildRecordEditor());
    layout->addWidget(buttons);

    Profile profile;
    autoValidate_->setChecked(profile.GetInt(kSection, kAutoValidateKey, 0) != 0);
    browseFlat_->setChecked(profile.GetInt(kSection, kBrowseFlatKey, 0) != 0);
    editor_.autoValidate = autoValidate_->isChecked();
    ConnectControls();

    if (browsing_) {
        worker_ = std::make_unique<BrowseWorker>(std::move(browse));
        // The pointer says the dialog is busy; the dialog still answers.
        worker_->SetOnBusyChanged([this](bool busy) {
            if (busy)
                setCursor(Qt::BusyCursor);
            else
                unsetCursor();
        });
        BuildRoot();
    }
    ShowRecord();
    UpdateControls();
    itemId_->setFocus();
    resize(720, 640);
}

CVItemAddDlg::~CVItemAddDlg() {
    Profile profile;
    profile.WriteInt(kSection, kAutoValidateKey, autoValidate_->isChecked() ? 1 : 0);
    profile.WriteInt(kSection, kBrowseFlatKey, browseFlat_->isChecked() ? 1 : 0);
}

QWidget* CVItemAddDlg::BuildBrowser() {
    auto* box = new QWidget(this);
    tree_ = new QTreeWidget(box);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize(QSize(16, 16));
    tree_->setAccessibleName(Utf8(Tr("分支", "Branches")));
    leafModel_ = new LeafListModel(this);
    leaves_ = new QListView(box);
    leaves_->setModel(leafModel_);
    leaves_->setUniformItemSizes(true);
    leaves_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    leaves_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    leaves_->setIconSize(QSize(14, 14));
    leaves_->setAccessibleName(Utf8(Tr("变量", "Leaves")));
    auto* splitter = new QSplitter(Qt::Horizontal, box);
    splitter->addWidget(tree_);
    splitter->addWidget(leaves_);

    branchFilter_ = new QLineEdit(QStringLiteral("*"), box);
    leafFilter_ = new QLineEdit(QStringLiteral("*"), box);
    typeFilter_ = DataTypeCombo(box);
    accessFilter_ = new QComboBox(box);
    accessFilter_->addItems({QStringLiteral("Any"), QStringLiteral("Read Only"), QStringLiteral("Write Only"),
                             QStringLiteral("Read/Write")});
    browseFlat_ = new QCheckBox(Utf8(Tr("再选中的分支上浏览平的地址空间", "Browse a flat address space below the selected branch")), box);
    addItems_ = new QPushButton(Utf8(Tr("添加变量", "Add Items")), box);
    countText_ = new QLabel(box);

    auto* filters = new QGridLayout;
    filters->addWidget(FieldLabel(Tr("分支过滤:", "Branch filter:"), branchFilter_, box), 0, 0);
    filters->addWidget(branchFilter_, 0, 1);
    filters->addWidget(FieldLabel(Tr("变量过滤:", "Leaf filter:"), leafFilter_, box), 0, 2);
    filters->addWidget(leafFilter_, 0, 3);
    filters->addWidget(FieldLabel(Tr("数据类型过滤:", "Data type filter:"), typeFilter_, box), 1, 0);
    filters->addWidget(typeFilter_, 1, 1);
    filters->addWidget(FieldLabel(Tr("访问权限过滤:", "Access filter:"), accessFilter_, box), 1, 2);
    filters->addWidget(accessFilter_, 1, 3);
    filters->addWidget(browseFlat_, 2, 0, 1, 4);
    auto* adding = new QHBoxLayout;
    adding->addWidget(addItems_);
    adding->addWidget(countText_, 1);

    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter, 1);
    layout->addLayout(filters);
    layout->addLayout(adding);
    return box;
}

QWidget* CVItemAddDlg::BuildRecordEditor() {
    auto* box = new QGroupBox(Utf8(Tr("变量", "Item")), this);
    accessPath_ = new QLineEdit(box);
    accessPath_->setMaxLength(kAccessPathLength);
    itemId_ = new QLineEdit(box);
    itemId_->setMaxLength(static_cast<int>(kMaxItemIdLength));
    dataType_ = DataTypeCombo(box);
    active_ = new QCheckBox(Utf8(Tr("活动", "Active")), box);
    autoValidate_ = new QCheckBox(Utf8(Tr("再将变量添加到列表中前更新", "Validate each item before it is added")), box);

    const QIcon previous = style()->standardIcon(QStyle::SP_ArrowBack);
    const QIcon next = style()->standardIcon(QStyle::SP_ArrowForward);
    const QIcon validate = style()->standardIcon(QStyle::SP_DialogApplyButton);
    const struct {
        const char* caption;
        QIcon icon;
    } faces[kRecordButtons] = {{"Previous Item", previous},         {"Next Item", next},
                               {"New Item", LoadIcon("new_item")},  {"Duplicate Item", LoadIcon("edit_copy")},
                               {"Delete Item", LoadIcon("edit_delete")}, {"Validate Item", validate}};
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(active_);
    buttonRow->addWidget(autoValidate_);
    buttonRow->addStretch(1);
    for (int i = 0; i < kRecordButtons; ++i) {
        buttons_[i] = new CImageButton(Utf8(faces[i].caption), faces[i].icon, QIcon(), box);
        buttonRow->addWidget(buttons_[i]);
    }

    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("访问路径:", "Access path:"), accessPath_, box), accessPath_);
    form->addRow(FieldLabel(Tr("变量 ID:", "Item ID:"), itemId_, box), itemId_);
    form->addRow(FieldLabel(Tr("数据类型:", "Data type:"), dataType_, box), dataType_);
    auto* layout = new QVBoxLayout(box);
    layout->addLayout(form);
    layout->addLayout(buttonRow);
    return box;
}

void CVItemAddDlg::ConnectControls() {
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { ExpandBranch(node); });
    connect(tree_, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* node) { CollapseBranch(node); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { ListLeaves(); });
    connect(leaves_, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) AddLeafAt(index.row());
    });
    connect(leafFilter_, &QLineEdit::editingFinished, this, [this] { ListLeaves(); });
    connect(typeFilter_, &QComboBox::activated, this, [this] { ListLeaves(); });
    connect(accessFilter_, &QComboBox::activated, this, [this] { ListLeaves(); });
    connect(branchFilter_, &QLineEdit::editingFinished, this, [this] {
        if (browsing_) BuildRoot();
    });
    connect(browseFlat_, &QCheckBox::clicked, this, [this] { ListLeaves(); });
    connect(addItems_, &QPushButton::clicked, this, [this] { AddSelectedLeaves(); });
    connect(autoValidate_, &QCheckBox::toggled, this, [this](bool on) { editor_.autoValidate = on; });

    connect(accessPath_, &QLineEdit::textEdited, this, [this] { RecordEdited(); });
    connect(itemId_, &QLineEdit::textEdited, this, [this] { RecordEdited(); });
    connect(dataType_, &QComboBox::activated, this, [this] { RecordEdited(); });
    connect(active_, &QCheckBox::clicked, this, [this] { RecordEdited(); });
    connect(buttons_[Previous], &QPushButton::clicked, this, [this] { Navigate(&ItemRecordEditor::GoPrevious); });
    connect(buttons_[Next], &QPushButton::clicked, this, [this] { Navigate(&ItemRecordEditor::GoNext); });
    connect(buttons_[New], &QPushButton::clicked, this, [this] { Navigate(&ItemRecordEditor::GoNew); });
    connect(buttons_[Delete], &QPushButton::clicked, this, [this] { Navigate(&ItemRecordEditor::DeleteCurrent); });
    connect(buttons_[Duplicate], &QPushButton::clicked, this, [this] { DuplicateRecord(); });
    connect(buttons_[Validate], &QPushButton::clicked, this, [this] { ValidateRecord(); });
}

// --- Browsing ------------------------------------------------------------------------------
// Every call into the address space runs on the worker; the tree and the list change when its
// answers come back. An answer about a tree or a listing that has changed since is dropped.

void CVItemAddDlg::BuildRoot() {
    ++treeGeneration_;
    ++listing_;
    tree_->clear();
    leafModel_->Clear();
    const int generation = treeGeneration_;
    const QString serverName = Utf8(group_.server ? group_.server->progId : std::string());
    worker_->Post([this, generation, serverName](const AddressSpaceBrowser& browser) -> BrowseWorker::Result {
        const OPCNAMESPACETYPE organization = browser.Organization();
        if (organization == OPC_NS_HIERARCHIAL) browser.MoveToTop();
        return [this, generation, serverName, organization] {
            if (generation != treeGeneration_) return;
            if (organization != OPC_NS_HIERARCHIAL && organization != OPC_NS_FLAT) return;
            const bool hierarchical = organization == OPC_NS_HIERARCHIAL;
            QTreeWidgetItem* root = NewBranch(serverName, hierarchical ? -1 : 0, hierarchical);
            tree_->addTopLevelItem(root);
            tree_->setCurrentItem(root);
        };
    });
}

std::vector<std::string> CVItemAddDlg::PathOf(const QTreeWidgetItem* node) const {
    // The branches from the topmost below the root down to `node`; the root is never entered.
    std::vector<std::string> path;
    for (const QTreeWidgetItem* at = node; at && at->parent(); at = at->parent())
        path.push_back(at->text(0).toStdString());
    std::reverse(path.begin(), path.end());
    return path;
}

void CVItemAddDlg::ExpandBranch(QTreeWidgetItem* branch) {
    if (!browsing_ || !HasPlaceholder(branch)) return;
    const int generation = treeGeneration_;
    const std::vector<std::string> path = PathOf(branch);
    const std::string filter = branchFilter_->text().toStdString();
    worker_->Post([=, this](const AddressSpaceBrowser& browser) -> BrowseWorker::Result {
        browser.MoveTo(path);
        auto names = browser.Branches(filter);
        return [this, branch, generation, names = std::move(names)] {
            if (generation != treeGeneration_ || !HasPlaceholder(branch)) return;
            delete branch->takeChild(0);
            if (!names) {
                StopBrowsing();
                return;
            }
            const int depth = branch->data(0, kDepthRole).toInt() + 1;
            QList<QTreeWidgetItem*> children;
            children.reserve(static_cast<qsizetype>(names->size()));
            for (const std::string& name : *names) children.append(NewBranch(Utf8(name), depth, true));
            branch->addChildren(children);
        };
    });
}

void CVItemAddDlg::CollapseBranch(QTreeWidgetItem* branch) {
    // The next expansion browses again. Answers about the children that go are dropped.
    if (HasPlaceholder(branch) || branch->childCount() == 0) return;
    ++treeGeneration_;
    const QList<QTreeWidgetItem*> children = branch->takeChildren();
    qDeleteAll(children);
    auto* placeholder = new QTreeWidgetItem({Utf8(kPlaceholder)});
    placeholder->setData(0, kDepthRole, -1);
    branch->addChild(placeholder);
}

void CVItemAddDlg::ListLeaves() {
    QTreeWidgetItem* branch = tree_->currentItem();
    if (!browsing_ || !branch) return;
    const int listing = ++listing_;
    const std::vector<std::string> path = PathOf(branch);
    const bool flat = browseFlat_->isChecked();
    const std::string filter = leafFilter_->text().toStdString();
    const VARTYPE type = ChosenType(*typeFilter_);
    const auto access = static_cast<DWORD>(accessFilter_->currentIndex());
    worker_->Post([=, this](const AddressSpaceBrowser& browser) -> BrowseWorker::Result {
        browser.MoveTo(path);
        auto names = browser.Leaves(flat, filter, type, access);
        if (names) std::sort(names->begin(), names->end());  // here, not on the GUI thread
        return [this, listing, names = std::move(names)]() mutable {
            if (listing != listing_) return;
            if (!names) {
                StopBrowsing();
                return;
            }
            leafModel_->SetSortedLeaves(std::move(*names));
            if (leafModel_->rowCount() > 0)
                leaves_->selectionModel()->setCurrentIndex(leafModel_->index(0), QItemSelectionModel::ClearAndSelect);
        };
    });
}

void CVItemAddDlg::StopBrowsing() {
    browsing_ = false;
    UpdateControls();
}

void CVItemAddDlg::AddSelectedLeaves() {
    if (!browsing_) return;
    QModelIndexList selected = leaves_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<int> rows;
    std::vector<std::string> names;
    for (const QModelIndex& index : selected) {
        rows.push_back(index.row());
        names.push_back(leafModel_->NameAt(index.row()));
    }
    LookUpItemIds(std::move(rows), std::move(names), true);
}

void CVItemAddDlg::AddLeafAt(int row) {
    if (!browsing_ || row < 0 || row >= leafModel_->rowCount()) return;
    LookUpItemIds({row}, {leafModel_->NameAt(row)}, false);
}

void CVItemAddDlg::LookUpItemIds(std::vector<int> rows, std::vector<std::string> names, bool addButton) {
    const bool flat = browseFlat_->isChecked();
    const int listing = listing_;
    worker_->Post([=, this](const AddressSpaceBrowser& browser) -> BrowseWorker::Result {
        // Flat listings name leaves from the top; otherwise the position is still the branch.
        std::vector<std::optional<std::string>> itemIds;
        itemIds.reserve(names.size());
        for (const std::string& name : names) {
            if (flat) browser.MoveToTopForLookup();
            itemIds.push_back(browser.ItemIdOf(name));
        }
        return [this, rows, listing, addButton, itemIds = std::move(itemIds)] {
            const bool sameRows = listing == listing_;
            if (addButton)
                AddFoundItems(rows, itemIds, sameRows);
            else if (itemIds.front())
                AddDoubleClicked(*itemIds.front());
        };
    });
}

void CVItemAddDlg::AddFoundItems(const std::vector<int>& rows, const std::vector<std::optional<std::string>>& itemIds,
                                 bool sameRows) {
    setUpdatesEnabled(false);
    const CItemAddressRegistry& registry = CItemAddressRegistry::Instance();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::optional<std::string>& itemId = itemIds[i];
        if (!itemId || registry.ContainsItemId(*itemId) || addedIds_.contains(*itemId)) continue;
        editor_.NewRecordFor(*itemId);
        if (!editor_.Store()) continue;
        addedIds_.insert(*itemId);
        if (sameRows) leafModel_->MarkAdded(rows[i]);
    }
    setUpdatesEnabled(true);
    ShowRecord();
    UpdateControls();
}

void CVItemAddDlg::AddDoubleClicked(const std::string& itemId) {
    editor_.NewRecordFor(itemId);
    editor_.Store();
    ShowRecord();
    UpdateControls();
}

bool CVItemAddDlg::IsWorking() const { return worker_ && worker_->Busy(); }

// --- The record editor ---------------------------------------------------------------------

ItemDraft CVItemAddDlg::ReadRecord() const {
    ItemDraft record;
    record.accessPath = accessPath_->text().toStdString();
    record.itemId = itemId_->text().toStdString();
    record.dataType = ChosenType(*dataType_);
    record.active = active_->isChecked();
    return record;
}

void CVItemAddDlg::ShowRecord() {
    const ItemDraft& record = editor_.Record();
    accessPath_->setText(Utf8(record.accessPath));
    itemId_->setText(Utf8(record.itemId));
    ShowType(*dataType_, record.dataType);
    active_->setChecked(record.active);
}

void CVItemAddDlg::RecordEdited() {
    editor_.Edit(ReadRecord());
    UpdateControls();
}

void CVItemAddDlg::Navigate(bool (ItemRecordEditor::*step)()) {
    if (!(editor_.*step)()) return;  // the record could not be stored: stay on it
    ShowRecord();
    UpdateControls();
}

void CVItemAddDlg::ValidateRecord() {
    const ItemRecordEditor::Validation validation = editor_.Validate(false);
    if (validation.hr != S_OK)
        message_(this, ItemRecordEditor::ValidationText(IDS_ITEM_VALIDATION_FAILED, editor_.Record().itemId,
                                                        validation.hr));
    ShowRecord();
    UpdateControls();
}

void CVItemAddDlg::DuplicateRecord() {
    const ItemRecordEditor::Validation validation = editor_.Validate(true);
    if (validation.hr != S_OK) {
        message_(this, ItemRecordEditor::ValidationText(IDS_ITEM_VALIDATION_FAILED, editor_.Record().itemId,
                                                        validation.hr));
        return;
    }
    CVDuplicateItemCountDlg count(this, message_);
    if (count.exec() != QDialog::Accepted) return;
    bool complete = true;
    {
        WaitCursor cursor;
        setUpdatesEnabled(false);
        complete = editor_.Duplicate(count.Count(), validation.isBitOfWord);
        setUpdatesEnabled(true);
    }
    ShowRecord();
    UpdateControls();
    if (!complete)
        message_(this, Tr("下一个变量 ID 将超过 351 个字符，复制已停止。",
                          "The next item ID would be longer than 351 characters; duplication stopped."));
}

void CVItemAddDlg::UpdateControls() {
    const int index = editor_.CurrentIndex();
    const int count = editor_.Count();
    const bool hasId = !editor_.Record().itemId.empty();
    buttons_[Next]->SetEnabled(index < count - 1);
    buttons_[Previous]->SetEnabled(index > 0);
    buttons_[New]->SetEnabled(hasId);
    buttons_[Duplicate]->SetEnabled(hasId);
    buttons_[Delete]->SetEnabled(index < count);
    buttons_[Validate]->SetEnabled(editor_.CanValidate());
    for (QWidget* control : std::initializer_list<QWidget*>{tree_, leaves_, addItems_, accessFilter_, leafFilter_,
                                                            typeFilter_, branchFilter_, browseFlat_})
        control->setEnabled(browsing_);
    countText_->setText(QString::asprintf(Tr("待添加变量数: %d", "Items to add: %d"), count));
    // The focus never stays on a control that has gone grey.
    if (QWidget* focused = focusWidget(); focused && !focused->isEnabled()) itemId_->setFocus();
}

void CVItemAddDlg::accept() {
    // Items entered by hand count as much as those picked from the server.
    if (editor_.Count() == 0 && !editor_.IsDirty()) {
        message_(this, Tr("未添加任何变量！", "No item was added!"));
        return;
    }
    if (!editor_.Store()) return;
    QDialog::accept();
}

void CVItemAddDlg::reject() {
    editor_.DiscardAll();  // the items made here go now, and with them their addresses
    QDialog::reject();
}

// --- The command ---------------------------------------------------------------------------

void RunNewItemCommand(QWidget* parent, CVDocument& document, CVGroup& group) {
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (group.server && group.server->IsAlive()) browse = group.server->BrowseAddressSpace();
    CVItemAddDlg dialog(group, browse, parent);
    if (dialog.exec() != QDialog::Accepted) return;
    document.AddNewItems(group, dialog.TakeItems());
}
