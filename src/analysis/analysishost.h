#pragma once

#include <QByteArray>
#include <QString>

// What page analysis (GetLinks, GetFaxes) needs of the harvest that runs it: the running
// flag, the status panels, the base of relative links, the slot's address, the current
// search, two options, the found-number sound and the hand-back of the slot. The engine
// implements it; tests and varnel-tool use small implementations of their own.
class AnalysisHost
{
public:
    virtual ~AnalysisHost() = default;

    virtual bool isHarvesting() const = 0;                       // bHarvesting
    virtual void setStatusPanel(int panel, const QString &text) = 0; // StatusBar1 panels 1..4
    virtual QByteArray strCurUrl() const = 0;  // the last connect's site, without scheme
    virtual QByteArray strCurDir() const = 0;  // its directory, ending in "/"
    // The slot's host immediately followed by its path (the page a number is stored with).
    virtual QByteArray slotAddress(int slot) const = 0;
    virtual QString currentSearch() const = 0;       // entry 0 of List1
    virtual bool allowInternational() const = 0;     // chkNonUS
    virtual bool soundOnFaxFound() const = 0;        // chkAudioEmail
    // PlayWav of a file below the data directory, e.g. "sounds/foundfax.wav"; never blocks.
    virtual void playSound(const QString &relativeName) = 0;
    virtual void FetchNextSite(int slot) = 0;        // hand the slot back to the scheduler
};
