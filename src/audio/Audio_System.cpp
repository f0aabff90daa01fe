// Audio_System: registration of the one process-wide instance.
#include "audio/Audio_System.h"
#include "core/AssertionSites.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"

Audio_System* g_glob_audio_system = nullptr;

Audio_System::Audio_System() {
    if (g_glob_audio_system != 0)
        core::assertFailure(assertion::AUDIO_SECOND_SYSTEM);
    g_glob_audio_system = this;
}

Audio_System::~Audio_System() {
    if (g_glob_audio_system == this) {
        g_glob_audio_system = nullptr;
        return;
    }
    // Reported, never thrown out of a destructor.
    try {
        core::assertFailure(assertion::AUDIO_SYSTEM_REPLACED);
    } catch (const Assert_Exception&) {
    }
}
