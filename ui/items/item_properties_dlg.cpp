#include "ui/items/item_properties_dlg.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "opc/client/value_text.h"
#include "platform/com/bstr.h"
#include "platform/com/memory.h"
#include "platform/com/variant.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/controls/image_button.h"
#include "ui/framework/wait_cursor.h"
#include "ui/items/data_type_names.h"
#include "ui/items/item_name_generator.h"
#include "ui/framework/dialog_parts.h"
#include "ui/resources/icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int kAccessPathLength = 255;

const char* const kArrayTypes[] = {"Byte Array",  "Char Array", "Word Array",  "Short Array",
                                   "DWord Array", "Long Array", "Float Array", "Double Array"};
const char* const kScalarTypes[] = {"Boolean", "Byte", "Char", "Word", "Short", "DWord", "Long", "Float", "Double",
                                    "String"};

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

void FreeString(LPWSTR& text) { CoTaskMemFree(text); }
void ClearValue(VARIANT& value) { VariantClear(&value); }

}  // namespace

CVItemPropertiesDlg::CVItemPropertiesDlg(std::vector<CVItem*> items, ComPtr<IOPCItemMgt> itemMgt, CVServer* server,
                                         QWidget* parent, DialogMessageFunction message, ItemChanged itemChanged)
    : QDialog(parent),
      items_(std::move(items)),
      itemMgt_(std::move(itemMgt)),
      itemProperties_(server ? server->ItemProperties() : nullptr),
      server_(server),
      message_(message ? std::move(message) : PlainMessageBox),
      itemChanged_(std::move(itemChanged)),
      accessPath_(new QLineEdit(this)),
      itemId_(new QLineEdit(this)),
      dataType_(new QComboBox(this)),
      active_(new QCheckBox(QString::fromUtf8(Tr("活动", "Active")), this)),
      properties_(new QTableWidget(0, 4, this)),
      previous_(new CImageButton(QStringLiteral("Previous Item"), style()->standardIcon(QStyle::SP_ArrowBack), QIcon(),
                                 this)),
      next_(new CImageButton(QStringLiteral("Next Item"), style()->standardIcon(QStyle::SP_ArrowForward), QIcon(),
                             this)) {
    setWindowTitle(QString::fromUtf8(Tr("变量属性", "Item Properties")));
    accessPath_->setMaxLength(kAccessPathLength);
    itemId_->setMaxLength(static_cast<int>(kMaxItemIdLength));

    auto* general = new QGroupBox(QString::fromUtf8(Tr("通用", "General")), this);
    auto* form = new QFormLayout(general);
    form->addRow(FieldLabel(Tr("访问路径:", "Access path:"), accessPath_, general), accessPath_);
    form->addRow(FieldLabel(Tr("变量 ID:", "Item ID:"), itemId_, general), itemId_);
    form->addRow(FieldLabel(Tr("数据类型:", "Data type:"), dataType_, general), dataType_);
    form->addRow(active_);

    auto* advanced = new QGroupBox(QString::fromUtf8(Tr("高级的", "Advanced")), this);
    ConfigureReportView(*properties_);
    properties_->setHorizontalHeaderLabels(
        {TableText(IDS_COLUMN_ID), TableText(IDS_COLUMN_DESCRIPTION), TableText(IDS_COLUMN_VALUE), TableText(IDS_COLUMN_ITEM_ID)});
    properties_->setAccessibleName(QString::fromUtf8(Tr("属性", "Properties")));
    properties_->setEnabled(static_cast<bool>(itemProperties_));
    properties_->installEventFilter(this);
    auto* advancedLayout = new QVBoxLayout(advanced);
    advancedLayout->addWidget(properties_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8(Tr("确定", "OK")));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(previous_);
    bottom->addWidget(next_);
    bottom->addStretch(1);
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(advanced, 1);
    layout->addLayout(bottom);
    resize(560, 480);

    connect(previous_, &QPushButton::clicked, this, [this] { ShowItem(current_ - 1); });
    connect(next_, &QPushButton::clicked, this, [this] { ShowItem(current_ + 1); });
    connect(active_, &QCheckBox::clicked, this, [this] { ToggleActive(); });
    connect(dataType_, &QComboBox::activated, this, [this] { ChooseDataType(); });
    if (!items_.empty()) ShowItem(0);
}

bool CVItemPropertiesDlg::OnServer() const { return Current().added != FALSE; }

void CVItemPropertiesDlg::ShowItem(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    if (current_ >= 0) StoreRecord();
    current_ = index;
    const CVItem& item = Current();
    accessPath_->setText(Utf8(item.accessPath));
    itemId_->setText(Utf8(item.itemId));
    active_->setChecked(item.active != FALSE);
    shownType_ = item.ShownType();
    Refresh();
}

void CVItemPropertiesDlg::Refresh() {
    WaitCursor cursor;
    next_->SetEnabled(current_ < static_cast<int>(items_.size()) - 1);
    previous_->SetEnabled(current_ > 0);
    // Only an item that is not on the server can be named anew.
    accessPath_->setEnabled(!OnServer());
    itemId_->setEnabled(!OnServer());
    FillDataTypes(shownType_);
    FillProperties();
    if (QWidget* focused = focusWidget(); focused && !focused->isEnabled()) dataType_->setFocus();
}

void CVItemPropertiesDlg::FillDataTypes(VARTYPE shown) {
    dataType_->clear();
    if (!OnServer())
        for (const char* name : kDataTypeNames) dataType_->addItem(QString::fromLatin1(name));
    else if (shown & VT_ARRAY)
        for (const char* name : kArrayTypes) dataType_->addItem(QString::fromLatin1(name));
    else
        for (const char* name : kScalarTypes) dataType_->addItem(QString::fromLatin1(name));
    dataType_->setCurrentIndex(dataType_->findText(Utf8(VarTypeName(shown))));
}

