// Null_Audio_System: an audio system without output. Every operation does
// nothing except the mute switch, which is remembered. The application runs
// with it where no sound back end is built in.
#pragma once
#include "audio/Audio_System.h"

class Null_Audio_System : public Audio_System {
public:
    void update(float) override {}
    bool isMuted() override { return m_muted; }
    void setMuted(bool muted) override { m_muted = muted; }
    void loadSound(const char*) override {}
    void playSound(const char*) override {}
    void playStream(const char*) override {}

private:
    bool m_muted = false;
};
