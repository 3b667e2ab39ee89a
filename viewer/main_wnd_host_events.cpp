// The host event ring: pairs of an event name and a value for a page hosting the viewer. This
// program only writes the ring; a host that reads it moves m_hostEventRead on.
#include "viewer/main_wnd.h"

namespace {

constexpr int32_t kHostEventSlots = 20;

}  // namespace

void CMainWnd::QueueHostEvent(const char* name, const char* value)
{
    static_assert(sizeof(m_hostEventNames) / sizeof(m_hostEventNames[0]) == kHostEventSlots,
                  "one name per slot");
    const int32_t write = m_hostEventWrite;
    const int32_t next = (write + 1) % kHostEventSlots;
    // One slot stays free, so a full ring and an empty one differ.
    if (write < 0 || write >= kHostEventSlots || next == m_hostEventRead)
        return;
    m_hostEventNames[write] = name ? name : "";
    m_hostEventValues[write] = value ? value : "";
    m_hostEventWrite = next;
}
