#include "ui/navigation/group_property_sheet.h"

#include "opc/client/group.h"
#include "opc/client/group_state.h"
#include "opc/client/server.h"
#include "platform/com/bstr.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/controls/numeric_edit.h"
#include "ui/framework/wait_cursor.h"
#include "ui/navigation/interface_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <limits>

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

constexpr long long kMaxDword = std::numeric_limits<DWORD>::max();
constexpr long long kMaxLong = std::numeric_limits<LONG>::max();
constexpr long long kMinLong = std::numeric_limits<LONG>::min();

}  // namespace

CVGroupGeneralPage::CVGroupGeneralPage(QWidget* parent)
    : QWidget(parent),
      name_(new QLineEdit(this)),
      updateRate_(new CNumericEdit(this)),
      timeBias_(new CNumericEdit(this)),
      deadband_(new CRealNumEdit(this)),
      locale_(new CNumericEdit(this)),
      checkInterval_(new QLineEdit(this)),
      active_(new QCheckBox(Utf8(Tr("激活状态", "Active")), this)),
      updateMethod_(new QComboBox(this)) {
    updateMethod_->addItems({QStringLiteral("OPC 1.0 (No Timestamp)"), QStringLiteral("OPC 1.0 (With Timestamp)"),
                             QStringLiteral("OPC 2.0")});
    auto* form = new QFormLayout(this);
    const auto addRow = [this, form](const char* text, QWidget* field) { form->addRow(FieldLabel(text, field, this), field); };
    addRow(Tr("名称:", "Name:"), name_);
    addRow(Tr("更新频率 (ms.):", "Update rate (ms.):"), updateRate_);
    addRow(Tr("时间偏移 (min.):", "Time bias (min.):"), timeBias_);
    addRow(Tr("死区百分比:", "Percent deadband:"), deadband_);
    addRow(Tr("语言 ID:", "Locale ID:"), locale_);
    addRow(Tr("错误检测间隔 (分):", "Error check interval (min.):"), checkInterval_);
    addRow(Tr("更新通知:", "Update notification:"), updateMethod_);
    form->addRow(active_);

    for (QLineEdit* edit : {name_, static_cast<QLineEdit*>(updateRate_), static_cast<QLineEdit*>(timeBias_),
                            static_cast<QLineEdit*>(deadband_), static_cast<QLineEdit*>(locale_)})
        connect(edit, &QLineEdit::textEdited, this, [this] { MarkChanged(); });
    connect(active_, &QCheckBox::clicked, this, [this] { MarkChanged(); });
    ShowFields();
}

void CVGroupGeneralPage::MarkChanged() {
    changed = true;
    if (onChange_) onChange_();
}

void CVGroupGeneralPage::ShowFields() {
    name_->setText(QString::fromStdString(fields.name));
    updateRate_->SetExchangeText(QString::number(fields.updateRate));
    timeBias_->SetExchangeText(QString::number(fields.timeBias));
    deadband_->setText(QString::number(static_cast<double>(fields.percentDeadband), 'g', 6));
    locale_->SetExchangeText(QString::number(fields.lcid));
    checkInterval_->setText(QString::number(fields.checkInterval));
    active_->setChecked(fields.active);
    updateMethod_->setCurrentIndex(fields.updateMethod);
}

bool CVGroupGeneralPage::ReadControls(const DialogMessageFunction& message) {
    QWidget* parent = window();
    fields.name = name_->text().toStdString();
    const auto rate = ReadIntegerText(updateRate_->ExchangeText(), *updateRate_, 0, kMaxDword, message, parent);
    if (!rate) return false;
    fields.updateRate = static_cast<DWORD>(*rate);
    const auto bias = ReadIntegerText(timeBias_->ExchangeText(), *timeBias_, 0, kMaxLong, message, parent);
    if (!bias) return false;
    fields.timeBias = static_cast<LONG>(*bias);
    const auto deadband = ReadRealText(deadband_->text(), *deadband_, 0.0, 100.0, message, parent);
    if (!deadband) return false;
    fields.percentDeadband = static_cast<FLOAT>(*deadband);
    const auto locale = ReadIntegerText(locale_->ExchangeText(), *locale_, 0, kMaxDword, message, parent);
    if (!locale) return false;
    fields.lcid = static_cast<DWORD>(*locale);
    const auto interval = ReadIntegerText(checkInterval_->text(), *checkInterval_, kMinLong, kMaxLong, message, parent);
    if (!interval) return false;
    fields.checkInterval = static_cast<LONG>(*interval);
    fields.active = active_->isChecked();
    fields.updateMethod = updateMethod_->currentIndex();
    return true;
}

CVGroupPropertySheet::CVGroupPropertySheet(CVServer* server, QWidget* parent, DialogMessageFunction message)
    : CVGroupPropertySheet(server, nullptr, parent, std::move(message)) {}

CVGroupPropertySheet::CVGroupPropertySheet(CVGroup* group, QWidget* parent, DialogMessageFunction message)
    : CVGroupPropertySheet(nullptr, group, parent, std::move(message)) {}

