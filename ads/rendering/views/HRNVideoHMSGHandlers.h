#pragma once
// The video handlers of an ad view's chain: HRNVideoPlayerHMSGHandler (fifth: "video") and
// HRNVideoMetadataHMSGHandler (tenth: "videoMeta"). In this form they hold their places in the
// chain; native video under a page comes with the video support of the ad views, and until
// then they take no message. Main thread only.

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNVideoPlayerHMSGHandler : public HRNHMSGHandler {};
class HRNVideoMetadataHMSGHandler : public HRNHMSGHandler {};
