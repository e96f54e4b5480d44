#include "spell/Spellers.h"

#include "spell/SpellerDialog.h"

#include <QWidget>

TSpellChecker::TSpellChecker(QObject* parent)
    : QObject(parent), m_language(spelllang::SystemDefault()), m_check(new TInteractiveCheck(*this, m_engine, this))
{
    MisspellFont.Font = QFont(QStringLiteral("MS Sans Serif"));
    m_check->OnChange = [this](int pos, int len, const QString& newWord) {
        if (OnChangeText)
            OnChangeText(this, pos, len, newWord);
    };
}

TSpellChecker::~TSpellChecker()
{
    // Threads refer to this object: stop them and wait (they never block on this thread while
    // it waits here, see TSpellThread::Synchronize).
    for (TSpellThread* t : m_threads)
        t->requestInterruption();
    for (TSpellThread* t : std::as_const(m_threads)) {
        t->wait();
        delete t;
    }
    m_threads.clear();
    delete m_dialog.data();
    if (m_opened) {
        try {
            m_engine.Unload();
        } catch (const ESpellError&) {
            // Nobody is left to tell; throwing from a destructor would end the program.
        }
    }
}

TSpellerDialog* TSpellChecker::Dialog() const
{
    return m_dialog;
}

void TSpellChecker::SetOptions(TSpellOptions options)
{
    m_options = options;
    if (m_opened && m_engine.IsReady())
        m_engine.SetOptions(options);
}

void TSpellChecker::SetLanguage(TLanguage language)
{
    if (m_opened || !spelllang::Known(language))
        return;
    m_language = language;
    if (m_dialog)
        m_dialog->LanguageChanged();
}

// ---- Open and Close ----------------------------------------------------------------------------

void TSpellChecker::Open()
{
    if (m_opened || !m_engine.Find(m_language))
        return;
    m_opened = true;
    // Any failure leaves the component closed, so the next Open starts afresh.
    try {
        m_engine.Load(m_language, m_options, [this] {
            if (OnOpen)
                OnOpen(this);
        });
    } catch (const ESpellError&) {
        m_opened = false;
        throw;
    }
}

void TSpellChecker::Close()
{
    if (!m_opened)
        return;
    m_lines.clear();
    m_opened = false;
    ++m_generation;
    for (auto it = m_threads.rbegin(); it != m_threads.rend(); ++it)
        (*it)->requestInterruption();
    // A modeless dialog left showing would act on a closed speller.
    if (m_dialog && m_dialog->isVisible())
        m_dialog->Finish(false);
    m_check->ReleaseBuffers();
    m_engine.Unload();
    if (OnClose)
        OnClose(this);
}

// ---- Check -------------------------------------------------------------------------------------

void TSpellChecker::Check(QWidget* control)
{
    if (!m_opened)
        return;
    m_lines = TInteractiveCheck::ControlText(control).split(QChar(QChar::ParagraphSeparator));
    Run(control);
}

void TSpellChecker::CheckLines(const QStringList& lines)
{
    if (!m_opened)
        return;
    m_lines = lines;
    Run(nullptr);
}

void TSpellChecker::Run(QWidget* control)
{
    switch (SpellMode) {
    case smInteractive: StartInteractive(control); break;
    case smBackground: RunBackgroundPass(m_engine, CheckedText(control), control, Current(), Reporter(control)); break;
    case smParallel: StartThread(control); break;
    }
}

QString TSpellChecker::CheckedText(QWidget* control) const
{
    return control ? TInteractiveCheck::ControlText(control) : m_lines.join(u'\n');
}

void TSpellChecker::StartInteractive(QWidget* control)
{
    if (m_dialog && !m_dialog->isVisible()) {
        // Made anew below; deleted later, as it may be on the call stack.
        m_dialog->Detach();
        m_dialog->deleteLater();
        m_dialog = nullptr;
    }
    m_check->Start(control, CheckedText(control));
    if (!m_dialog)
        m_dialog = new TSpellerDialog(m_check, control ? control->window() : nullptr);
    m_dialog->NextError();
}

// ---- background pass ---------------------------------------------------------------------------

TPassCurrent TSpellChecker::Current() const
{
    return [this, generation = m_generation] { return m_opened && generation == m_generation; };
}

TMisspellingFound TSpellChecker::Reporter(QWidget* control)
{
    return [this, control = QPointer<QWidget>(control)](int status, int pos, int len) {
        if (control)
            MarkMisspelling(control, pos, len, MisspellFont);
        if (OnMisspelling)
            OnMisspelling(this, status, pos, len);
    };
}

void TSpellChecker::StartThread(QWidget* control)
{
    auto* thread = new TSpellThread(this, m_engine, Current(), Reporter(control), CheckedText(control));
    m_threads.append(thread);
    connect(thread, &QThread::finished, this, [this, thread] { ThreadEnded(thread); }, Qt::QueuedConnection);
    thread->start();
}

void TSpellChecker::ThreadEnded(TSpellThread* thread)
{
    if (m_threads.removeOne(thread)) {
        thread->wait();
        thread->deleteLater();
    }
}
