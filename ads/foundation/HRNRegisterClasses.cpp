#include "ads/foundation/HRNRegisterClasses.h"

#include "ads/foundation/HRNApplication.h"
#include "ads/mediation/HRNMAdNetworkConnector.h"

void HRNRegisterClasses() {
    HRNMRegisterConnectorClasses();
    HRNApplication::load();
}
