#pragma once

#include <QString>

// Plays a wave file given by its full name (PlayWav). Never blocks the caller; a file that
// is missing or cannot be played plays nothing and reports nothing. Not owned by the
// harvest. The desktop's player lives with the windows; tests record what was played.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &fileName) = 0;
};
