// Audio_System: sound effects and looping music for the scripts.
//
// One process-wide instance, reachable through g_glob_audio_system while it
// lives (the constructor registers it, the destructor clears it; a second
// instance fails the check "g_glob_audio_system == 0"). The application
// creates it at start-up, calls update() once per fixed 1/60 s step, toggles
// mute with the M key and deletes it at shut-down.
//
// Sounds are named by their file name (relative to the working directory) and
// each file is opened once and kept until the system is deleted. A file that
// is missing or cannot be decoded plays nothing; it logs one warning naming
// the file. Every operation is single-threaded (the frame loop's thread).
#pragma once
#include "core/Object.h"

// Allocated from the engine pool (M3D_NEW) and owned by whoever created it
// (deleted explicitly, not reference counted).
class Audio_System : public core::Object {
public:
    Audio_System();
    virtual ~Audio_System();

    // Per-step work: refills music streams, eases the cross-fade and the
    // master volume. The fades count calls, not time; the argument is unused.
    virtual void update(float step) = 0;
    virtual bool isMuted() = 0;
    // Muting eases the master volume towards 0 (unmuting towards 1) in update().
    virtual void setMuted(bool muted) = 0;
    // Opens and decodes a sound once; later calls with the same name do nothing.
    virtual void loadSound(const char* file) = 0;
    // Plays a sound once at full volume on a free channel (loads it first).
    virtual void playSound(const char* file) = 0;
    // Starts a looping music stream. A stream already playing fades out over
    // about 90 steps while the new one fades in from silence; a stream still
    // fading out from an earlier call is stopped at once.
    virtual void playStream(const char* file) = 0;

private:
    Audio_System(const Audio_System&);
    Audio_System& operator=(const Audio_System&);
};

// The live instance, or null.
extern Audio_System* g_glob_audio_system;
