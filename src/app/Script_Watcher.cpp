#include "app/Script_Watcher.h"

Script_Watcher::Script_Watcher(const core::String& folder, unsigned pollMs, unsigned gatherMs)
    : m_folder(folder), m_stamp(HAL::stampFileTree(folder)), m_pollMs(pollMs), m_gatherMs(gatherMs) {}

bool Script_Watcher::poll(unsigned nowMs) {
    if (!m_started) {
        m_started = true;
        m_lastPoll = nowMs;
    }
    // Differences, not comparisons, so the 32-bit clock may wrap.
    if (nowMs - m_lastPoll >= m_pollMs) {
        m_lastPoll = nowMs;
        HAL::FileTreeStamp now = HAL::stampFileTree(m_folder);
        if (now != m_stamp) {
            m_stamp = now;
            if (!m_pending) m_firstChange = nowMs;
            m_pending = true;
        }
    }
    if (!m_pending || nowMs - m_firstChange < m_gatherMs) return false;
    m_pending = false;
    ++m_reloads;
    return true;
}

void Script_Watcher::rebase(unsigned nowMs) {
    m_stamp = HAL::stampFileTree(m_folder);
    m_pending = false;
    m_started = true;
    m_lastPoll = nowMs;
}
