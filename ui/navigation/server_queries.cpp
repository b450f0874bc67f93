#include "ui/navigation/server_queries.h"

#include "opc/client/group_state.h"
#include "opc/da/iids.h"
#include "platform/com/bstr.h"
#include "platform/com/enums.h"
#include "platform/com/memory.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/framework/wait_cursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr int kCodeLength = 10;
constexpr std::size_t kMaxNameUnits = 259;  // 260 with the terminator
constexpr int kMaxEnumerated = 100000;    // a server that never stops enumerating is cut off here

QString Utf8(const char* text) { return QString::fromUtf8(text); }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

QLineEdit* ReadOnlyField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    return field;
}

std::u16string GroupName(const std::string& name) {
    std::u16string wide = WideFromUtf8(name);
    if (wide.size() > kMaxNameUnits) wide.resize(kMaxNameUnits);
    return wide;
}

}  // namespace

std::optional<HRESULT> ParseErrorCode(const std::string& text) {
    bool hex = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') continue;
        if (!hex && (c == 'x' || c == 'X')) {
            hex = true;
            continue;
        }
        if (!hex || !IsHexDigit(c)) return std::nullopt;
    }
    if (hex) {
        // An optional 0x, then hexadecimal digits up to the first other character.
        std::size_t at = 0;
        if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) at = 2;
        unsigned long long value = 0;
        std::size_t digits = 0;
        for (; at < text.size() && IsHexDigit(text[at]); ++at, ++digits) {
            const char c = text[at];
            const unsigned digit = c <= '9' ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
            value = std::min<unsigned long long>(value * 16 + digit, 0xFFFFFFFFull);
        }
        return static_cast<HRESULT>(digits ? static_cast<DWORD>(value) : 0xFFFFFFFFu);
    }
    long long value = 0;
    for (const char c : text) value = std::min<long long>(value * 10 + (c - '0'), 0x7FFFFFFF);
    return static_cast<HRESULT>(value);
}

GroupStateFields::GroupStateFields(const char* rateLabel, const char* biasLabel, bool withName, QWidget* parent)
    : QGroupBox(Utf8(Tr("组属性", "Group properties")), parent),
      rate_(ReadOnlyField(this)),
      bias_(ReadOnlyField(this)),
      deadband_(ReadOnlyField(this)),
      locale_(ReadOnlyField(this)),
      active_(new QCheckBox(Utf8(Tr("活动状态", "Active")), this)) {
    active_->setEnabled(false);
    auto* form = new QFormLayout(this);
    if (withName) {
        name_ = ReadOnlyField(this);
        form->addRow(FieldLabel(Tr("名字:", "Name:"), name_, this), name_);
    }
    form->addRow(FieldLabel(rateLabel, rate_, this), rate_);
    form->addRow(FieldLabel(biasLabel, bias_, this), bias_);
    form->addRow(FieldLabel(Tr("死区百分比:", "Percent deadband:"), deadband_, this), deadband_);
    form->addRow(FieldLabel(Tr("语言 ID:", "Locale ID:"), locale_, this), locale_);
    form->addRow(active_);
    Clear();
}

void GroupStateFields::Clear() {
    if (name_) name_->clear();
    for (QLineEdit* field : {rate_, bias_, deadband_, locale_}) field->setText(QStringLiteral("0"));
    active_->setChecked(false);
}

bool GroupStateFields::ShowGroup(IOPCServer& server, const std::string& name) {
    const std::u16string wide = GroupName(name);
    ComPtr<IOPCGroupStateMgt> state;
    if (FAILED(server.GetGroupByName(wide.c_str(), IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN*>(state.put()))) ||
        !state)
        return false;
    const std::optional<GroupState> read = ReadGroupState(*state);
    if (!read) return false;
    if (name_) name_->setText(QString::fromStdString(name));
    rate_->setText(QString::number(read->updateRate));
    bias_->setText(QString::number(read->timeBias));
    deadband_->setText(QString::number(static_cast<double>(read->percentDeadband), 'g', 6));
    locale_->setText(QString::number(read->lcid));
    active_->setChecked(read->active);
    return true;
}

