#include "platform/device/Bluetooth.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "platform/device/SystemVersion.h"
#include "platform/dispatch/Queue.h"

namespace platform::device {
namespace {

struct Radio {
    std::mutex mutex;
    int64_t state = kBluetoothStatePoweredOff;
    std::vector<BluetoothPeripheral> connected;
    std::vector<std::weak_ptr<BluetoothCentral>> centrals;
};

Radio& radio() {
    static Radio* shared = new Radio;
    return *shared;
}

int64_t majorSystemVersion() {
    return std::atoll(systemVersion().c_str());
}

}  // namespace

int64_t bluetoothState() {
    std::lock_guard lock(radio().mutex);
    return radio().state;
}

void setBluetoothState(int64_t state) {
    std::vector<std::shared_ptr<BluetoothCentral>> centrals;
    {
        std::lock_guard lock(radio().mutex);
        if (radio().state == state) return;
        radio().state = state;
        for (const auto& weak : radio().centrals) {
            if (auto strong = weak.lock()) centrals.push_back(std::move(strong));
        }
    }
    for (const auto& central : centrals)
        central->reportState();
}

void setConnectedBluetoothPeripherals(std::vector<BluetoothPeripheral> peripherals) {
    std::lock_guard lock(radio().mutex);
    radio().connected = std::move(peripherals);
}

std::shared_ptr<BluetoothCentral> BluetoothCentral::create(
    std::weak_ptr<BluetoothCentralDelegate> delegate,
    bool showPowerAlert) {
    std::shared_ptr<BluetoothCentral> central(
        new BluetoothCentral(std::move(delegate), showPowerAlert));
    {
        std::lock_guard lock(radio().mutex);
        std::erase_if(radio().centrals, [](const auto& weak) { return weak.expired(); });
        radio().centrals.push_back(central);
    }
    central->reportState();
    return central;
}

void BluetoothCentral::reportState() {
    std::weak_ptr<BluetoothCentral> weak = shared_from_this();
    Queue::main()->async([weak] {
        std::shared_ptr<BluetoothCentral> central = weak.lock();
        if (!central) return;
        if (auto delegate = central->delegate_.lock()) delegate->centralDidUpdateState(*central);
    });
}

int64_t BluetoothCentral::state() const {
    return bluetoothState();
}

std::optional<std::vector<BluetoothPeripheral>>
BluetoothCentral::retrieveConnectedPeripheralsWithServices(
    const std::vector<std::string>& services) const {
    if (majorSystemVersion() < 7) return std::nullopt;
    std::lock_guard lock(radio().mutex);
    std::vector<BluetoothPeripheral> result;
    for (const BluetoothPeripheral& peripheral : radio().connected) {
        const bool offers = std::any_of(services.begin(), services.end(), [&](const auto& s) {
            return std::find(peripheral.services.begin(), peripheral.services.end(), s) !=
                   peripheral.services.end();
        });
        if (offers) result.push_back(peripheral);
    }
    return result;
}

}  // namespace platform::device
