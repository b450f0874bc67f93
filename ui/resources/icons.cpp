#include "ui/resources/icons.h"

#include <QString>

QIcon LoadIcon(const char* name) {
    // The @2x image next to each file is picked up for high-density screens.
    return QIcon(QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)));
}

QIcon ApplicationIcon() {
    QIcon icon = LoadIcon("application");
    icon.addFile(QStringLiteral(":/icons/application-64.png"));
    icon.addFile(QStringLiteral(":/icons/application-128.png"));
    return icon;
}
