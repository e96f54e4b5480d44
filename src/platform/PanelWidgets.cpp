#include "platform/PanelWidgets.h"

#include "platform/Named.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

QLineEdit* AddLabelledEdit(QWidget* page, const QString& name, const QString& caption, int maxLength, int fieldX,
                           int y, int width)
{
    auto* e = Named(new QLineEdit(page), name, caption);
    e->setMaxLength(maxLength);
    e->setGeometry(fieldX, y, width, 22);
    if (!caption.isEmpty()) {
        auto* label = new QLabel(caption, page);
        label->setGeometry(8, y + 3, fieldX - 12, 18);
        label->setBuddy(e);
    }
    return e;
}

TFileField AddFileField(QWidget* page, const TFileFieldSpec& desc, int fieldX, int y, int width,
                        const std::function<void(QLineEdit* field, const QString& title)>& browse)
{
    QLineEdit* field = AddLabelledEdit(page, QLatin1String(desc.name), QLatin1String(desc.caption), 255, fieldX, y,
                                       width);
    const QString title = QLatin1String(desc.title);
    auto* browseBtn = Named(new QToolButton(page), QLatin1String(desc.browse), QStringLiteral("..."), title);
    browseBtn->setText(QStringLiteral("..."));
    browseBtn->setGeometry(fieldX + width + 4, y, 26, 22);
    QObject::connect(browseBtn, &QToolButton::clicked, page, [browse, field, title] { browse(field, title); });
    auto* editBtn = Named(new QToolButton(page), QLatin1String(desc.editBtn), QString(), QLatin1String(desc.editHint));
    editBtn->setIcon(page->style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    editBtn->setGeometry(fieldX + width + 34, y, 26, 22);
    return {field, editBtn};
}
