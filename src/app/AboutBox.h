#pragma once
// The about box: the product picture (`AboutPanel1`, closed by a click on `Image1`) and the
// navy caption strip (`AboutPanel2`) that `AboutTimer1` widens and then scrolls its caption into.
#include <QObject>

class QLabel;
class QTimer;
class QWidget;
class TShell;

class TAboutBox : public QObject
{
public:
    // The panels are built hidden inside `central` (the main window's client area).
    TAboutBox(TShell& shell, QWidget* central, QObject* parent);

    void AboutQuorvel1Click();
    void AboutTimer1Timer();
    void Image1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TShell& m_shell;
    QWidget* m_central;
    QTimer* m_aboutTimer = nullptr;
    QWidget* m_aboutPanel1 = nullptr;
    QWidget* m_aboutPanel2 = nullptr;
    QLabel* m_aboutCaption = nullptr;
};
