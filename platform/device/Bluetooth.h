#pragma once
// Bluetooth: the power state of the device's radio and the peripherals connected to it, as a
// central manager reports them. The radio is off and nothing is connected unless a test says
// otherwise.
//
// Contract: a central reports its state to its delegate on the main queue, asynchronously, once
// after it is made and again whenever the state changes (setBluetoothState). The free functions
// and BluetoothCentral's members are thread-safe.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::device {

inline constexpr int64_t kBluetoothStateUnknown = 0;
inline constexpr int64_t kBluetoothStateResetting = 1;
inline constexpr int64_t kBluetoothStateUnsupported = 2;
inline constexpr int64_t kBluetoothStateUnauthorized = 3;
inline constexpr int64_t kBluetoothStatePoweredOff = 4;
inline constexpr int64_t kBluetoothStatePoweredOn = 5;

struct BluetoothPeripheral {
    std::string className;              // the kind of object the system reports it as
    std::optional<std::string> name;    // absent when the peripheral has none
    std::vector<std::string> services;  // service UUIDs it offers ("180A")
};

// Powered off by default.
int64_t bluetoothState();
void setBluetoothState(int64_t state);
void setConnectedBluetoothPeripherals(std::vector<BluetoothPeripheral> peripherals);

class BluetoothCentral;

class BluetoothCentralDelegate {
  public:
    virtual ~BluetoothCentralDelegate() = default;
    virtual void centralDidUpdateState(BluetoothCentral& central) = 0;
};

class BluetoothCentral : public std::enable_shared_from_this<BluetoothCentral> {
  public:
    // `showPowerAlert`: whether the system may ask the user to switch Bluetooth on when it is
    // off. This device never asks; the flag is kept for callers that read it back.
    static std::shared_ptr<BluetoothCentral> create(
        std::weak_ptr<BluetoothCentralDelegate> delegate,
        bool showPowerAlert);

    int64_t state() const;
    bool showsPowerAlert() const { return showPowerAlert_; }

    // The connected peripherals that offer one of the services, in the order connected.
    // std::nullopt on systems older than 7.0, whose centrals cannot answer this.
    std::optional<std::vector<BluetoothPeripheral>> retrieveConnectedPeripheralsWithServices(
        const std::vector<std::string>& services) const;

  private:
    BluetoothCentral(std::weak_ptr<BluetoothCentralDelegate> delegate, bool showPowerAlert)
        : delegate_(std::move(delegate)), showPowerAlert_(showPowerAlert) {}
    friend void setBluetoothState(int64_t state);
    void reportState();

    std::weak_ptr<BluetoothCentralDelegate> delegate_;
    bool showPowerAlert_;
};

}  // namespace platform::device
