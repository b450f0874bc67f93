// The menu commands of the project files that need dialogs: split save (32818) and the CSV
// export (32807) and import (32808) of the group selected in the tree. Each asks for what it
// needs and hands the rest to the document.
#pragma once

#include <functional>
#include <string>

class CVDocument;
class CVGroup;
class QWidget;

// What a file dialog is asked to show.
struct FileDialogRequest {
    bool save = true;           // a Save dialog (asks before overwriting), else an Open one
    std::string title;          // empty: the platform's own
    std::string filter;         // Qt syntax; empty: no filter
    std::string defaultSuffix;  // added when the name has none; empty: none
    std::string folder;         // initial folder
    std::string proposedName;   // initial file name
};

// Runs a file dialog; returns the chosen path or empty. The program's default shows a
// QFileDialog; tests answer with a function.
using FileChooser = std::function<std::string(QWidget* parent, const FileDialogRequest& request)>;
std::string RunFileDialog(QWidget* parent, const FileDialogRequest& request);

// Split save: the dialog with the item total, then a Save As dialog without filter or default
// extension, then the document's split save. `runDialog` returns the file count or -1 on
// Cancel; empty shows CSplitSaveDlg.
void RunSplitSaveCommand(QWidget* parent, CVDocument& document, int itemTotal,
                         std::function<int(QWidget*, int)> runDialog = {}, FileChooser choose = {});

// The CSV file dialogs: the filter of string 10067, extension "csv", the group's name as the
// proposed file, the folder remembered under "Paths"/"Open File".
FileDialogRequest CsvExportDialogRequest(const CVGroup& group);
FileDialogRequest CsvImportDialogRequest(const CVGroup& group);

// Export and import of `group`; false when the operator cancelled or the operation failed.
bool RunExportCsvCommand(QWidget* parent, CVDocument& document, const CVGroup& group, FileChooser choose = {});
bool RunImportCsvCommand(QWidget* parent, CVDocument& document, CVGroup& group, FileChooser choose = {});
