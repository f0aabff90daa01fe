// Audio_System: sound effects and looping music streams for the scripts.
// One process-wide instance, reachable through g_glob_audio_system while it
// exists. The application creates it at start-up, calls update once per fixed
// 1/60 s step, toggles mute with the M key and deletes it at shut-down.
// Sounds are named by their file name (relative to the working directory).
#pragma once

class Audio_System {
public:
    // Registers this instance in g_glob_audio_system; a second live instance
    // fails the check "g_glob_audio_system == 0" (assertion reporter).
    Audio_System();
    // Clears g_glob_audio_system; fails "g_glob_audio_system == this" when it
    // points elsewhere.
    virtual ~Audio_System();
    Audio_System(const Audio_System&) = delete;
    Audio_System& operator=(const Audio_System&) = delete;

    // Per-step work (fades, stream refills); the argument is not used.
    virtual void update(float step) = 0;
    virtual bool isMuted() = 0;
    // Eases the master volume to 0 (muted) or 1 over the following updates.
    virtual void setMuted(bool muted) = 0;
    // Opens a sound once; a missing file is silently ignored.
    virtual void loadSound(const char* file) = 0;
    // Plays a sound once on a free channel (loading it first if needed).
    virtual void playSound(const char* file) = 0;
    // Starts a looping music stream, cross-fading from the current one.
    virtual void playStream(const char* file) = 0;
};

// The live instance, or null.
extern Audio_System* g_glob_audio_system;
