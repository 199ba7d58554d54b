// Common ground of the widget tests: a settings store of the test's own (never
// the user's, nor that of a test running beside it) and a scripted prompter
// per test case.
#pragma once

#include "Prompter.h"
#include "ScriptedPrompter.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace PrompterFixture {

// Once per program: the store of the program's names lives in `dir`.
inline void isolateStore(const QTemporaryDir& dir)
{
    QStandardPaths::setTestModeEnabled(true);
    QDir::setCurrent(dir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
}

template <typename P> void removePrompter(P*& prompter)
{
    Prompter::setInstance(nullptr);
    delete prompter;
    prompter = nullptr;
}

// A second base beside QObject: initTestCase calls isolate(), init
// installPrompter(), cleanup tearDown().
template <typename P = ScriptedPrompter> class Prompted
{
protected:
    P* m_prompter = nullptr;
    QTemporaryDir m_dir;

    void isolate()
    {
        QVERIFY(m_dir.isValid());
        isolateStore(m_dir);
    }
    void installPrompter()
    {
        m_prompter = new P;
        Prompter::setInstance(m_prompter);
    }
    void tearDown() { removePrompter(m_prompter); }
};

} // namespace PrompterFixture
