// The jump a node or menu entry compiles for a frame: GoToFrame with the view values, aerial
// frames, and position markers that stand for other frames.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"
#include "script/compiler.h"

namespace {

std::vector<uint8_t> Bytes(const CompiledCode& code)
{
    return code.code ? std::vector<uint8_t>(code.code, code.code + code.length)
                     : std::vector<uint8_t>();
}

// The code of a command text; never empty for the texts here.
std::vector<uint8_t> Compiled(const std::string& text)
{
    CompiledCode code;
    CompileCommandText(&code, text.c_str(), nullptr, nullptr);
    EXPECT_GT(code.length, 0) << text;
    return Bytes(code);
}

struct Tour {
    CFrame& Add(const char* name, int32_t sourceKind)
    {
        FrameItem* item = static_cast<FrameItem*>(frames.CreateItem(ItemType::Frame));
        item->frame.name = name;
        item->frame.sourceKind = sourceKind;
        return item->frame;
    }
    std::unique_ptr<CMainWnd> engine = std::make_unique<CMainWnd>();
    CObjeto frames;
};

TEST(NodeCommands, JumpWithViewValuesOnlyWhenTheyAreNotNeutral)
{
    Tour tour;
    tour.Add("garden", SourcePanorama);
    tour.Add("hall", SourcePanorama);
    tour.Add("map", SourceAerial);
    struct Case {
        const char* target;
        float x, y, z, tilt, pan, zoom;
        int32_t index;
        const char* expected;
    } cases[] = {
        {"hall", 0, 0, 0, 0, 0, 0, 1, "GoToFrame(\"hall\");"},
        {"hall", 0, 0, 0, 0, 0, 1, 1, "GoToFrame(\"hall\");"},
        {"hall", 0, 0, 0, 0, 0, 2, 1,
         "GoToFrame(\"hall\");CameraValue(0,x,0);CameraValue(0,y,0);CameraValue(0,z,0);"
         "CameraValue(0,rotx,0);CameraValue(0,roty,0);CameraValue(0,zoom,2);"},
        {"garden", 0, 0, 0, -10, 45.5f, 1, 0,
         "GoToFrame(\"garden\");CameraValue(0,x,0);CameraValue(0,y,0);CameraValue(0,z,0);"
         "CameraValue(0,rotx,-10);CameraValue(0,roty,45.5);CameraValue(0,zoom,1);"},
        // An aerial frame without a height is seen from 1200.
        {"map", 0, 0, 0, 0, 0, 1, 2,
         "GoToFrame(\"map\");CameraValue(0,x,0);CameraValue(0,y,1200);CameraValue(0,z,0);"
         "CameraValue(0,rotx,0);CameraValue(0,roty,0);CameraValue(0,zoom,1);"},
        {"map", 0, 300, 0, 0, 0, 1, 2,
         "GoToFrame(\"map\");CameraValue(0,x,0);CameraValue(0,y,300);CameraValue(0,z,0);"
         "CameraValue(0,rotx,0);CameraValue(0,roty,0);CameraValue(0,zoom,1);"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CompiledCode code;
        EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &code, c.target, c.x, c.y, c.z,
                                                   c.tilt, c.pan, c.zoom),
                  c.index);
        EXPECT_EQ(Bytes(code), Compiled(c.expected));
    }
}

TEST(NodeCommands, UnknownTargetLeavesTheCodeAlone)
{
    Tour tour;
    tour.Add("hall", SourcePanorama);
    CompiledCode code;
    CompileCommandText(&code, "Beep()", nullptr, nullptr);
    const std::vector<uint8_t> before = Bytes(code);
    EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &code, "Hall", 0, 0, 0, 0, 0, 1), -1);
    EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &code, "", 0, 0, 0, 0, 0, 1), -1);
    EXPECT_EQ(Bytes(code), before);
}

TEST(NodeCommands, PositionMarkers)
{
    Tour tour;
    tour.Add("hall", SourcePanorama);
    CFrame& marker = tour.Add("spot", SourcePositioner);
    float view[ViewFieldCount] = {1, 2, 3, 4, 5, 6, 2};
    std::copy(view, view + ViewFieldCount, marker.initialView);
    const std::string glide =
        "CameraValue(0,x,1,0,1);CameraValue(0,y,2,0,1);CameraValue(0,z,3,0,1);"
        "CameraValue(0,rotx,4,0,1);CameraValue(0,roty,5,0,1);CameraValue(0,zoom,2,0,1);";

    // A marker without objects, or whose object names no frame, only glides to its view.
    CompiledCode alone;
    EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &alone, "spot", 0, 0, 0, 0, 0, 1), 1);
    EXPECT_EQ(Bytes(alone), Compiled(glide));
    ObjectItem* object = static_cast<ObjectItem*>(marker.objects.CreateItem(ItemType::ImageObject));
    object->name = "cellar";
    CompiledCode missing;
    EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &missing, "spot", 0, 0, 0, 0, 0, 1), 1);
    EXPECT_EQ(Bytes(missing), Compiled(glide));

    // Naming a frame, the marker jumps there with its object's view and the given zoom.
    object->name = "hall";
    object->x = 10;
    object->y = 20;
    object->z = 30;
    object->rotX = -5;
    object->rotY = 90;
    CompiledCode jump;
    EXPECT_EQ(tour.engine->CompileNodeCommands(tour.frames, &jump, "spot", 7, 7, 7, 7, 7, 3), 1);
    EXPECT_EQ(Bytes(jump),
              Compiled("GoToFrame(\"hall\");CameraValue(0,x,10);CameraValue(0,y,20);"
                       "CameraValue(0,z,30);CameraValue(0,rotx,-5);CameraValue(0,roty,90);"
                       "CameraValue(0,zoom,3);"));
}

}  // namespace
