// Spelling speed on a 1 MB newsletter (about 170,000 words, 1% misspelt): the background pass
// marking every misspelling in a rich-text pane, the interactive check's step to the next
// error, and, as the reference, Hunspell's own check of the same words measured in this run.
#include "spell/SpellerDialog.h"
#include "spell/Spellers.h"

#include <hunspell/hunspell.hxx>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>

namespace {

const char* kDic = "/usr/share/hunspell/en_US.dic";
const char* kAff = "/usr/share/hunspell/en_US.aff";

int failures = 0;

void Report(const char* what, double ms, double targetMs)
{
    const bool ok = ms <= targetMs;
    failures += !ok;
    std::printf("%-60s %9.1f ms   (target %7.1f ms) %s\n", what, ms, targetMs, ok ? "ok" : "SLOW");
    std::fflush(stdout);
}

// Plain dictionary stems, so nearly every word is right as it stands.
QStringList DictionaryWords()
{
    QFile f(QString::fromLatin1(kDic));
    f.open(QIODevice::ReadOnly);
    QStringList words;
    f.readLine();
    while (!f.atEnd()) {
        QString w = QString::fromUtf8(f.readLine()).trimmed();
        w = w.left(w.indexOf(u'/') < 0 ? w.size() : w.indexOf(u'/'));
        if (w.size() >= 2 && w.size() <= 6
            && std::all_of(w.begin(), w.end(), [](QChar c) { return c >= u'a' && c <= u'z'; }))
            words << w;
    }
    return words;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    {
        QFile reg(dir.filePath(QStringLiteral("registry.ini")));
        reg.open(QIODevice::WriteOnly);
        reg.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Spelling\\1033\\Normal]\r\n"
                  "Engine=" QUORVEL_SPELLER_PATH "\r\nDictionary=/usr/share/hunspell/en_US.dic\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Proofing Tools\\Custom Dictionaries]\r\n1="
                  + dir.filePath(QStringLiteral("CUSTOM.DIC")).toUtf8() + "\r\n");
    }
    qputenv("QUORVEL_REGISTRY", dir.filePath(QStringLiteral("registry.ini")).toUtf8());
    qputenv("QUORVEL_HOME", dir.path().toUtf8());

    // The newsletter: dictionary words, one in a hundred with a stray letter in it.
    const QStringList dictionary = DictionaryWords();
    QRandomGenerator rng(7);
    QStringList words;
    QString text;
    text.reserve(1 << 20);
    int misspelt = 0;
    // Sentences of 14 words: capitalised, ending in a full stop, one to a line.
    while (text.size() < (1 << 20)) {
        QString w = dictionary[rng.bounded(int(dictionary.size()))];
        const bool first = words.size() % 14 == 0;
        const bool last = words.size() % 14 == 13;
        if (first)
            w[0] = w[0].toUpper();
        if (rng.bounded(100) == 0) {
            w.insert(w.size() / 2, u'q');
            ++misspelt;
        }
        words << w;
        text += w;
        text += last ? QStringLiteral(".\n") : QStringLiteral(" ");
    }
    std::printf("text: %lld characters, %lld words, %d with a stray letter\n", qlonglong(text.size()),
                qlonglong(words.size()), misspelt);

    // Reference: Hunspell alone on the same words.
    Hunspell hunspell(kAff, kDic);
    std::vector<std::string> utf8;
    utf8.reserve(words.size());
    for (const QString& w : words)
        utf8.push_back(w.toUtf8().toStdString());
    QElapsedTimer t;
    t.start();
    int wrong = 0;
    for (const std::string& w : utf8)
        wrong += !hunspell.spell(w);
    const double reference = t.nsecsElapsed() / 1e6;
    std::printf("%-60s %9.1f ms   (%d unknown)\n", "Hunspell alone, every word (reference)", reference, wrong);

    TSpellChecker checker;
    checker.SetLanguage(1033);
    checker.SetOptions(0x04BF);
    checker.ShowFinishMessage = false;
    checker.Open();

    // Background pass, marking in a rich-text pane.
    QTextEdit pane;
    pane.setPlainText(text);
    int events = 0;
    checker.OnMisspelling = [&](TSpellChecker*, int, int, int) { ++events; };
    checker.SpellMode = smBackground;
    t.restart();
    checker.Check(&pane);
    const double background = t.nsecsElapsed() / 1e6;
    std::printf("background pass marked %d misspellings (Hunspell: %d)\n", events, wrong);
    if (events != wrong)
        ++failures;
    Report("background pass over 1 MB, marking every misspelling", background, 2000);
    Report("background pass against 2x the reference", background, std::max(2 * reference, 1.0));

    // The same pass without a control: the engine's share.
    events = 0;
    t.restart();
    checker.CheckLines({text});
    Report("background pass over 1 MB, no control", t.nsecsElapsed() / 1e6, std::max(2 * reference, 1.0));

    // Interactive: the step from one error to the next (Skip), modeless so it can be timed.
    // The dialog's step also builds the suggestion list, which is Hunspell's suggest: timed
    // apart, beside Hunspell's own suggest of the same words.
    checker.SpellMode = smInteractive;
    checker.ModalDialog = false;
    QTextEdit letter;
    letter.setPlainText(text);
    t.restart();
    checker.Check(&letter);
    std::printf("%-60s %9.1f ms\n", "interactive check start (first error shown, with suggestions)",
                t.nsecsElapsed() / 1e6);
    // The step alone: skip, find the next error, select it in the 1 MB pane.
    double stepWorst = 0, stepTotal = 0;
    int steps = 0;
    for (; steps < 300; ++steps) {
        t.restart();
        checker.SkipError();
        const int status = checker.VerifyNext();
        const double ms = t.nsecsElapsed() / 1e6;
        stepWorst = std::max(stepWorst, ms);
        stepTotal += ms;
        if (!status)
            break;
    }
    std::printf("interactive steps timed: %d, mean %.2f ms\n", steps, stepTotal / std::max(1, steps));
    Report("interactive step to the next error (worst)", stepWorst, 50);
    checker.Dialog()->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();

    // The dialog's step (Skip clicked, next error shown with its suggestions).
    checker.Check(&letter);
    QPushButton* skip = checker.Dialog()->findChild<QPushButton*>(QStringLiteral("SkipButton"));
    double worst = 0, total = 0, suggestWorst = 0, suggestTotal = 0, ownWorst = 0, ownTotal = 0;
    steps = 0;
    while (checker.Dialog()->isVisible() && steps < 300) {
        t.restart();
        skip->click();
        const double ms = t.nsecsElapsed() / 1e6;
        if (!checker.Dialog()->isVisible())
            break;
        const QString word = checker.ErrorWord();
        QStringList list;
        t.restart();
        checker.Suggest(word, list);
        const double suggest = t.nsecsElapsed() / 1e6;
        t.restart();
        hunspell.suggest(word.toUtf8().toStdString());
        const double own = t.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        total += ms;
        suggestWorst = std::max(suggestWorst, suggest);
        suggestTotal += suggest;
        ownWorst = std::max(ownWorst, own);
        ownTotal += own;
        ++steps;
    }
    steps = std::max(steps, 1);
    std::printf("dialog steps timed: %d\n", steps);
    std::printf("  whole dialog step (Skip click):  mean %7.2f ms, worst %7.2f ms\n", total / steps, worst);
    std::printf("  its suggestions (engine):        mean %7.2f ms, worst %7.2f ms\n", suggestTotal / steps, suggestWorst);
    std::printf("  Hunspell's own suggest, same words: mean %7.2f ms, worst %7.2f ms\n", ownTotal / steps, ownWorst);
    checker.Close();
    return failures ? 1 : 0;
}
