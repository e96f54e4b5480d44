#include "guide/NLWizardForm.h"

#include "editor/RtfCodec.h"
#include "platform/Dialogs.h"
#include "guide/WindowAccess.h"
#include "platform/Named.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QTextEdit>
#include <QToolButton>

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kNavy(0, 0, 0x80);
const QColor kMaroon(0x80, 0, 0);
const QString kFileMissing = QStringLiteral("Wizard File not found. Please reinstall Quorvel.");

QFrame* MakePanel(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* p = Named(new QFrame(parent), name);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    p->setGeometry(geometry);
    return p;
}
} // namespace

TNLWizardForm::TNLWizardForm(TShell& shell, bool& newsletterWizardActive, bool& mailListWizardActive,
                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_shell(shell), m_newsletterActive(newsletterWizardActive), m_mailListActive(mailListWizardActive)
{
    setObjectName(QStringLiteral("NLWizardForm"));
    setWindowTitle(QStringLiteral("Newsletter Wizard"));
    windowaccess::SetWindowRole(this, true);
    setFixedSize(339, 241);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kSilver);
    pal.setColor(QPalette::WindowText, kNavy);
    pal.setColor(QPalette::ButtonText, kNavy);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    setPalette(pal);
    QFont base(QStringLiteral("Times New Roman"));
    base.setPointSize(9);
    setFont(base);

    QFrame* panel1 = MakePanel(this, QStringLiteral("Panel1"), QRect(4, 4, 331, 34));
    // Labels say their text: no accessible name of their own, what they show in the description.
    m_label1 = Named(new QLabel(panel1), QStringLiteral("Label1"));
    m_label1->setAccessibleName(QString());
    m_label1->setAccessibleDescription(QStringLiteral("Wizard"));
    QFont titleFont = base;
    titleFont.setPixelSize(19);
    titleFont.setBold(true);
    m_label1->setFont(titleFont);
    QPalette tp = m_label1->palette();
    tp.setColor(QPalette::WindowText, kMaroon);
    m_label1->setPalette(tp);
    m_label1->setAlignment(Qt::AlignCenter);
    m_label1->setGeometry(4, 4, 323, 26);

    QFrame* panel2 = MakePanel(this, QStringLiteral("Panel2"), QRect(4, 42, 238, 162));
    m_richEdit1 = Named(new QTextEdit(panel2), QStringLiteral("RichEdit1"), QStringLiteral("Wizard step text"));
    m_richEdit1->setReadOnly(true);
    m_richEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_richEdit1->viewport()->setCursor(Qt::ArrowCursor);
    m_richEdit1->setGeometry(3, 3, 232, 156);
    // Selection stays visible when the focus leaves the pane.
    QPalette ep = m_richEdit1->palette();
    ep.setColor(QPalette::Inactive, QPalette::Highlight, ep.color(QPalette::Active, QPalette::Highlight));
    ep.setColor(QPalette::Inactive, QPalette::HighlightedText, ep.color(QPalette::Active, QPalette::HighlightedText));
    m_richEdit1->setPalette(ep);

    QFrame* panel3 = MakePanel(this, QStringLiteral("Panel3"), QRect(246, 42, 89, 162));
    m_stepLBL = Named(new QLabel(panel3), QStringLiteral("StepLBL"));
    m_stepLBL->setAccessibleName(QString());
    m_stepLBL->setAccessibleDescription(QStringLiteral("Step number"));
    QFont stepFont = base;
    stepFont.setPixelSize(24);
    m_stepLBL->setFont(stepFont);
    m_stepLBL->setAlignment(Qt::AlignCenter);
    m_stepLBL->setGeometry(4, 10, 81, 32);
    m_stepNameLBL = Named(new QLabel(panel3), QStringLiteral("StepNameLBL"));
    m_stepNameLBL->setAccessibleName(QString());
    m_stepNameLBL->setAccessibleDescription(QStringLiteral("Step name"));
    m_stepNameLBL->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_stepNameLBL->setWordWrap(true);
    m_stepNameLBL->setGeometry(4, 48, 81, 108);

    auto makeButton = [this](const char* name, const QString& caption, int left) {
        auto* b = Named(new QToolButton(this), QLatin1String(name), caption);
        b->setText(caption);
        b->setAutoRaise(true); // flat
        QFont f = font();
        f.setBold(true);
        b->setFont(f);
        b->setGeometry(left, 210, 80, 25);
        return b;
    };
    m_backBtn = makeButton("BackBtn", QStringLiteral("&Back"), 84);
    m_nextBtn = makeButton("NextBtn", QStringLiteral("&Next"), 168);
    m_cancelBtn = makeButton("CancelBtn", QStringLiteral("&Cancel"), 252);
    connect(m_backBtn, &QToolButton::clicked, this, &TNLWizardForm::BackBtnClick);
    connect(m_nextBtn, &QToolButton::clicked, this, &TNLWizardForm::NextBtnClick);
    connect(m_cancelBtn, &QToolButton::clicked, this, &TNLWizardForm::CancelBtnClick);
    m_backBtn->setEnabled(false);
}

