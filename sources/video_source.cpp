#include "sources/video_source.h"

CDirectShowVideo::CDirectShowVideo() = default;

CDirectShowVideo::~CDirectShowVideo() = default;