void CVItemPropertiesDlg::FillProperties() {
    properties_->setRowCount(0);
    if (!itemProperties_) return;
    const CVItem& item = Current();
    std::string id = item.itemId;
    if (!item.accessPath.empty() && server_ && (server_->flags & 1)) id = item.accessPath + "." + item.itemId;
    std::u16string wideId = WideFromUtf8(id);

    DWORD count = 0;
    TaskMemArray<DWORD> ids;
    TaskMemArray<LPWSTR> descriptions(FreeString);
    TaskMemArray<VARTYPE> types;
    if (FAILED(itemProperties_->QueryAvailableProperties(wideId.data(), &count, ids.put(), descriptions.put(),
                                                         types.put())))
        return;
    descriptions.SetFilled(count);
    if (count == 0 || !ids) return;
    TaskMemArray<VARIANT> values(ClearValue);
    TaskMemArray<HRESULT> valueErrors;
    const HRESULT gotValues = itemProperties_->GetItemProperties(wideId.data(), count, ids.get(), values.put(),
                                                                 valueErrors.put());
    values.SetFilled(values ? count : 0);
    TaskMemArray<LPWSTR> itemIds(FreeString);
    TaskMemArray<HRESULT> idErrors;
    const HRESULT gotIds =
        itemProperties_->LookupItemIDs(wideId.data(), count, ids.get(), itemIds.put(), idErrors.put());
    itemIds.SetFilled(itemIds ? count : 0);
    if (FAILED(gotValues) || FAILED(gotIds) || !values || !itemIds) return;

    properties_->setRowCount(static_cast<int>(count));
    for (DWORD i = 0; i < count; ++i) {
        const int row = static_cast<int>(i);
        const bool hasValue = !(valueErrors && FAILED(valueErrors[i]));
        const bool hasItemId = itemIds[i] && !(idErrors && FAILED(idErrors[i]));
        properties_->setItem(row, 0, new QTableWidgetItem(QString::number(ids[i])));
        properties_->setItem(row, 1, new QTableWidgetItem(descriptions ? Utf8(Utf8FromWide(descriptions[i])) : QString()));
        properties_->setItem(row, 2, new QTableWidgetItem(hasValue ? Utf8(PropertyValueText(values[i])) : "???"));
        properties_->setItem(row, 3, new QTableWidgetItem(hasItemId ? Utf8(Utf8FromWide(itemIds[i])) : "N/A"));
    }
}

bool CVItemPropertiesDlg::eventFilter(QObject* watched, QEvent* event) {
    // The property columns take their shares of the list's width whenever it changes.
    if (watched == properties_ && event->type() == QEvent::Resize) {
        const int width = properties_->width();
        const int widths[] = {width / 8, width / 3, width / 6, width / 3};
        for (int column = 0; column < 4; ++column) properties_->setColumnWidth(column, widths[column]);
    }
    return QDialog::eventFilter(watched, event);
}

void CVItemPropertiesDlg::StoreRecord() {
    // A corrected item that is not on the server: named anew and added again.
    if (current_ < 0 || !itemId_->isEnabled()) return;
    CVItem& item = Current();
    item.accessPath = accessPath_->text().toStdString();
    item.itemId = itemId_->text().toStdString();
    CItemAddressRegistry::Instance().Register(&item);
    item.active = active_->isChecked() ? TRUE : FALSE;
    item.SetDataType(VarTypeFromName(dataType_->currentText().toStdString()));
    if (itemMgt_ && item.group) {
        CVItem* one = &item;
        item.group->AddItems(&one, 1, true);
    }
    if (itemChanged_) itemChanged_(&item);
}

void CVItemPropertiesDlg::ToggleActive() {
    CVItem& item = Current();
    if (!OnServer()) return;  // stored with the record
    bool changed = false;
    if (itemMgt_) {
        OPCHANDLE handle = item.serverHandle;
        TaskMemArray<HRESULT> errors;
        const HRESULT hr = itemMgt_->SetActiveState(1, &handle, item.active ? FALSE : TRUE, errors.put());
        changed = SUCCEEDED(hr) && !(errors && FAILED(errors[0]));
    }
    if (!changed) {
        active_->setChecked(item.active != FALSE);  // silently back
        return;
    }
    item.active = item.active ? FALSE : TRUE;
    modified_ = true;
}

void CVItemPropertiesDlg::ChooseDataType() {
    const VARTYPE chosen = VarTypeFromName(dataType_->currentText().toStdString());
    if (chosen == shownType_) return;
    if (!OnServer()) {
        shownType_ = chosen;  // stored with the record
        return;
    }
    HRESULT hr = E_NOINTERFACE;
    if (itemMgt_) {
        OPCHANDLE handle = Current().serverHandle;
        VARTYPE requested = chosen;
        TaskMemArray<HRESULT> errors;
        hr = itemMgt_->SetDatatypes(1, &handle, &requested, errors.put());
    }
    if (hr != S_OK) {
        char text[512];
        std::snprintf(text, sizeof text, std::string(LoadString(IDS_DATA_TYPE_NOT_SET)).c_str(),
                      VarTypeName(chosen).c_str());
        message_(this, text);
        dataType_->setCurrentIndex(dataType_->findText(Utf8(VarTypeName(shownType_))));
        return;
    }
    Current().SetDataType(chosen);
    shownType_ = chosen;
    modified_ = true;
}

void CVItemPropertiesDlg::accept() {
    StoreRecord();
    QDialog::accept();
}
