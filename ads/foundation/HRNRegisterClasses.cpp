#include "ads/foundation/HRNRegisterClasses.h"

#include "ads/foundation/HRNApplication.h"

void HRNRegisterClasses() {
    HRNApplication::load();
}
