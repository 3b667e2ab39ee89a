#pragma once
// The render device and viewport of one output window (or of an off-screen target).
#include "core/item_list.h"

class CObjeto2D {
public:
    CObjeto2D();
    virtual ~CObjeto2D();

    CObjeto2D(const CObjeto2D&) = delete;
    CObjeto2D& operator=(const CObjeto2D&) = delete;

    // Images, frames and meshes that hold copies on the device, each an ObjectItem keyed by the
    // sprite or mesh it stands for (ObjectItem::linkedObject). Item lists whose records hold
    // sprites or meshes point their CObjeto::residentList here so that destroying a record
    // withdraws it.
    CObjeto residentList;
};
