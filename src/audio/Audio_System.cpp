// Audio_System: registration of the one process-wide instance.
#include "audio/Audio_System.h"
#include "core/DebugLog.h"
#include "core/Exceptions.h"

Audio_System* g_glob_audio_system = 0;

Audio_System::Audio_System() {
    M3D_ASSERT(g_glob_audio_system == 0);
    g_glob_audio_system = this;
}

Audio_System::~Audio_System() {
    // A destructor must not throw: report the mismatch and leave the other
    // instance registered.
    if (g_glob_audio_system != this) {
        try {
            M3D_ASSERT(g_glob_audio_system == this);
        } catch (const Assert_Exception&) {
        }
        return;
    }
    g_glob_audio_system = 0;
}
