#pragma once
// The background pass: every misspelling of a text marked in its control and reported, at
// once or on a TSpellThread.
#include "spell/SpellerLibrary.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QThread>

#include <functional>
#include <vector>

class QWidget;

enum TMisspellFontOption : quint8 {
    mfoName = 0x01,
    mfoSize = 0x02,
    mfoHeight = 0x04,
    mfoColor = 0x08,
    mfoPitch = 0x10,
    mfoStyle = 0x20,
};

struct TMisspellFont
{
    QFont Font;
    QColor Color = Qt::red;
    quint8 MisspellOptions = mfoColor; // TMisspellFontOption bits
};

// One error found (status, position, length): marked and reported on the checker's thread.
using TMisspellingFound = std::function<void(int status, int pos, int len)>;
// Whether the check that started the pass is still the checker's current one.
using TPassCurrent = std::function<bool()>;

// Applies the font attributes the options name to the characters (rich-text controls only).
void MarkMisspelling(QWidget* control, int start, int length, const TMisspellFont& font);

// Verifies `text` piece by piece while `current` holds; the marks in `control` (one
// QTextCursor, so the user's selection stays) are one undo step. Raises ESpellError.
void RunBackgroundPass(const TSpellerLibrary& engine, const QString& text, QWidget* control,
                       const TPassCurrent& current, const TMisspellingFound& found);

// The background pass on a worker thread. Every engine call, every marking and every report
// runs on the checker's thread; this thread hands each over and waits, and stops when asked to
// between two such steps.
class TSpellThread : public QThread
{
    Q_OBJECT
public:
    // `checker` is the context the steps run in; it outlives the thread.
    TSpellThread(QObject* checker, const TSpellerLibrary& engine, TPassCurrent current, TMisspellingFound found,
                 const QString& text);
    ~TSpellThread() override;

protected:
    void run() override;

private:
    bool Synchronize(const std::function<void()>& step); // false when stopped before the step ran

    QPointer<QObject> m_checker; // read on the checker's thread only
    QObject* m_context;
    const TSpellerLibrary& m_engine;
    TPassCurrent m_current;
    TMisspellingFound m_found;
    QString m_text;
    SPLINPUT m_in{};
    SPLRETURN m_ret{};
    std::vector<uint16_t> m_suggestions;
    int m_position = 0;
};
