#include "ui/controls/image_button.h"

CImageButton::CImageButton(const QString& caption, const QIcon& enabled, const QIcon& disabled, QWidget* parent)
    : QPushButton(parent) {
    QIcon faces;
    for (const QSize& size : enabled.availableSizes()) faces.addPixmap(enabled.pixmap(size), QIcon::Normal);
    for (const QSize& size : disabled.availableSizes()) faces.addPixmap(disabled.pixmap(size), QIcon::Disabled);
    setIcon(faces.isNull() ? enabled : faces);
    const QString tip = caption.section(QLatin1Char('\n'), 0, 0);
    setToolTip(tip);
    setAccessibleName(tip);
}

bool CImageButton::SetEnabled(bool enabled) {
    const bool was = isEnabled();
    if (was != enabled) setEnabled(enabled);
    return was;
}
