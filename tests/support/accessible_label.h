// What a screen reader announces a control by: the text of the label it is labelled by (a
// buddy label), or else its own accessible name (a check box's or button's text).
#pragma once

#include <QAccessible>
#include <QLabel>
#include <QWidget>

#include <string>

inline std::string AnnouncedLabel(QWidget* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    if (!accessible) return {};
    for (const auto& [label, relation] : accessible->relations(QAccessible::Label))
        if (label && qobject_cast<QLabel*>(label->object())) return label->text(QAccessible::Name).toStdString();
    return accessible->text(QAccessible::Name).toStdString();
}
