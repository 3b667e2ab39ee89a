#pragma once
// The imagery and state of one frame (node) of a tour.
#include "core/item_list.h"
#include "core/text_string.h"

class CObjeto2D;

class CFrame {
public:
    CFrame();
    virtual ~CFrame();

    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    // Gives the object list the view's resident-resource list (so that its items withdraw their
    // sprites and meshes there), then empties it.
    void ClearObjects();

    CTexto name;
    CObjeto2D* device = nullptr;  // the render device that shows the frame, not owned
    // The frame's interface objects. Its residentList is the frame's own resident list.
    CObjeto objects;
};
