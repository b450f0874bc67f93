// The Interfaces page of the server and group property sheets: one row per interface with its
// name, whether the program needs it and whether the object holds it.
#pragma once

#include "ui/navigation/server_report.h"

#include <vector>

class QTableWidget;
class QWidget;

// A page holding the table; *table is set to it.
QWidget* MakeInterfacesPage(const std::vector<InterfaceRow>& rows, QTableWidget** table);
