// The three questions an operator can put to a connected server through its IOPCServer: what
// an error code means ("取得错误信息"), the state of a group by its name ("根据名称分组"), and
// which groups it holds ("枚举组"). They change nothing on the server or in the project.
#pragma once

#include "opc/da/opcda.h"
#include "platform/com/unknown.h"
#include "ui/framework/dialog_parts.h"

#include <QDialog>
#include <QGroupBox>

#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The code an error-code text names: decimal digits, or hexadecimal once an "x" has come
// (0x80004005, 80004005x); nothing for any other character ("Invalid hexadecmial number.").
std::optional<HRESULT> ParseErrorCode(const std::string& text);

// The read-only state of one group, in a box "组属性"; with its name, or without when the
// dialog's own name box names the group.
class GroupStateFields : public QGroupBox {
public:
    GroupStateFields(const char* rateLabel, const char* biasLabel, bool withName, QWidget* parent);

    // Asks the server for the group named `name`; false (fields unchanged) when it cannot.
    bool ShowGroup(IOPCServer& server, const std::string& name);
    void Clear();

    QLineEdit* NameEdit() const { return name_; }  // null without the name
    QLineEdit* UpdateRateEdit() const { return rate_; }
    QLineEdit* TimeBiasEdit() const { return bias_; }
    QLineEdit* DeadbandEdit() const { return deadband_; }
    QLineEdit* LocaleEdit() const { return locale_; }
    QCheckBox* ActiveBox() const { return active_; }

private:
    QLineEdit* name_ = nullptr;
    QLineEdit* rate_;
    QLineEdit* bias_;
    QLineEdit* deadband_;
    QLineEdit* locale_;
    QCheckBox* active_;
};

// What the three dialogs share: "应用" runs the query, "取消" closes.
class ServerQueryDlg : public QDialog {
public:
    QPushButton* ApplyButton() const { return apply_; }

protected:
    ServerQueryDlg(const char* title, ComPtr<IOPCServer> server, QWidget* parent, DialogMessageFunction message);
    // Adds the buttons below what the dialog's layout holds so far.
    void AddButtons();
    virtual void Apply() = 0;

    ComPtr<IOPCServer> server_;
    DialogMessageFunction message_;
    QPushButton* apply_ = nullptr;
};

class CVServerGetErrorStringDlg : public ServerQueryDlg {
public:
    CVServerGetErrorStringDlg(ComPtr<IOPCServer> server, QWidget* parent = nullptr,
                              DialogMessageFunction message = PlainMessageBox);
    void Apply() override;
    QLineEdit* CodeEdit() const { return code_; }
    QPlainTextEdit* DescriptionText() const { return description_; }

private:
    QLineEdit* code_;
    QPlainTextEdit* description_;
};

class CVServerGroupByNameDlg : public ServerQueryDlg {
public:
    explicit CVServerGroupByNameDlg(ComPtr<IOPCServer> server, QWidget* parent = nullptr);
    void Apply() override;
    QLineEdit* NameEdit() const { return name_; }
    GroupStateFields* Fields() const { return fields_; }

private:
    QLineEdit* name_;
    GroupStateFields* fields_;
};

class CVServerEnumerateGroupsDlg : public ServerQueryDlg {
public:
    explicit CVServerEnumerateGroupsDlg(ComPtr<IOPCServer> server, QWidget* parent = nullptr);
    void Apply() override;
    QComboBox* ScopeList() const { return scope_; }
    QComboBox* ByList() const { return by_; }
    QListWidget* Groups() const { return groups_; }
    GroupStateFields* Fields() const { return fields_; }

private:
    void Enumerate();
    void ShowSelected();

    QComboBox* scope_;
    QComboBox* by_;
    QListWidget* groups_;
    GroupStateFields* fields_;
};
