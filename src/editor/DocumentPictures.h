#pragma once
// The bytes of a picture in a rich-text document, as the RTF writer and the HTML mail writer
// both need them: JPEG and PNG as they were read or pasted, anything else re-encoded as PNG.
#include <QByteArray>
#include <QSize>
#include <QString>

class QTextDocument;

struct TPictureData
{
    QByteArray Bytes;  // empty: the picture cannot be reached (no resource, damaged)
    bool Jpeg = false; // otherwise PNG
    QSize Size;        // the picture's own size in pixels
};

// The picture the document shows under `name` (a QTextImageFormat's name).
TPictureData PictureData(const QTextDocument& doc, const QString& name);
