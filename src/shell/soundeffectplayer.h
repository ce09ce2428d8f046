#pragma once

#include "soundplayer.h"

#include <QObject>

// The desktop's player on QSoundEffect. Each call plays on an effect of its own, which is
// deleted when it has finished, so overlapping sounds do not cut each other off.
class SoundEffectPlayer : public QObject, public SoundPlayer
{
    Q_OBJECT
public:
    explicit SoundEffectPlayer(QObject *parent = nullptr);
    void play(const QString &fileName) override;
};
