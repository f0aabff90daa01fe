// Audio_System: sound effects and looping music streams for the scripts.
//
// One process-wide instance, reachable through g_glob_audio_system while it
// exists. The application creates it at start-up (M3D_NEW; it is owned, not
// reference counted, and deleted explicitly), calls update() once per fixed
// 1/60 s step, toggles mute with the M key and deletes it at shut-down.
//
// Sounds are named by their file name (relative to the working directory);
// each file is opened once and kept until the system is deleted. A file that
// is missing or cannot be decoded plays nothing and logs one warning naming
// it. Every operation runs on the frame loop's thread.
#pragma once
#include "core/Object.h"

class Audio_System : public core::Object {
public:
    // Registers this instance in g_glob_audio_system; a second live instance
    // fails the check "g_glob_audio_system == 0" (assertion reporter).
    Audio_System();
    // Clears g_glob_audio_system; fails "g_glob_audio_system == this" when it
    // points elsewhere (reported, never thrown out of the destructor).
    virtual ~Audio_System();
    Audio_System(const Audio_System&) = delete;
    Audio_System& operator=(const Audio_System&) = delete;

    // Per-step work: refills music streams, eases the cross-fade and the
    // master volume. The fades count calls, not time; the argument is unused.
    virtual void update(float step) = 0;
    virtual bool isMuted() = 0;
    // Eases the master volume to 0 (muted) or 1 over the following updates.
    virtual void setMuted(bool muted) = 0;
    // Opens and decodes a sound once; later calls with the same name do nothing.
    virtual void loadSound(const char* file) = 0;
    // Plays a sound once at full volume on a free channel (loading it first).
    virtual void playSound(const char* file) = 0;
    // Starts a looping music stream. A stream already playing fades out over
    // about 90 steps while the new one fades in from silence; a stream still
    // fading out from an earlier call is stopped at once.
    virtual void playStream(const char* file) = 0;
};

// The live instance, or null.
extern Audio_System* g_glob_audio_system;
