// The commands of a node's jump: what a hotspot or menu entry that names a frame runs.
#include "viewer/main_wnd.h"

#include "core/object_item.h"

namespace {

// An aerial frame's view height when the jump gives none.
constexpr float kAerialViewHeight = 1200.0f;

// Index and record of the first frame of the list with the name; -1 and null when none.
int32_t FrameIndexOf(CObjeto& frames, const char* name, CFrame** frame)
{
    int32_t index = 0;
    for (CObjeto* node = frames.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        if (record->type == ItemType::Frame && static_cast<FrameItem*>(record)->frame.name == name) {
            *frame = &static_cast<FrameItem*>(record)->frame;
            return index;
        }
        index++;
    }
    *frame = nullptr;
    return -1;
}

}  // namespace

int32_t CMainWnd::CompileNodeCommands(CObjeto& frames, CompiledCode* code, const char* target,
                                      float x, float y, float z, float tilt, float pan, float zoom)
{
    CFrame* frame = nullptr;
    const int32_t index = FrameIndexOf(frames, target ? target : "", &frame);
    if (index < 0 || !code)
        return index;

    CFrame* destination = frame;
    if (frame->sourceKind == SourcePositioner) {
        // The view camera glides to the marker's own view ...
        const float* view = frame->initialView;
        CTexto glide;
        glide.Format("CameraValue(0,x,%f,0,1);CameraValue(0,y,%f,0,1);CameraValue(0,z,%f,0,1);"
                     "CameraValue(0,rotx,%f,0,1);CameraValue(0,roty,%f,0,1);"
                     "CameraValue(0,zoom,%f,0,1);",
                     view[ViewX], view[ViewY], view[ViewZ], view[ViewTilt], view[ViewPan],
                     view[ViewZoom]);
        CompileCommands(code, glide.GetText(), nullptr);
        // ... unless its first object names the frame it stands for: then the jump goes there
        // with the marker object's view.
        ItemRecord* first = frame->objects.GetCount() > 0 ? frame->objects.GetItem(0) : nullptr;
        if (!first || !IsObjectItemType(first->type))
            return index;
        CFrame* standsFor = nullptr;
        if (FrameIndexOf(frames, first->name.GetText(), &standsFor) < 0)
            return index;
        const ObjectItem* marker = static_cast<const ObjectItem*>(first);
        destination = standsFor;
        x = marker->x;
        y = marker->y;
        z = marker->z;
        tilt = marker->rotX;
        pan = marker->rotY;
    }
    if (destination->sourceKind == SourceAerial && y == 0.0f)
        y = kAerialViewHeight;

    CTexto text;
    text.Format("GoToFrame(\"%s\");", destination->name.GetText());
    if (x != 0.0f || y != 0.0f || z != 0.0f || tilt != 0.0f || pan != 0.0f ||
        (zoom != 0.0f && zoom != 1.0f)) {
        CTexto view;
        view.Format("CameraValue(0,x,%f);CameraValue(0,y,%f);CameraValue(0,z,%f);"
                    "CameraValue(0,rotx,%f);CameraValue(0,roty,%f);CameraValue(0,zoom,%f);",
                    x, y, z, tilt, pan, zoom);
        text += view;
    }
    CompileCommands(code, text.GetText(), nullptr);
    return index;
}