void TNLWizardForm::Newsletter1Click()
{
    Start(wizard::wkNewsletter);
}

void TNLWizardForm::MailList1Click()
{
    Start(wizard::wkMailList);
}

wizard::Kind TNLWizardForm::Running() const
{
    if (m_newsletterActive)
        return wizard::wkNewsletter;
    if (m_mailListActive)
        return wizard::wkMailList;
    return wizard::wkNone;
}

QString TNLWizardForm::StepLabel() const
{
    return m_stepLBL->text();
}

void TNLWizardForm::SetStepLabel(const QString& step)
{
    m_stepLBL->setText(step);
}

void TNLWizardForm::Start(wizard::Kind kind)
{
    // One wizard at a time: the start commands are disabled while one runs, but the first
    // activation of the main window can still ask.
    if (Running() != wizard::wkNone)
        return;
    if (QWidget* main = m_shell.Window()) {
        const QRect g = main->frameGeometry();
        move(g.left() + 5, g.top() + g.height() - 290);
    }
    const wizard::Step& first = wizard::Steps(kind).first();
    m_label1->setText(wizard::Title(kind));
    m_stepLBL->setText(QString::number(first.number));
    m_stepNameLBL->setText(first.name);
    if (!LoadStep(first.file)) {
        m_shell.Dialogs().Error(kFileMissing, m_shell.Window());
        return;
    }
    (kind == wizard::wkNewsletter ? m_newsletterActive : m_mailListActive) = true;
    m_shell.Action(QStringLiteral("Newsletter1"))->setEnabled(false);
    m_shell.Action(QStringLiteral("MailList1"))->setEnabled(false);
    SetButtons(kind, 0);
    show();
    raise();
}

void TNLWizardForm::SetButtons(wizard::Kind kind, int index)
{
    // Every move sets all three from the step reached, so a jump (a list properties page
    // chosen out of order) never leaves Back or Next in the state of the step it came from.
    const int last = int(wizard::Steps(kind).size()) - 1;
    m_nextBtn->setEnabled(index < last);
    m_backBtn->setEnabled(index > 0 && index < last);
    m_cancelBtn->setText(index == last ? QStringLiteral("Finish") : QStringLiteral("&Cancel"));
}

void TNLWizardForm::NextBtnClick()
{
    const wizard::Kind kind = Running();
    if (kind == wizard::wkNone)
        return;
    const int index = wizard::IndexOf(kind, m_stepLBL->text());
    if (index < 0 || index + 1 >= wizard::Steps(kind).size())
        return;
    MoveTo(kind, index + 1, true);
}

void TNLWizardForm::BackBtnClick()
{
    const wizard::Kind kind = Running();
    if (kind == wizard::wkNone)
        return;
    const int index = wizard::IndexOf(kind, m_stepLBL->text());
    const int last = int(wizard::Steps(kind).size()) - 1;
    // The last step is never left backwards.
    if (index <= 0 || index >= last)
        return;
    MoveTo(kind, index - 1, false);
}

void TNLWizardForm::MoveTo(wizard::Kind kind, int index, bool forward)
{
    const wizard::Step& step = wizard::Steps(kind).at(index);
    m_stepLBL->setText(QString::number(step.number));
    // Back on the first step shows the wizard's title where the step name was.
    m_stepNameLBL->setText(!forward && index == 0 ? wizard::Title(kind) : step.name);
    SetButtons(kind, index);
    if (!LoadStep(step.file))
        FileMissing();
}

void TNLWizardForm::NewNewsletterStarted()
{
    if (m_newsletterActive && m_stepLBL->text() == QLatin1String("1"))
        NextBtnClick();
}

bool TNLWizardForm::LoadStep(const QString& fileName)
{
    const QString path = ResourcePath(fileName);
    if (!QFileInfo(path).isFile())
        return false;
    QByteArray bytes;
    QString error;
    if (!textfile::readBytes(path, &bytes, &error))
        return false;
    if (rtf::IsRtf(bytes))
        rtf::Read(bytes, m_richEdit1->document());
    else
        m_richEdit1->setPlainText(textfile::decode(bytes));
    m_richEdit1->moveCursor(QTextCursor::Start);
    return true;
}

void TNLWizardForm::FileMissing()
{
    m_shell.Dialogs().Error(kFileMissing, m_shell.Window());
    End();
    hide();
}

void TNLWizardForm::CancelBtnClick()
{
    End();
    hide();
}

void TNLWizardForm::End()
{
    m_shell.Action(QStringLiteral("Newsletter1"))->setEnabled(true);
    m_shell.Action(QStringLiteral("MailList1"))->setEnabled(true);
    m_newsletterActive = false;
    m_mailListActive = false;
    m_cancelBtn->setText(QStringLiteral("&Cancel"));
    m_nextBtn->setEnabled(true);
}

void TNLWizardForm::closeEvent(QCloseEvent* event)
{
    End();
    QWidget::closeEvent(event);
}
