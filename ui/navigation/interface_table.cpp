#include "ui/navigation/interface_table.h"

#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/framework/dialog_parts.h"
#include "ui/resources/icons.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

}  // namespace

QWidget* MakeInterfacesPage(const std::vector<InterfaceRow>& rows, QTableWidget** table) {
    auto* page = new QWidget;
    auto* interfaces = new QTableWidget(static_cast<int>(rows.size()), 3, page);
    interfaces->setHorizontalHeaderLabels({TableText(IDS_INTERFACE), TableText(IDS_REQUIRED), TableText(IDS_SUPPORTED)});
    interfaces->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    interfaces->verticalHeader()->hide();
    interfaces->setShowGrid(false);
    interfaces->setEditTriggers(QAbstractItemView::NoEditTriggers);
    interfaces->setSelectionBehavior(QAbstractItemView::SelectRows);
    interfaces->setColumnWidth(0, 200);
    interfaces->setColumnWidth(1, 75);
    interfaces->setColumnWidth(2, 75);
    interfaces->setAccessibleName(TableText(IDS_INTERFACE));
    const QIcon icon = LoadIcon("server_interface");
    const QString yes = TableText(IDS_YES);
    const QString no = TableText(IDS_NO);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const InterfaceRow& r = rows[static_cast<std::size_t>(row)];
        interfaces->setItem(row, 0, new QTableWidgetItem(icon, QString::fromStdString(r.name)));
        interfaces->setItem(row, 1, new QTableWidgetItem(r.required ? yes : no));
        interfaces->setItem(row, 2, new QTableWidgetItem(r.supported ? yes : no));
    }
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(interfaces);
    if (table) *table = interfaces;
    return page;
}
