// "变量属性": the selected items one at a time, with Previous and Next. An item on the server
// shows its ItemID and access path read-only; its active state and data type change on the
// server at once. An item not on the server can have its ItemID and access path corrected and
// is added again when the operator moves on or presses OK. Below, the properties the server
// reports for the item: ID, description, value and the property's own ItemID.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"
#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <functional>
#include <vector>

class CImageButton;
class CVItem;
class CVServer;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTableWidget;

class CVItemPropertiesDlg : public QDialog {
public:
    // Told when an item was added to the server again (its state and address changed).
    using ItemChanged = std::function<void(CVItem* item)>;

    CVItemPropertiesDlg(std::vector<CVItem*> items, ComPtr<IOPCItemMgt> itemMgt, CVServer* server,
                        QWidget* parent = nullptr, DialogMessageFunction message = PlainMessageBox,
                        ItemChanged itemChanged = {});

    // An item's active state or data type was changed on the server.
    bool Modified() const { return modified_; }
    int CurrentIndex() const { return current_; }

    void ShowItem(int index);
    void accept() override;

    QLineEdit* AccessPathEdit() const { return accessPath_; }
    QLineEdit* ItemIdEdit() const { return itemId_; }
    QComboBox* DataTypeList() const { return dataType_; }
    QCheckBox* ActiveBox() const { return active_; }
    QTableWidget* PropertyList() const { return properties_; }
    CImageButton* PreviousButton() const { return previous_; }
    CImageButton* NextButton() const { return next_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CVItem& Current() const { return *items_[static_cast<std::size_t>(current_)]; }
    bool OnServer() const;
    void StoreRecord();
    void Refresh();
    void FillDataTypes(VARTYPE shown);
    void FillProperties();
    void ToggleActive();
    void ChooseDataType();

    std::vector<CVItem*> items_;
    ComPtr<IOPCItemMgt> itemMgt_;
    ComPtr<IOPCItemProperties> itemProperties_;
    CVServer* server_;
    DialogMessageFunction message_;
    ItemChanged itemChanged_;
    int current_ = -1;
    VARTYPE shownType_ = VT_EMPTY;
    bool modified_ = false;

    QLineEdit* accessPath_;
    QLineEdit* itemId_;
    QComboBox* dataType_;
    QCheckBox* active_;
    QTableWidget* properties_;
    CImageButton* previous_;
    CImageButton* next_;
};
