#pragma once

// A sound player that plays nothing and remembers the file names, in order.

#include "soundplayer.h"

#include <QFileInfo>
#include <QStringList>

class RecordingSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &fileName) override { played.append(fileName); }
    // The file names only ("finished.wav").
    QStringList names() const
    {
        QStringList out;
        for (const QString &p : played)
            out << QFileInfo(p).fileName();
        return out;
    }
    QStringList played;
};
