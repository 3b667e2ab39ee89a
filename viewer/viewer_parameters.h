// The viewer parameters: one member per key of the parameter text (command line, parameter
// file, package), with the values a viewer has when no text names the key.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/text_string.h"

// "interface": how the host window is framed.
enum InterfaceMode : int32_t {
    InterfaceSkinnedSmall = 0,
    InterfaceSkinned = 1,
    InterfaceNone = 2,
    InterfaceSystemMenu = 3,
    InterfaceSystemMenuCaption = 4,
    InterfaceSystem = 5,
    InterfaceSystemCaption = 6,
};

constexpr int32_t kMinViewerWidth = 150;
constexpr int32_t kMinViewerHeight = 90;
constexpr int32_t kMaxSaveViewSize = 6000;
// "invertpano" switches the view to this ViewProjection.
constexpr int32_t kProjectionInverted = 7;
constexpr int32_t kDefaultPluginColor = 0xFFFFFF;

// "plugincolor" (0xRRGGBB): one interface colour for every skinned window and toolbar of the
// process, whichever engine set it last.
extern std::atomic<int32_t> g_pluginColor;

struct ViewerParameters {
    // The document.
    CTexto file;
    CTexto src;
    CTexto data;
    CTexto fileType;
    CTexto files;

    // Rendering and navigation.
    int32_t filter = 0;
    int32_t postFilter = 1;
    int32_t synchronism = 0;
    float velocity = 8.0f;
    float zoomVelocity = 8.0f;
    float acceleration = 8.0f;
    int32_t invertPano = 0;
    float rotationX = 0.0f;
    float rotationY = 0.0f;
    float minRotationX = -90.0f;
    float maxRotationX = 90.0f;
    float minRotationY = 360.0f;
    float maxRotationY = 360.0f;
    float minZoom = 0.28f;
    float maxZoom = 8.0f;
    float zoom = 1.0f;
    CTexto fovMode;
    int32_t projection = 0;
    CTexto projectionFile;
    int32_t grayScale = 0;
    int32_t mouseMode = 0;
    float horizonPosition = 50.0f;
    float fisheye = 0.5f;
    int32_t bgColor = 0xF8F8F8;  // 0xRRGGBB

    // Interface.
    int32_t menu = 1;
    int32_t toolsBar = 1;
    int32_t progressBar = 1;
    int32_t fullScreen = 0;
    int32_t resize = 1;
    CTexto stamp;
    CTexto stampLink;
    CTexto barStrings;
    CTexto aboutUrl;
    CTexto logo;
    CTexto logoShadow;
    int32_t logoAlpha = 100;
    CTexto logoUrl;
    int32_t activeButtons = -1;
    CTexto language;
    CTexto closeImage;
    int32_t closeButton = -1;
    CTexto interfaceFile;
    CTexto interfaceCode;
    int32_t exitKey = 0;
    int32_t accessibility = 0;

    // Autoplay and sequences.
    float autoplay = 0.0f;
    float autoplaySpeed = 8.0f;
    int32_t autoplayTimelapse = 0;
    CTexto firstAutoplay;
    CTexto sequenceFile;
    CTexto firstObject;

    // The host window.
    int32_t interfaceMode = InterfaceSkinned;  // "interface"
    int32_t viewerWidth = 768;
    int32_t viewerHeight = 480;
    int32_t viewerPosX = 0;
    int32_t viewerPosY = 0;
    int32_t viewerAlign = 153;
    int32_t viewerTopmost = 0;
    int32_t maximize = 0;
    int32_t oneInstance = 0;
    int32_t dragDrop = 1;
    int32_t disableScreensaver = 0;
    int32_t reload = 0;
    int32_t screensaver = 0;
    int32_t windowless = 0;
    int32_t widthSaveView = 0;
    int32_t heightSaveView = 0;

    // Other viewers and the content.
    CTexto pluginName;
    CTexto pluginCamera;
    CTexto required;
    CTexto name;  // also "id"
    int32_t allowHalfVideo = 0;
    CTexto fullScreenSrc;
    CTexto fullScreenSuffix;
    float vramRequired = 0.0f;
};
