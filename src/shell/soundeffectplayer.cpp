#include "soundeffectplayer.h"

#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

SoundEffectPlayer::SoundEffectPlayer(QObject *parent) : QObject(parent) {}

void SoundEffectPlayer::play(const QString &fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return;
    auto *effect = new QSoundEffect(this);
    // Whatever happens to the file, the effect goes away: when it has played, or when it
    // could not be loaded.
    connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying())
            effect->deleteLater();
    });
    connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error)
            effect->deleteLater();
    });
    effect->setSource(QUrl::fromLocalFile(fileName));
    effect->play();
}
