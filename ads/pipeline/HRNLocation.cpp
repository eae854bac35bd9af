#include "ads/pipeline/HRNLocation.h"

#include "ads/foundation/HRNStringAdditions.h"

platform::Dictionary HRNLocation::dictionaryRepresentation() const {
    return {{"lat", HRNStringFromDoubleTrimmingZeros(latitude_)},
            {"long", HRNStringFromDoubleTrimmingZeros(longitude_)},
            {"accuracy", HRNStringFromDoubleTrimmingZeros(accuracy_)}};
}
