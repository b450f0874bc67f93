// The clipboard formats of the project objects (their MIME format names), and whether the
// clipboard holds one.
#pragma once

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

inline constexpr const char* kServerClipFormat = "VCOpcClientServer";
inline constexpr const char* kGroupClipFormat = "VCOpcClientGroup";
inline constexpr const char* kItemClipFormat = "VCOpcClientItem";

inline bool ClipboardHas(const char* format) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(QString::fromLatin1(format));
}
