#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// PlayWav: plays a wave file given by its full name. Never blocks the caller; a file that
// is missing or cannot be played plays nothing and reports nothing. Not owned by the engine.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void PlayWav(const QString &fileName) = 0;
};

// The desktop player on QSoundEffect. Each call plays on an effect of its own, which is
// deleted when it has finished, so overlapping sounds do not cut each other off.
class SoundEffectPlayer : public QObject, public SoundPlayer
{
    Q_OBJECT
public:
    explicit SoundEffectPlayer(QObject *parent = nullptr);
    void PlayWav(const QString &fileName) override;
};

// Plays nothing; remembers the names (tests, the headless tool).
class RecordingSoundPlayer : public SoundPlayer
{
public:
    void PlayWav(const QString &fileName) override { played.append(fileName); }
    // The file names only ("finished.wav"), in order.
    QStringList names() const;
    QStringList played;
};