ServerQueryDlg::ServerQueryDlg(const char* title, ComPtr<IOPCServer> server, QWidget* parent,
                               DialogMessageFunction message)
    : QDialog(parent), server_(std::move(server)), message_(message ? std::move(message) : PlainMessageBox) {
    setWindowTitle(Utf8(title));
    new QVBoxLayout(this);
}

void ServerQueryDlg::AddButtons() {
    auto* buttons = new QDialogButtonBox(this);
    apply_ = buttons->addButton(Utf8(Tr("应用", "Apply")), QDialogButtonBox::ApplyRole);
    apply_->setDefault(true);  // Enter asks; it never closes the dialog
    buttons->addButton(Utf8(Tr("取消", "Cancel")), QDialogButtonBox::RejectRole)->setAutoDefault(false);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout()->addWidget(buttons);
}

// --- Error string ------------------------------------------------------------------------------

CVServerGetErrorStringDlg::CVServerGetErrorStringDlg(ComPtr<IOPCServer> server, QWidget* parent,
                                                     DialogMessageFunction message)
    : ServerQueryDlg(Tr("取得错误信息", "Get Error String"), std::move(server), parent, std::move(message)),
      code_(new QLineEdit(this)),
      description_(new QPlainTextEdit(this)) {
    code_->setMaxLength(kCodeLength);
    description_->setReadOnly(true);
    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("错误码:", "Error code:"), code_, this), code_);
    form->addRow(FieldLabel(Tr("错误描述:", "Description:"), description_, this), description_);
    static_cast<QVBoxLayout*>(layout())->addLayout(form);
    AddButtons();
    apply_->setEnabled(false);
    connect(code_, &QLineEdit::textChanged, this, [this](const QString& text) { apply_->setEnabled(!text.isEmpty()); });
}

void CVServerGetErrorStringDlg::Apply() {
    const std::optional<HRESULT> code = ParseErrorCode(code_->text().toStdString());
    if (!code) {
        message_(this, std::string(LoadString(IDS_INVALID_HEX_NUMBER)));
        return;
    }
    TaskMemArray<WCHAR> text;
    const HRESULT hr = server_ ? server_->GetErrorString(*code, 0, text.put()) : E_NOINTERFACE;
    if (SUCCEEDED(hr) && text)
        description_->setPlainText(QString::fromStdString(Utf8FromWide(text.get())));
    else
        message_(this, std::string(LoadString(IDS_UNKNOWN_ERROR_CODE)));
    char normalised[16];
    std::snprintf(normalised, sizeof normalised, "0x%08X", static_cast<unsigned>(*code));
    code_->setText(QString::fromLatin1(normalised));
}

// --- Group by name -----------------------------------------------------------------------------

CVServerGroupByNameDlg::CVServerGroupByNameDlg(ComPtr<IOPCServer> server, QWidget* parent)
    : ServerQueryDlg(Tr("根据名称分组", "Group by Name"), std::move(server), parent, {}),
      name_(new QLineEdit(this)),
      fields_(new GroupStateFields(Tr("更新频率 (ms.):", "Update rate (ms.):"), Tr("时间补偿 (min.):", "Time bias (min.):"),
                                   false, this)) {
    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("名字:", "Name:"), name_, this), name_);
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->addLayout(form);
    box->addWidget(fields_);
    AddButtons();
    apply_->setEnabled(false);
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) { apply_->setEnabled(!text.isEmpty()); });
}

void CVServerGroupByNameDlg::Apply() {
    WaitCursor cursor;
    if (server_ && fields_->ShowGroup(*server_, name_->text().toStdString())) return;
    // A group the server does not hold: every field back to nothing.
    fields_->Clear();
    name_->clear();
}

// --- Enumerate groups --------------------------------------------------------------------------

