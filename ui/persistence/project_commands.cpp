#include "ui/persistence/project_commands.h"

#include "opc/client/group.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/framework/file_filter.h"
#include "ui/persistence/split_save_dlg.h"
#include "platform/strings/language.h"

#include <QFileDialog>

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

FileDialogRequest CsvRequest(const CVGroup& group, bool save) {
    FileDialogRequest request;
    request.save = save;
    request.title = save ? Tr("导出到CSV", "Export to CSV") : Tr("从CSV导入", "Import from CSV");
    request.filter = ToQtFileFilter(LoadString(IDS_CSV_FILTER)).toStdString();
    request.defaultSuffix = "csv";
    request.folder = Profile().GetString("Paths", "Open File", "");
    request.proposedName = group.Name();
    return request;
}

int RunSplitSaveDialog(QWidget* parent, int itemTotal) {
    CSplitSaveDlg dialog(itemTotal, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.FileCount() : -1;
}

}  // namespace

std::string RunFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, FromUtf8(request.title), FromUtf8(request.folder), FromUtf8(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(FromUtf8(request.defaultSuffix));
    if (!request.proposedName.empty()) dialog.selectFile(FromUtf8(request.proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

void RunSplitSaveCommand(QWidget* parent, CVDocument& document, int itemTotal,
                         std::function<int(QWidget*, int)> runDialog, FileChooser choose) {
    const int fileCount = runDialog ? runDialog(parent, itemTotal) : RunSplitSaveDialog(parent, itemTotal);
    if (fileCount == -1) return;
    FileDialogRequest request;  // no filter, no default extension
    const std::string base = choose ? choose(parent, request) : RunFileDialog(parent, request);
    if (base.empty()) return;
    document.SplitSave(base, fileCount);
}

FileDialogRequest CsvExportDialogRequest(const CVGroup& group) { return CsvRequest(group, true); }
FileDialogRequest CsvImportDialogRequest(const CVGroup& group) { return CsvRequest(group, false); }

bool RunExportCsvCommand(QWidget* parent, CVDocument& document, const CVGroup& group, FileChooser choose) {
    const FileDialogRequest request = CsvExportDialogRequest(group);
    const std::string path = choose ? choose(parent, request) : RunFileDialog(parent, request);
    return !path.empty() && document.ExportCsv(group, path);
}

bool RunImportCsvCommand(QWidget* parent, CVDocument& document, CVGroup& group, FileChooser choose) {
    const FileDialogRequest request = CsvImportDialogRequest(group);
    const std::string path = choose ? choose(parent, request) : RunFileDialog(parent, request);
    return !path.empty() && document.ImportCsv(group, path) > 0;
}
