#include "ui/framework/clipboard_formats.h"

#include "platform/com/clipboard_format.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

const ProjectClipboardFormats& RegisterProjectClipboardFormats() {
    static const ProjectClipboardFormats formats{RegisterClipboardFormat(kServerClipFormat),
                                                 RegisterClipboardFormat(kGroupClipFormat),
                                                 RegisterClipboardFormat(kItemClipFormat)};
    return formats;
}

bool ClipboardHas(const char* format) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(QString::fromLatin1(format));
}