CVServerEnumerateGroupsDlg::CVServerEnumerateGroupsDlg(ComPtr<IOPCServer> server, QWidget* parent)
    : ServerQueryDlg(Tr("枚举组", "Enumerate Groups"), std::move(server), parent, {}),
      scope_(new QComboBox(this)),
      by_(new QComboBox(this)),
      groups_(new QListWidget(this)),
      fields_(new GroupStateFields(Tr("更新速率 (毫秒):", "Update rate (ms):"), Tr("时间偏移 (分钟):", "Time bias (min):"),
                                   true, this)) {
    scope_->addItems({QStringLiteral("Private Groups"), QStringLiteral("Public Groups"), QStringLiteral("All Groups")});
    scope_->setCurrentIndex(2);
    by_->addItems({QStringLiteral("Group Object"), QStringLiteral("Group Name")});
    by_->setCurrentIndex(1);
    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("范围:", "Scope:"), scope_, this), scope_);
    form->addRow(FieldLabel(Tr("枚举依据:", "Enumerate by:"), by_, this), by_);
    form->addRow(FieldLabel(Tr("枚举的列表:", "Groups:"), groups_, this), groups_);
    auto* box = static_cast<QVBoxLayout*>(layout());
    box->addLayout(form);
    box->addWidget(fields_);
    AddButtons();
    connect(groups_, &QListWidget::currentRowChanged, this, [this] { ShowSelected(); });
    Enumerate();
    apply_->setEnabled(false);
    connect(scope_, &QComboBox::activated, this, [this] { apply_->setEnabled(true); });
    connect(by_, &QComboBox::activated, this, [this] { apply_->setEnabled(true); });
}

void CVServerEnumerateGroupsDlg::Apply() {
    Enumerate();
    apply_->setEnabled(false);
}

void CVServerEnumerateGroupsDlg::Enumerate() {
    WaitCursor cursor;
    groups_->clear();
    fields_->Clear();
    if (!server_) return;
    const auto scope = static_cast<OPCENUMSCOPE>(OPC_ENUM_PRIVATE + scope_->currentIndex());
    const bool byName = by_->currentIndex() == 1;
    QStringList names;
    if (byName) {
        ComPtr<IEnumString> enumerator;
        if (SUCCEEDED(server_->CreateGroupEnumerator(scope, IID_IEnumString,
                                                     reinterpret_cast<LPUNKNOWN*>(enumerator.put()))) &&
            enumerator) {
            LPOLESTR name = nullptr;
            while (names.size() < kMaxEnumerated && enumerator->Next(1, &name, nullptr) == S_OK) {
                if (name) names.append(QString::fromStdString(Utf8FromWide(name)));
                CoTaskMemFree(name);
                name = nullptr;
            }
        }
    } else {
        ComPtr<IEnumUnknown> enumerator;
        if (SUCCEEDED(server_->CreateGroupEnumerator(scope, IID_IEnumUnknown,
                                                     reinterpret_cast<LPUNKNOWN*>(enumerator.put()))) &&
            enumerator) {
            IUnknown* object = nullptr;
            while (names.size() < kMaxEnumerated && enumerator->Next(1, &object, nullptr) == S_OK) {
                ComPtr<IUnknown> held;
                held.attach(object);
                const auto state = held.As<IOPCGroupStateMgt>();
                const std::optional<GroupState> read = state ? ReadGroupState(*state) : std::nullopt;
                if (read && !read->name.empty()) names.append(QString::fromStdString(read->name));
                object = nullptr;
            }
        }
    }
    groups_->addItems(names);
    if (groups_->count() > 0) {
        groups_->setCurrentRow(0);
        groups_->scrollToItem(groups_->item(0));
    }
}

void CVServerEnumerateGroupsDlg::ShowSelected() {
    const QListWidgetItem* row = groups_->currentItem();
    if (row && server_) fields_->ShowGroup(*server_, row->text().toStdString());
}
