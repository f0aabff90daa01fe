// Script_Watcher: the -watch switch. Looks at a folder (Data/) every poll
// interval and answers when the scripts should be reloaded because a file in
// it changed. Saves that come in a burst give one reload: the first change
// opens a window of `gatherMs`, and the reload is due when the window ends,
// counting every change seen inside it.
//
// The watcher has no clock of its own: the caller passes the time in
// milliseconds (any origin, only differences matter), so tests drive it frame
// by frame.
#pragma once
#include "core/Object.h"
#include "core/String.h"
#include "hal/FileTree.h"

class Script_Watcher : public core::Object {
public:
    enum { POLL_MS = 250, GATHER_MS = 1000 };

    // Takes the folder's first stamp now: only later changes count.
    explicit Script_Watcher(const core::String& folder, unsigned pollMs = POLL_MS,
                            unsigned gatherMs = GATHER_MS);

    // true exactly once per gathered burst of changes, when its window ended.
    bool poll(unsigned nowMs);

    // Forget changes seen so far and take a new stamp (after a reload that
    // was started some other way, e.g. the R key).
    void rebase(unsigned nowMs);

    int getReloadCount() const { return m_reloads; }

private:
    core::String m_folder;
    HAL::FileTreeStamp m_stamp;
    unsigned m_pollMs, m_gatherMs;
    unsigned m_lastPoll = 0;
    unsigned m_firstChange = 0;
    bool m_started = false;
    bool m_pending = false;
    int m_reloads = 0;
};
