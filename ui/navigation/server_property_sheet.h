// "服务器属性": for a new connection the General page (the registered OPC DA servers, the
// ProgID and the remote computer), for an existing one the read-only Status and Interfaces
// pages. OK on a new connection creates the server and connects it at once.
#pragma once

#include <QDialog>

class CVServer;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

class CVServerPropertySheet : public QDialog {
public:
    // With a server: its Status and Interfaces pages. Without: the General page.
    explicit CVServerPropertySheet(CVServer* server, QWidget* parent = nullptr);

    // Shows the sheet. For an existing server the result is always Rejected, whatever closed
    // it. For a new one, OK creates and connects the server (Server() holds it) and gives
    // Accepted.
    int DoModal();
    CVServer* Server() const { return server_; }

    // On OK for a new server: creates it and connects it (done by DoModal; tests call it).
    CVServer* CreateServer() const;

    QTreeWidget* RegisteredTree() const { return registered_; }
    QLineEdit* ProgIdEdit() const { return progId_; }
    QLineEdit* RemoteComputerEdit() const { return remote_; }
    QPlainTextEdit* StatusText() const { return status_; }
    QTableWidget* InterfaceTable() const { return interfaces_; }
    QTabWidget* Pages() const { return pages_; }

private:
    QWidget* BuildGeneralPage();
    QWidget* BuildStatusPage();
    QWidget* BuildInterfacesPage();
    void FillRegisteredServers();
    void OnRegisteredSelection();

    CVServer* server_;
    QTabWidget* pages_;
    QTreeWidget* registered_ = nullptr;
    QLineEdit* progId_ = nullptr;
    QLineEdit* remote_ = nullptr;
    QPlainTextEdit* status_ = nullptr;
    QTableWidget* interfaces_ = nullptr;
    QString openingProgId_;
    QString openingRemote_;
};

// The group tree's way in: for a new server (null) the created server on OK, else null.
CVServer* RunServerPropertySheet(QWidget* parent, CVServer* server);
