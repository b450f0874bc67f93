// "添加变量": adds items to a group. On the left the server's branches, on the right the leaves
// of the selected one; Add items turns the selected leaves into new items. Below, the record
// editor enters an item by hand (access path, ItemID, data type, active), validates it with the
// server and duplicates it under counted names. The new items belong to the dialog until OK
// hands them over; Cancel deletes them and gives their forwarding addresses back.
#pragma once

#include "ui/items/browse_worker.h"
#include "ui/framework/dialog_parts.h"
#include "ui/items/item_record_editor.h"

#include <QDialog>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CImageButton;
class CItemAddressRegistry;
class CVDocument;
class CVGroup;
class LeafListModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CVItemAddDlg : public QDialog {
public:
    static constexpr const char* kSection = "Add Items";
    // Asks a Yes/No question; true for Yes. Tests answer instead.
    using QuestionFunction = std::function<bool(QWidget* parent, const std::string& text)>;

    // `browse` null: browsing is unavailable for this run.
    CVItemAddDlg(CVGroup& group, ComPtr<IOPCBrowseServerAddressSpace> browse, QWidget* parent = nullptr,
                 DialogMessageFunction message = PlainMessageBox, QuestionFunction question = {});
    ~CVItemAddDlg() override;  // writes the two settings back

    // After OK: the new items in creation order, now the caller's.
    std::vector<CVItem*> TakeItems() { return editor_.TakeItems(); }
    int ItemCount() const { return editor_.Count(); }
    const ItemRecordEditor& Editor() const { return editor_; }
    bool IsBrowsing() const { return browsing_; }
    // Browsing calls still under way; their answers arrive through the event loop.
    bool IsWorking() const;

    // What the buttons and the list do.
    void AddSelectedLeaves();
    void AddLeafAt(int row);  // a double click
    void ValidateRecord();
    void DuplicateRecord();
    void accept() override;
    void reject() override;

    // Controls, for tests and the accessibility checks.
    QTreeWidget* BranchTree() const { return tree_; }
    QListView* LeafList() const { return leaves_; }
    LeafListModel& Leaves() const { return *leafModel_; }
    QLineEdit* AccessPathEdit() const { return accessPath_; }
    QLineEdit* ItemIdEdit() const { return itemId_; }
    QComboBox* DataTypeList() const { return dataType_; }
    QCheckBox* ActiveBox() const { return active_; }
    QLineEdit* LeafFilterEdit() const { return leafFilter_; }
    QLineEdit* BranchFilterEdit() const { return branchFilter_; }
    QComboBox* TypeFilterList() const { return typeFilter_; }
    QComboBox* AccessFilterList() const { return accessFilter_; }
    QCheckBox* BrowseFlatBox() const { return browseFlat_; }
    QCheckBox* AutoValidateBox() const { return autoValidate_; }
    QPushButton* AddItemsButton() const { return addItems_; }
    QLabel* CountText() const { return countText_; }
    enum RecordButton { Previous, Next, New, Duplicate, Delete, Validate, kRecordButtons };
    CImageButton* Button(RecordButton which) const { return buttons_[which]; }

private:
    QWidget* BuildBrowser();
    QWidget* BuildRecordEditor();
    void ConnectControls();
    void BuildRoot();
    void ExpandBranch(QTreeWidgetItem* branch);
    void CollapseBranch(QTreeWidgetItem* branch);
    void ListLeaves();
    void StopBrowsing();
    std::vector<std::string> PathOf(const QTreeWidgetItem* node) const;
    // Asks the server for the ItemIDs of the named leaves; the Add items button adds them
    // (with its checks), a double click adds the first.
    void LookUpItemIds(std::vector<int> rows, std::vector<std::string> names, bool addButton);
    void AddFoundItems(const std::vector<int>& rows, const std::vector<std::optional<std::string>>& itemIds,
                       bool sameRows);
    void AddDoubleClicked(const std::string& itemId);
    void RecordEdited();
    void Navigate(bool (ItemRecordEditor::*step)());
    ItemDraft ReadRecord() const;
    void ShowRecord();
    void UpdateControls();

    CVGroup& group_;
    bool browsing_;
    std::unique_ptr<BrowseWorker> worker_;
    int treeGeneration_ = 0;  // changes whenever branches go
    int listing_ = 0;         // the latest listing of leaves asked for
    ItemRecordEditor editor_;
    DialogMessageFunction message_;
    QuestionFunction question_;
    std::set<std::string> addedIds_;  // added through Add items in this run

    QTreeWidget* tree_ = nullptr;
    QListView* leaves_ = nullptr;
    LeafListModel* leafModel_ = nullptr;
    QLineEdit* leafFilter_ = nullptr;
    QLineEdit* branchFilter_ = nullptr;
    QComboBox* typeFilter_ = nullptr;
    QComboBox* accessFilter_ = nullptr;
    QCheckBox* browseFlat_ = nullptr;
    QPushButton* addItems_ = nullptr;
    QLabel* countText_ = nullptr;
    QLineEdit* accessPath_ = nullptr;
    QLineEdit* itemId_ = nullptr;
    QComboBox* dataType_ = nullptr;
    QCheckBox* active_ = nullptr;
    QCheckBox* autoValidate_ = nullptr;
    CImageButton* buttons_[kRecordButtons] = {};
};

// The New item command: the dialog for `group` (browsing when its server is connected and
// answers), then the document adds what it made.
void RunNewItemCommand(QWidget* parent, CVDocument& document, CVGroup& group);
