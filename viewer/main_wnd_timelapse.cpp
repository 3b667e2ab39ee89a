// Single-image and timelapse frames: a document that is one picture or video, or a frame whose
// image is a list of files shown over time.
#include "viewer/main_wnd.h"

#include <algorithm>

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
    if (!frame || frame->spriteCount <= 0 || !frame->sprites[0])
        return false;
    const CTexto name = SingleImageName();
    CSprite* first = frame->sprites[0];
    first->decodeOption = 1;
    // The frame-ready work builds the frame's shape once the picture's size is known.
    first->LoadAsync(name.GetText(), m_view.params->bitsPerPixel, m_messageWnd,
                     ViewerMessageFrameReady, reinterpret_cast<WPARAM>(frame));
    frame->TrackSpriteProgress(first, ProgressWeightNormal);
    if (frame->meshCount > 0 && frame->meshes[0])
        frame->meshes[0]->SetTexture(first, -1, 1, -1, false);

    if (m_timelineCount > 1) {
        m_timelineSlots[0] = 0;
        const uint32_t fill = (frame->overrides & OverrideBackColour)
                                  ? static_cast<uint32_t>(frame->backColour)
                                  : static_cast<uint32_t>(m_params.bgColor);
        for (int i = 1; i <= 2 && i < m_timelineCount; ++i) {
            if (frame->sprites[i])
                continue;
            CSprite* image = new CSprite;
            image->decodeOption = 1;
            image->backColour = fill;
            frame->sprites[i] = image;
            frame->spriteCount = std::max<int32_t>(frame->spriteCount, i + 1);
        }
        m_timelineWindow = -1;
        m_timelineShown = -1;
        SetTimelapsePosition(frame);
    }
    return true;
}
