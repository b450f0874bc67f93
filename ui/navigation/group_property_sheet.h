// "组属性": creates a group on a server connection (the General page only), or shows and edits
// an existing one (General and Interfaces pages, and Apply, which pushes the state to the
// OPC server at once and shows what the server accepted).
#pragma once

#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <string>

#include "platform/com/types.h"

class CNumericEdit;
class CRealNumEdit;
class CVGroup;
class CVServer;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;

// What the General page holds, with its defaults.
struct GroupSheetFields {
    std::string name;
    DWORD updateRate = 100;  // ms
    LONG timeBias = 0;       // minutes
    FLOAT percentDeadband = 0.0f;
    DWORD lcid = 1033;
    LONG checkInterval = 1;  // minutes
    bool active = true;
    int updateMethod = 2;  // index of the update-notification list: the group's data-change mode
};

class CVGroupGeneralPage : public QWidget {
public:
    explicit CVGroupGeneralPage(QWidget* parent = nullptr);

    GroupSheetFields fields;
    bool changed = false;

    // Fields to controls.
    void ShowFields();
    // Controls to fields, each checked; false (after the range message, the field focused)
    // when one is refused, with the fields read so far kept.
    bool ReadControls(const DialogMessageFunction& message);
    // Called whenever an edit or the active box changes the page.
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

    QLineEdit* NameEdit() const { return name_; }
    CNumericEdit* UpdateRateEdit() const { return updateRate_; }
    CNumericEdit* TimeBiasEdit() const { return timeBias_; }
    CRealNumEdit* DeadbandEdit() const { return deadband_; }
    CNumericEdit* LocaleEdit() const { return locale_; }
    QLineEdit* CheckIntervalEdit() const { return checkInterval_; }
    QCheckBox* ActiveBox() const { return active_; }
    QComboBox* UpdateMethodList() const { return updateMethod_; }

private:
    void MarkChanged();

    QLineEdit* name_;
    CNumericEdit* updateRate_;
    CNumericEdit* timeBias_;
    CRealNumEdit* deadband_;
    CNumericEdit* locale_;
    QLineEdit* checkInterval_;
    QCheckBox* active_;
    QComboBox* updateMethod_;
    std::function<void()> onChange_;
};

class CVGroupPropertySheet : public QDialog {
public:
    // A new group of `server`: the General page with its defaults, no Apply.
    CVGroupPropertySheet(CVServer* server, QWidget* parent, DialogMessageFunction message = PlainMessageBox);
    // An existing group: General (filled from the group, or from the server when the group is
    // on it) and Interfaces, with Apply; the caption counts the group's items.
    CVGroupPropertySheet(CVGroup* group, QWidget* parent, DialogMessageFunction message = PlainMessageBox);

    // Shows the sheet; Accepted when confirmed with OK, when the new group exists (Group()).
    int DoModal();
    // What OK does once the sheet has closed: a new group is created, listed on its server and
    // put on the OPC server when connected; an existing one is applied. Then the page's fields
    // go into the group. DoModal calls it; tests call it after accept().
    void Finish();
    // Pushes the page to the OPC server and reads back what it accepted (existing group).
    void Apply();

    CVGroup* Group() const { return group_; }
    CVGroupGeneralPage* GeneralPage() const { return general_; }
    QTableWidget* InterfaceTable() const { return interfaces_; }
    QPushButton* ApplyButton() const { return apply_; }
    QTabWidget* Pages() const { return pages_; }

    void accept() override;

private:
    CVGroupPropertySheet(CVServer* server, CVGroup* group, QWidget* parent, DialogMessageFunction message);
    void FillFromGroup();
    void ReadBackFromServer();
    void CopyFieldsIntoGroup();

    CVServer* server_;  // a new group's server
    CVGroup* group_;
    DialogMessageFunction message_;
    QTabWidget* pages_;
    CVGroupGeneralPage* general_;
    QTableWidget* interfaces_ = nullptr;
    QPushButton* apply_ = nullptr;
};

// The group tree's way in: for a new group of `server` (group null) the created group on OK;
// for an existing group the group on OK; else null.
CVGroup* RunGroupPropertySheet(QWidget* parent, CVServer* server, CVGroup* group);
