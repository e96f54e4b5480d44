#pragma once
// The window tests' fixture: one main window over a home folder of its own (QUORVEL_HOME),
// sounds recorded and never played, the fake message boxes. A test class derives from it,
// calls InitWindowHome() in init() and ResetWindow() in cleanup(). Header only: a test that
// uses it links the whole program (quorvel_appcore).
#include "app/MainForm.h"
#include "platform/Sound.h"
#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class TWindowHarness
{
protected:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TSoundPlayer> m_sounds;
    TFakeDialogs* m_dialogs = nullptr; // the window's, while it lives; null with real dialogs
    std::unique_ptr<TMainForm> m_form;

    void InitWindowHome()
    {
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("QUORVEL_HOME", QFile::encodeName(m_home->path()));
        qputenv("QUORVEL_NO_SOUND", "1");
        m_sounds = std::make_unique<TSoundPlayer>();
    }
    void ResetWindow()
    {
        m_form.reset();
        m_dialogs = nullptr;
        m_sounds.reset();
        m_home.reset();
    }
    QString home(const QString& rel = QString()) const { return m_home->path() + u'/' + rel; }

    enum class TDialogs { Fake, Real };
    // Builds the window, shows it at w x h and lets it settle; `beforeShow` sets what the
    // first showing reads.
    TMainForm& StartWindow(int w = 800, int h = 600, TDialogs kind = TDialogs::Fake,
                           const std::function<void(TMainForm&)>& beforeShow = {})
    {
        if (kind == TDialogs::Fake) {
            auto dialogs = std::make_unique<TFakeDialogs>();
            m_dialogs = dialogs.get();
            m_form = std::make_unique<TMainForm>(*m_sounds, std::move(dialogs));
        } else {
            m_dialogs = nullptr;
            m_form = std::make_unique<TMainForm>(*m_sounds);
        }
        if (beforeShow)
            beforeShow(*m_form);
        m_form->resize(w, h);
        m_form->show();
        if (!QTest::qWaitForWindowExposed(m_form.get()))
            qWarning("window not exposed");
        QCoreApplication::processEvents();
        return *m_form;
    }
};
