#pragma once
// The shapes of the API server's replies, written with PFVPredicate: the named schemas (built
// once, shared, usable from any thread) and the response masks of each API path (built afresh
// per request). A reply is accepted only when it matches its path's mask.

#include <string>

#include "puffin/networking/PFVPredicate.h"

PFVPredicateRef PFAPIMaskAsset();
PFVPredicateRef PFAPIMaskPositionedAsset();
PFVPredicateRef PFAPIMaskInterstitialAssets();
PFVPredicateRef PFAPIMaskInterstitialUX();
PFVPredicateRef PFAPIMaskMoreAppsAssets();
PFVPredicateRef PFAPIMaskMoreAppsCell();
PFVPredicateRef PFAPIMaskInPlayItem();

PFVMask PFAPIMaskStatusOnly();  // {"status": status}
PFVMask PFAPIMaskFallback();    // {"code": status}
PFVMask PFAPIMaskVideoPrefetch();
PFVMask PFAPIMaskInPlayBatch();
PFVMask PFAPIMaskInterstitialResponse();
PFVMask PFAPIMaskMoreAppsResponse();
PFVMask PFAPIMaskWebviewAdResponse();
PFVMask PFAPIMaskWebviewPrefetchResponse();

// The mask of an API path, by the path's text (so a request rebuilt from storage gets the same
// mask as the one first made); the fallback for a path outside the table.
PFVMask PFAPIResponseMaskForPath(const std::string& path);
