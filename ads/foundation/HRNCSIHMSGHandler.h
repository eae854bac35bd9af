#pragma once
// HRNCSIHMSGHandler: the page message "instrument", through which an ad's page adds to the
// "make_wv" timing report: "tick" (a page timestamp, timed from a start label), "experiment"
// (an experiment identifier) and "extra" (a report parameter). With reporting off for this
// launch the recorder is null and only the tick's timestamp is kept.
//
// Threading: main queue, like every handler of an ad view's chain.

#include <map>
#include <memory>
#include <string>

#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNCSIHMSGHandler : public HRNHMSGHandler {
  public:
    using SubActionBlock = std::function<
        void(HRNCSIHMSGHandler&, const std::shared_ptr<HRNAdView>&, const Parameters&)>;

    // {"instrument"}
    const ActionBlockDictionary& actionBlockDictionary() const override;
    // {"tick", "experiment", "extra"}, chosen by the message's "action".
    static const std::map<std::string, SubActionBlock>& subActionBlockDictionary();

    void adViewDidReceiveCSINotification(const std::shared_ptr<HRNAdView>& adView,
                                         const Parameters& parameters);
    void adViewDidReceiveTickAction(const std::shared_ptr<HRNAdView>& adView,
                                    const Parameters& parameters);
    void adViewDidReceiveExperimentAction(const std::shared_ptr<HRNAdView>& adView,
                                          const Parameters& parameters);
    void adViewDidReceiveExtraAction(const std::shared_ptr<HRNAdView>& adView,
                                     const Parameters& parameters);
};
