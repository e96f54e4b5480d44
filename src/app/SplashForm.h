#pragma once
#include <QWidget>

class TSoundPlayer;

// Borderless start-up window, 250 x 149, centred, one picture; plays "tamo101.cls".
class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    explicit TSplashForm(TSoundPlayer& sounds);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QPixmap m_picture;
};
