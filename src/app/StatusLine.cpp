#include "app/StatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QtMath>

namespace {
class TStatusAccessible : public QAccessibleWidget
{
public:
    explicit TStatusAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override
    {
        const QString shown = static_cast<QLabel*>(widget())->text();
        switch (t) {
        case QAccessible::Name:
        case QAccessible::Value:
            return shown;
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* statusFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TStatusLabel") && object && object->isWidgetType())
        return new TStatusAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

double luminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : qPow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}
} // namespace

TStatusLabel::TStatusLabel(QWidget* parent) : QLabel(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(statusFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void TStatusLabel::SetStatusText(const QString& text)
{
    if (text == this->text())
        return;
    setText(text);
    QAccessibleEvent name(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
    QAccessibleEvent value(this, QAccessible::ValueChanged);
    QAccessible::updateAccessibility(&value);
}

namespace statusline {

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QColor ReadableTextColor(const QColor& background)
{
    return ContrastRatio(background, Qt::white) >= ContrastRatio(background, Qt::black) ? QColor(Qt::white)
                                                                                          : QColor(Qt::black);
}

} // namespace statusline
