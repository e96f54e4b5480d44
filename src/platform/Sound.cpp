#include "platform/Sound.h"

#include "platform/ProgramFolder.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

TSoundPlayer::TSoundPlayer(QObject* parent)
    : QObject(parent), m_enabled(qEnvironmentVariableIsEmpty("QUORVEL_NO_SOUND"))
{
}

void TSoundPlayer::Play(const QString& fileName)
{
    m_history << fileName;
    if (!m_enabled)
        return;
    QSoundEffect* effect = m_effects.value(fileName);
    if (!effect) {
        const QString path = ResourcePath(fileName);
        if (!QFileInfo::exists(path))
            return;
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(path));
        m_effects.insert(fileName, effect);
    }
    // Loading is asynchronous: a sound asked for before it is ready plays once it is.
    if (effect->status() == QSoundEffect::Ready) {
        effect->play();
    } else if (effect->status() == QSoundEffect::Loading) {
        connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
            if (effect->status() == QSoundEffect::Ready)
                effect->play();
        }, Qt::SingleShotConnection);
    }
}
