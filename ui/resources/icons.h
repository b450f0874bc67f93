// The program's icons from the resource file: toolbar buttons, tree and list images and the
// application icon. Names are the file names in icons/ without extension, e.g. "file_new".
#pragma once

#include <QIcon>

QIcon LoadIcon(const char* name);
// The application and tray icon, in all its sizes.
QIcon ApplicationIcon();
