// opcstation: the OPC Station program.
#include "app/vapp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CVApp app;
    if (!app.InitInstance(QApplication::arguments())) return app.ExitCode();
    return QApplication::exec();
}
