#pragma once
// The video source of a video or webcam image.
#include <cstdint>

class CDirectShowVideo {
public:
    CDirectShowVideo();
    virtual ~CDirectShowVideo();

    CDirectShowVideo(const CDirectShowVideo&) = delete;
    CDirectShowVideo& operator=(const CDirectShowVideo&) = delete;

    int32_t repeatMode = 0;  // the repeat setting that Play hands over
};
