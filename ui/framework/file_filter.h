// File dialog filters. The string table holds them in the Windows form
// "Project Files (*.ovopc)|*.ovopc|All files (*.*)|*.*|"; Qt wants
// "Project Files (*.ovopc);;All files (*)".
#pragma once

#include <QString>

#include <string_view>

// Converts a Windows filter (description|patterns pairs, patterns separated by ';') to Qt's
// syntax. "*.*" becomes "*", so that files without a dot are listed too.
QString ToQtFileFilter(std::string_view windowsFilter);
