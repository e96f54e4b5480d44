// Newsletter editor speed: open and save a 2 MB RTF newsletter, one find step in a 5 MB body,
// Replace All of 10,000 occurrences in a 1 MB body. Runs on the offscreen platform with the
// real panes, so layout and selection costs are included.
#include "editor/FindPanel.h"
#include "editor/NewsletterEditor.h"
#include "editor/NewsletterFile.h"
#include "support/FakeShell.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>

namespace {

int failures = 0;

void Report(const char* what, double ms, double targetMs)
{
    const bool ok = ms <= targetMs;
    failures += !ok;
    std::printf("%-58s %9.1f ms   (target %6.0f ms) %s\n", what, ms, targetMs, ok ? "ok" : "SLOW");
    std::fflush(stdout);
}

// A newsletter-like document: paragraphs with bold, italic, coloured and sized runs,
// accented and non-Latin text.
void FillNewsletter(QTextDocument* doc, qint64 rtfBytesWanted)
{
    QTextCursor c(doc);
    QTextCharFormat plain, bold, italic, red, big;
    bold.setFontWeight(QFont::Bold);
    italic.setFontItalic(true);
    red.setForeground(QColor(200, 0, 0));
    big.setFontPointSize(14);
    big.setFontFamilies({QStringLiteral("Arial")});
    int i = 0;
    while (true) {
        c.insertText(QStringLiteral("Item %1: ").arg(i), bold);
        c.insertText(QString::fromUtf8("Our café reopens on Monday — prices from €5. "), plain);
        c.insertText(QStringLiteral("Please note "), italic);
        c.insertText(QStringLiteral("the new hours"), red);
        c.insertText(QString::fromUtf8(" and the Ελληνικά menu.\tSee you soon! "), plain);
        c.insertText(QStringLiteral("Headline"), big);
        c.insertBlock();
        if (++i % 200 == 0 && newsletterfile::Compose(*doc, QString(), false).size() >= rtfBytesWanted)
            break;
    }
}

QString BodyWithWords(qsizetype chars, const QString& word, int occurrences)
{
    const QString filler = QStringLiteral("lorem ipsum dolor sit amet consectetur ");
    QString text;
    text.reserve(chars + 64);
    const qsizetype gap = occurrences > 0 ? chars / occurrences : chars;
    int placed = 0;
    while (text.size() < chars) {
        if (occurrences > 0 && placed < occurrences && text.size() >= placed * gap) {
            text += word + u' ';
            ++placed;
        } else {
            text += filler;
        }
        if (text.size() % 4000 < filler.size())
            text += u'\n';
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    TFakeShell shell;
    shell.window.resize(1280, 800);
    auto* panel = new QWidget(&shell.window);
    panel->setGeometry(256, 3, 1024, 760);
    auto* editor = new TNewsletterEditor(shell, panel, &shell.window);
    shell.panes.insert(QStringLiteral("Letter"), editor->LetterRE());
    shell.activeEditor = QStringLiteral("Letter");
    auto* find = new TFindPanel(shell, &shell.window);
    shell.window.show();
    QApplication::processEvents();

    // ---- Open and save a 2 MB RTF newsletter.
    {
        QTextDocument source;
        FillNewsletter(&source, 2 * 1024 * 1024);
        const QString path = dir.filePath(QStringLiteral("big.qvd"));
        QString error;
        newsletterfile::Save(path, source, QStringLiteral("Big issue"), &error);
        const double mb = QFileInfo(path).size() / 1048576.0;

        double best = 1e9;
        for (int round = 0; round < 3; ++round) {
            editor->LetterRE()->clear();
            QElapsedTimer t;
            t.start();
            editor->LoadDocument(path);
            QApplication::processEvents();
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
        char label[96];
        std::snprintf(label, sizeof label, "open %.1f MB RTF newsletter into the pane", mb);
        Report(label, best, 1000);

        best = 1e9;
        const QString out = dir.filePath(QStringLiteral("saved.qvd"));
        for (int round = 0; round < 3; ++round) {
            QElapsedTimer t;
            t.start();
            newsletterfile::Save(out, *editor->LetterRE()->document(), editor->SubjectEDT()->text(), &error);
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
        std::snprintf(label, sizeof label, "save it again (%.1f MB)", QFileInfo(out).size() / 1048576.0);
        Report(label, best, 1000);
    }

    // ---- One find step in a 5 MB body: the only other match is at the far end from the caret.
    {
        const QString body = QStringLiteral("needle ") + BodyWithWords(5 * 1000 * 1000, QString(), 0) +
                             QStringLiteral(" needle end");
        editor->LetterRE()->setPlainText(body);
        QApplication::processEvents();
        find->FEdit()->setText(QStringLiteral("needle"));
        {
            // The first step that scrolls to the far end makes the pane lay the text out down
            // to there: a one-time cost of showing a long text, paid by scrolling there too.
            QTextCursor c = editor->LetterRE()->textCursor();
            c.setPosition(7);
            editor->LetterRE()->setTextCursor(c);
            QElapsedTimer t;
            t.start();
            find->SearchActivePane(QString());
            QApplication::processEvents();
            std::printf("%-58s %9.1f ms   (one-time layout of the text, no target)\n",
                        "first find step after loading 5 MB", t.nsecsElapsed() / 1e6);
        }
        auto step = [&](const char* label, bool exact, bool backward) {
            find->mcase()->setChecked(exact);
            find->wword()->setChecked(exact);
            find->SearchUp()->setChecked(backward);
            double worst = 0;
            for (int round = 0; round < 5; ++round) {
                QTextCursor c = editor->LetterRE()->textCursor();
                c.setPosition(backward ? int(body.size()) - 11 : 7);
                editor->LetterRE()->setTextCursor(c);
                QApplication::processEvents();
                QElapsedTimer t;
                t.start();
                const bool found = find->SearchActivePane(QString());
                QApplication::processEvents();
                worst = std::max(worst, t.nsecsElapsed() / 1e6);
                if (!found)
                    std::printf("  (not found!)\n");
            }
            Report(label, worst, 50);
        };
        step("find step in a 5 MB body, forward (worst of 5)", false, false);
        step("find step in a 5 MB body, exact whole words (worst of 5)", true, false);
        step("find step in a 5 MB body, backward (worst of 5)", false, true);
        find->mcase()->setChecked(false);
        find->wword()->setChecked(false);
        find->SearchUp()->setChecked(false);
    }

    // ---- Replace All of 10,000 occurrences in a 1 MB body.
    {
        const QString body = BodyWithWords(1000 * 1000, QStringLiteral("oldword"), 10000);
        editor->LetterRE()->setPlainText(body);
        editor->LetterRE()->moveCursor(QTextCursor::Start);
        QApplication::processEvents();
        find->FEdit()->setText(QStringLiteral("oldword"));
        find->REdit()->setText(QStringLiteral("replacement"));
        shell.dialogs.messages.clear();
        QElapsedTimer t;
        t.start();
        find->ReplaceAllBtnClick();
        QApplication::processEvents();
        const double ms = t.nsecsElapsed() / 1e6;
        const int left = int(editor->LetterRE()->toPlainText().count(QLatin1String("oldword")));
        const int made = int(editor->LetterRE()->toPlainText().count(QLatin1String("replacement")));
        char label[96];
        std::snprintf(label, sizeof label, "Replace All, %d occurrences in a 1 MB body (%d left)", made, left);
        Report(label, ms, 2000);
    }

    std::printf("%s\n", failures ? "some targets missed" : "all targets met");
    return failures ? 1 : 0;
}