CVGroupPropertySheet::CVGroupPropertySheet(CVServer* server, CVGroup* group, QWidget* parent,
                                           DialogMessageFunction message)
    : QDialog(parent),
      server_(server),
      group_(group),
      message_(std::move(message)),
      pages_(new QTabWidget(this)),
      general_(new CVGroupGeneralPage) {
    QString caption = TableText(IDS_GROUP_PROPERTIES);
    pages_->addTab(general_, Utf8(Tr("通用", "General")));
    auto* buttons = OkCancelButtons(this);
    if (group_) {
        FillFromGroup();
        pages_->addTab(MakeInterfacesPage(InterfaceRows(*group_), &interfaces_), Utf8(Tr("接口", "Interfaces")));
        apply_ = buttons->addButton(Utf8(Tr("应用(&A)", "&Apply")), QDialogButtonBox::ApplyRole);
        apply_->setEnabled(false);
        connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
        general_->SetOnChange([this] { apply_->setEnabled(true); });
        const std::string count(LoadString(IDS_ITEM_COUNT_TITLE));
        caption += QString::asprintf(count.c_str(), static_cast<int>(group_->ItemCount()));
    }
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    resize(440, 380);  // the Interfaces page's three columns fit
    general_->NameEdit()->setFocus();  // typing starts in the name, not on the page tabs
}

void CVGroupPropertySheet::FillFromGroup() {
    GroupSheetFields& f = general_->fields;
    if (ComPtr<IOPCGroupStateMgt> state = group_->GroupStateMgt()) {
        ReadBackFromServer();
    } else {
        f.updateRate = group_->updateRate;
        f.active = group_->active != FALSE;
        f.name = group_->Name();
        f.timeBias = group_->timeBias;
        f.percentDeadband = group_->percentDeadband;
        f.lcid = group_->lcid;
    }
    f.checkInterval = static_cast<LONG>(group_->RefreshInterval());
    f.updateMethod = static_cast<int>(group_->DataChangeMode());
    general_->ShowFields();
}

// What the server holds for the group; a failed call leaves the fields as they are.
void CVGroupPropertySheet::ReadBackFromServer() {
    ComPtr<IOPCGroupStateMgt> state = group_->GroupStateMgt();
    if (!state) return;
    WaitCursor cursor;
    const std::optional<GroupState> read = ReadGroupState(*state);
    if (!read) return;
    GroupSheetFields& f = general_->fields;
    f.updateRate = read->updateRate;
    f.active = read->active;
    f.timeBias = read->timeBias;
    f.percentDeadband = read->percentDeadband;
    f.lcid = read->lcid;
    if (!read->name.empty()) f.name = read->name;
}

void CVGroupPropertySheet::Apply() {
    if (!group_ || !general_->changed) return;
    if (!general_->ReadControls(message_)) return;
    if (ComPtr<IOPCGroupStateMgt> state = group_->GroupStateMgt()) {
        GroupSheetFields& f = general_->fields;
        DWORD rate = f.updateRate;
        DWORD revised = 0;
        BOOL active = f.active ? TRUE : FALSE;
        LONG bias = f.timeBias;
        FLOAT deadband = f.percentDeadband;
        DWORD locale = f.lcid;
        OPCHANDLE clientGroup = group_->ClientHandle();
        {
            WaitCursor cursor;
            state->SetState(&rate, &revised, &active, &bias, &deadband, &locale, &clientGroup);
            state->SetName(WideFromUtf8(f.name).c_str());
        }
        ReadBackFromServer();
        general_->ShowFields();
    }
    general_->changed = false;
    if (apply_) apply_->setEnabled(false);
}

void CVGroupPropertySheet::accept() {
    if (!general_->ReadControls(message_)) return;
    QDialog::accept();
}

void CVGroupPropertySheet::Finish() {
    const bool isNew = !group_;
    if (isNew)
        group_ = new CVGroup(server_);
    else
        Apply();
    CVServer* server = group_->server;
    GroupSheetFields& f = general_->fields;
    // A live server names an unnamed group itself; otherwise the group gets a free name here.
    if (f.name.empty() && !(server && server->IsAlive())) {
        f.name = "Group0";
        if (server) server->MakeUniqueGroupName(f.name);
    }
    CopyFieldsIntoGroup();
    if (isNew && server_) server_->AddGroup(group_, false);
}

void CVGroupPropertySheet::CopyFieldsIntoGroup() {
    const GroupSheetFields& f = general_->fields;
    group_->SetName(f.name);
    group_->active = f.active ? TRUE : FALSE;
    group_->lcid = f.lcid;
    group_->percentDeadband = f.percentDeadband;
    group_->timeBias = f.timeBias;
    group_->updateRate = f.updateRate;
    group_->SetRefreshInterval(static_cast<DWORD>(f.checkInterval));
    group_->SetDataChangeMode(static_cast<DWORD>(f.updateMethod));
}

int CVGroupPropertySheet::DoModal() {
    if (exec() != QDialog::Accepted) return QDialog::Rejected;
    Finish();
    return QDialog::Accepted;
}

CVGroup* RunGroupPropertySheet(QWidget* parent, CVServer* server, CVGroup* group) {
    auto sheet = group ? std::make_unique<CVGroupPropertySheet>(group, parent)
                       : std::make_unique<CVGroupPropertySheet>(server, parent);
    return sheet->DoModal() == QDialog::Accepted ? sheet->Group() : nullptr;
}
