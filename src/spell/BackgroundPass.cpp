#include "spell/BackgroundPass.h"

#include "spell/SpellerLibrary.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <condition_variable>
#include <mutex>

void MarkMisspelling(QWidget* control, int start, int length, const TMisspellFont& font)
{
    auto* rich = qobject_cast<QTextEdit*>(control);
    if (!rich || !font.MisspellOptions)
        return;
    QTextCharFormat f;
    const quint8 o = font.MisspellOptions;
    if (o & mfoName)
        f.setFontFamilies({font.Font.family()});
    if (o & (mfoSize | mfoHeight))
        f.setFontPointSize(font.Font.pointSizeF() > 0 ? font.Font.pointSizeF() : 10);
    if (o & mfoColor)
        f.setForeground(font.Color);
    if (o & mfoPitch)
        f.setFontFixedPitch(font.Font.fixedPitch());
    if (o & mfoStyle) {
        f.setFontWeight(font.Font.weight());
        f.setFontItalic(font.Font.italic());
        f.setFontUnderline(font.Font.underline());
        f.setFontStrikeOut(font.Font.strikeOut());
    }
    QTextCursor c(rich->document());
    c.setPosition(start);
    c.setPosition(std::min(start + length, rich->document()->characterCount() - 1), QTextCursor::KeepAnchor);
    c.mergeCharFormat(f);
}

void RunBackgroundPass(const TSpellerLibrary& engine, const QString& text, QWidget* control,
                       const TPassCurrent& current, const TMisspellingFound& found)
{
    QTextCursor block;
    if (auto* rich = qobject_cast<QTextEdit*>(control)) {
        block = QTextCursor(rich->document());
        block.beginEditBlock(); // all the marks are one undo step
    }
    const int n = int(text.size());
    int pos = 0;
    uint16_t state = splstateStartSentence;
    std::vector<uint16_t> suggestions(255, 0);
    while (pos < n && current()) {
        const int end = TSpellerLibrary::PieceEnd(text, pos, n);
        const SPLINPUT in{uint16_t(end - pos), 1, 1, state, TSpellerLibrary::Units(text) + pos, nullptr, nullptr};
        SPLRETURN ret{};
        ret.cch = uint16_t(suggestions.size());
        ret.lrgsz = suggestions.data();
        TSpellerLibrary::Fail(engine.Verify(in, ret));
        state = splstateContinued;
        if (ret.scrs == splstatNoErrors) {
            pos = end;
            continue;
        }
        const int p = pos + ret.ichError;
        const int len = std::max<int>(1, ret.cchError);
        found(ret.scrs, p, len);
        pos = p + len;
    }
    if (!block.isNull())
        block.endEditBlock();
}

// ---- TSpellThread ------------------------------------------------------------------------------

TSpellThread::TSpellThread(QObject* checker, const TSpellerLibrary& engine, TPassCurrent current,
                           TMisspellingFound found, const QString& text)
    : m_checker(checker), m_context(checker), m_engine(engine), m_current(std::move(current)), m_found(std::move(found)),
      m_text(text)
{
    m_text.detach(); // the thread's own copy
    m_suggestions.assign(256, 0);
}

TSpellThread::~TSpellThread() = default;

namespace {
// One step handed to the checker's thread. The worker waits for it; when asked to stop it
// cancels a step that has not started, so a step never runs after the worker moved on.
struct SyncStep
{
    std::mutex mutex;
    std::condition_variable done;
    enum { Pending, Running, Done, Cancelled } state = Pending;
};
} // namespace

bool TSpellThread::Synchronize(const std::function<void()>& step)
{
    if (isInterruptionRequested())
        return false;
    auto sync = std::make_shared<SyncStep>();
    // The checker outlives this thread (its destructor waits for it), so it is a safe context.
    QMetaObject::invokeMethod(m_context, [sync, step] {
        {
            std::lock_guard lock(sync->mutex);
            if (sync->state == SyncStep::Cancelled)
                return;
            sync->state = SyncStep::Running;
        }
        step();
        std::lock_guard lock(sync->mutex);
        sync->state = SyncStep::Done;
        sync->done.notify_all();
    }, Qt::QueuedConnection);
    std::unique_lock lock(sync->mutex);
    while (sync->state != SyncStep::Done) {
        if (sync->state == SyncStep::Pending && isInterruptionRequested()) {
            sync->state = SyncStep::Cancelled;
            return false;
        }
        sync->done.wait_for(lock, std::chrono::milliseconds(20));
    }
    return true;
}

void TSpellThread::run()
{
    const int n = int(m_text.size());
    uint16_t state = splstateStartSentence;
    while (m_position < n && !isInterruptionRequested()) {
        const int end = TSpellerLibrary::PieceEnd(m_text, m_position, n);
        bool alive = false;
        SPLSEC code = 0;
        m_in = SPLINPUT{uint16_t(end - m_position), 1, 1, state, TSpellerLibrary::Units(m_text) + m_position, nullptr, nullptr};
        m_ret = SPLRETURN{};
        m_ret.cch = 255;
        m_ret.lrgsz = m_suggestions.data();
        const bool ran = Synchronize([&] {
            if (!m_checker || !m_current() || !m_engine.IsReady())
                return;
            code = m_engine.Verify(m_in, m_ret);
            alive = true;
        });
        if (!ran || !alive || (code & 0xFFFF))
            break;
        state = splstateContinued;
        if (m_ret.scrs == splstatNoErrors) {
            m_position = end;
            continue;
        }
        const int p = m_position + m_ret.ichError;
        const int len = std::max<int>(1, m_ret.cchError);
        const int status = m_ret.scrs;
        if (!Synchronize([&] {
                if (m_checker && m_current())
                    m_found(status, p, len);
            }))
            break;
        m_position = p + len;
    }
}
