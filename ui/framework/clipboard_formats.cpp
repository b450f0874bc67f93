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

void PutOnClipboard(const char* format, const std::vector<std::uint8_t>& bytes, const std::string& text) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(format),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    if (!text.empty()) data->setText(QString::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data);  // the clipboard owns it
}

QByteArray ClipboardBytes(const char* format) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data ? data->data(QString::fromLatin1(format)) : QByteArray();
}
