#pragma once
// The vertical title tab of a side panel: text written bottom to top, clickable.
#include <QLabel>

class TLabelEffect : public QLabel
{
    Q_OBJECT
public:
    explicit TLabelEffect(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};
