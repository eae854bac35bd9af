#include "ads/foundation/HRNBluetoothMonitor.h"

#include "ads/foundation/HRNQueueLabel.h"
#include "platform/device/DeviceFacts.h"

HRNBluetoothMonitor::HRNBluetoothMonitor()
    : lockQueue_(platform::Queue::serial(HRNQueueLabel("bluetooth"))) {}

std::shared_ptr<HRNBluetoothMonitor> HRNBluetoothMonitor::create() {
    auto monitor = std::make_shared<HRNBluetoothMonitor>();
    monitor->bluetoothManager_ = platform::device::BluetoothCentral::create(monitor, false);
    return monitor;
}

int64_t HRNBluetoothMonitor::bluetoothState() const {
    int64_t state = 0;
    lockQueue_->sync([&] { state = bluetoothState_; });
    return state;
}

void HRNBluetoothMonitor::centralDidUpdateState(platform::device::BluetoothCentral& central) {
    const int64_t state = central.state();
    std::weak_ptr<HRNBluetoothMonitor> weak = weak_from_this();
    lockQueue_->async([weak, state] {
        if (auto self = weak.lock()) self->bluetoothState_ = state;
    });
}

platform::Array HRNBluetoothMonitor::retrieveConnectedBluetoothLowEnergyDevices() const {
    platform::Array devices;
    if (!bluetoothManager_) return devices;
    auto peripherals = bluetoothManager_->retrieveConnectedPeripheralsWithServices({"180A"});
    if (!peripherals) return devices;
    for (const auto& peripheral : *peripherals) {
        platform::Dictionary entry{{"class", peripheral.className}};
        if (peripheral.name) entry["name"] = *peripheral.name;
        devices.emplace_back(std::move(entry));
    }
    return devices;
}

platform::Array HRNBluetoothMonitor::retrieveConnectedBluetoothAudioDevices() const {
    platform::Array devices;
    const platform::device::AudioRoute route = platform::device::currentAudioRoute();
    for (const auto* ports : {&route.inputs, &route.outputs}) {
        for (const platform::device::AudioPort& port : *ports) {
            if (port.portType != platform::device::kAudioPortBluetoothA2DP &&
                port.portType != platform::device::kAudioPortBluetoothHFP) {
                continue;
            }
            platform::Dictionary entry{{"class", "AudioPort"}, {"type", port.portType}};
            if (port.portName) entry["name"] = *port.portName;
            devices.emplace_back(std::move(entry));
        }
    }
    return devices;
}
