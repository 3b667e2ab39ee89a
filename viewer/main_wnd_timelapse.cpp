// Single-image and timelapse frames: a document that is one picture or video, or a frame whose
// image is a list of files shown over time.
#include "viewer/main_wnd.h"

#include "core/item_records.h"
#include "core/path_resolution.h"

CTexto CMainWnd::SingleImageName()
{
    CTexto name = m_scriptFile;
    if (m_timelineCount > 0) {
        ItemRecord* first = m_fileList.GetItem(0);
        if (first && first->type == ItemType::Value)
            name = static_cast<ValueItem*>(first)->text;
    }
    ResolvePath(name, &m_basePath, nullptr);
    return name;
}

bool CMainWnd::LoadSingleImage(CFrame* frame)
{
    if (!frame)
        return false;
    const CTexto name = SingleImageName();
    // Not built yet: answers false (a frame has no image slots to load the picture into until
    // CFrame::CreateGeometry builds them).
    return false;
}
