#include "ui/persistence/project_commands.h"

#include "opc/client/group.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "platform/strings/string_table.h"
#include "ui/framework/file_filter.h"
#include "ui/persistence/split_save_dlg.h"

#include <QFileDialog>

namespace {

constexpr unsigned kCsvFilterId = 10067;

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

FileDialogSpec CsvSpec(const CVGroup& group, bool save) {
    FileDialogSpec spec;
    spec.save = save;
    spec.title = save ? "导出到CSV" : "从CSV导入";
    spec.filter = ToQtFileFilter(LoadString(kCsvFilterId)).toStdString();
    spec.defaultSuffix = "csv";
    spec.folder = Profile().GetString("Paths", "Open File", "");
    spec.proposedName = group.Name();
    return spec;
}

int RunSplitSaveDialog(QWidget* parent, int itemTotal) {
    CSplitSaveDlg dialog(itemTotal, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.FileCount() : -1;
}

}  // namespace

std::string RunFileDialog(QWidget* parent, const FileDialogSpec& spec) {
    QFileDialog dialog(parent, FromUtf8(spec.title), FromUtf8(spec.folder), FromUtf8(spec.filter));
    dialog.setAcceptMode(spec.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!spec.defaultSuffix.empty()) dialog.setDefaultSuffix(FromUtf8(spec.defaultSuffix));
    if (!spec.proposedName.empty()) dialog.selectFile(FromUtf8(spec.proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

void RunSplitSaveCommand(QWidget* parent, CVDocument& document, int itemTotal,
                         std::function<int(QWidget*, int)> runDialog, FileChooser choose) {
    const int fileCount = runDialog ? runDialog(parent, itemTotal) : RunSplitSaveDialog(parent, itemTotal);
    if (fileCount == -1) return;
    FileDialogSpec spec;  // no filter, no default extension
    const std::string base = choose ? choose(parent, spec) : RunFileDialog(parent, spec);
    if (base.empty()) return;
    document.SplitSave(base, fileCount);
}

FileDialogSpec CsvExportDialogSpec(const CVGroup& group) { return CsvSpec(group, true); }
FileDialogSpec CsvImportDialogSpec(const CVGroup& group) { return CsvSpec(group, false); }

bool RunExportCsvCommand(QWidget* parent, CVDocument& document, const CVGroup& group, FileChooser choose) {
    const FileDialogSpec spec = CsvExportDialogSpec(group);
    const std::string path = choose ? choose(parent, spec) : RunFileDialog(parent, spec);
    return !path.empty() && document.ExportCsv(group, path);
}

bool RunImportCsvCommand(QWidget* parent, CVDocument& document, CVGroup& group, FileChooser choose) {
    const FileDialogSpec spec = CsvImportDialogSpec(group);
    const std::string path = choose ? choose(parent, spec) : RunFileDialog(parent, spec);
    return !path.empty() && document.ImportCsv(group, path) > 0;
}
