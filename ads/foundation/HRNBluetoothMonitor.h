#pragma once
// HRNBluetoothMonitor: follows the Bluetooth power state and lists the connected Bluetooth
// devices for the ad request's "device" parameter. HRNDevice owns one.
//
// Threading: the state lives on the "bluetooth" queue: bluetoothState() reads it synchronously,
// the central's reports (on the main queue) store it asynchronously there. It is 0 until the
// first report. The device lists are read on the calling thread. Any thread.

#include <cstdint>
#include <memory>

#include "platform/device/Bluetooth.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Value.h"

class HRNBluetoothMonitor : public platform::device::BluetoothCentralDelegate,
                            public std::enable_shared_from_this<HRNBluetoothMonitor> {
  public:
    // Makes the central with the monitor as its delegate; the system never asks the user to
    // switch Bluetooth on.
    static std::shared_ptr<HRNBluetoothMonitor> create();

    int64_t bluetoothState() const;

    // {"class", "name" when it has one} for each peripheral connected with the Device
    // Information service ("180A"), in the order given; empty when the central cannot tell.
    platform::Array retrieveConnectedBluetoothLowEnergyDevices() const;
    // {"class", "type", "name" when present} for each Bluetooth A2DP or hands-free port of the
    // audio route, inputs first.
    platform::Array retrieveConnectedBluetoothAudioDevices() const;

    void centralDidUpdateState(platform::device::BluetoothCentral& central) override;

    HRNBluetoothMonitor();

  private:
    std::shared_ptr<platform::Queue> lockQueue_;
    std::shared_ptr<platform::device::BluetoothCentral> bluetoothManager_;
    int64_t bluetoothState_ = 0;  // on the lock queue
};
