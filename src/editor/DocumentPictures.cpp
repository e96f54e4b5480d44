#include "editor/DocumentPictures.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

namespace {
QByteArray Png(const QImage& img)
{
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data;
}
} // namespace

TPictureData PictureData(const QTextDocument& doc, const QString& name)
{
    TPictureData out;
    const QVariant res = doc.resource(QTextDocument::ImageResource, QUrl(name));
    QImage img;
    if (res.userType() == QMetaType::QByteArray) {
        const QByteArray data = res.toByteArray();
        if (!img.loadFromData(data))
            return out;
        out.Size = img.size();
        out.Jpeg = data.startsWith("\xFF\xD8");
        out.Bytes = out.Jpeg || data.startsWith("\x89PNG") ? data : Png(img);
    } else {
        if (res.userType() == QMetaType::QImage)
            img = res.value<QImage>();
        else if (res.userType() == QMetaType::QPixmap)
            img = res.value<QPixmap>().toImage();
        if (img.isNull())
            return out; // nothing we can reach
        out.Size = img.size();
        out.Bytes = Png(img);
    }
    if (out.Size.isEmpty())
        out.Bytes.clear();
    return out;
}
