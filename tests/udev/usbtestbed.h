// A faked device tree in umockdev's test bed, shaped like the station's USB
// hub with bands on it: in normal mode a CDC ACM serial port (0451:16AA,
// usb_device -> interface -> tty), in upgrade mode a mass-storage disk
// (0451:16A8, usb_device -> interface -> SCSI host, target, device -> block
// disk -> partition). It stands in for the system only under umockdev's
// preload library (umockdev-wrapper).
#pragma once

#include <string>
#include <vector>

struct _UMockdevTestbed;

#define REQUIRE_TEST_BED()                                                                                   \
    if (!UsbTestBed::available())                                                                           \
    QSKIP("not under umockdev's preload library: run it through umockdev-wrapper (ctest does)")

struct FakeDevice {
    std::string usb;    // sysfs path of the usb_device
    std::string node;   // sysfs path of the tty, or of the disk's partition
    std::string devnum; // the node's "major:minor"
    std::vector<std::string> tree; // every sysfs path, the usb_device first
};

class UsbTestBed {
public:
    // Bus 1 with a hub at 1-1 and one behind it at 1-1.4, so that the bands
    // sit at "1-1.4.N".
    UsbTestBed();
    ~UsbTestBed();
    UsbTestBed(const UsbTestBed &) = delete;
    UsbTestBed &operator=(const UsbTestBed &) = delete;

    // Whether this process runs under umockdev's preload library.
    static bool available();

    // Each add plugs a device in: the bed sends udev's "add" event for each
    // device of its tree, parent first, as the kernel announces them.
    // A band in normal mode at location (e.g. "1-1.4.2") with port ttyACM<n>.
    FakeDevice addSerialBand(const std::string &location, const std::string &serial, int n);
    // A band in upgrade mode at location with disk sd<letter> and its first
    // partition.
    FakeDevice addDiskBand(const std::string &location, const std::string &serial, char letter);
    // Another USB disk on the hub (an operator's stick, 0781:5567).
    FakeDevice addOtherDisk(const std::string &location, char letter);

    // Unplugs the device: "remove" events, children first, then the device
    // and everything under it leave the tree.
    void unplug(const FakeDevice &device);

private:
    std::string usbDevice(const std::string &location, const char *vendor, const char *product,
                          const std::string &serial);
    FakeDevice disk(const std::string &usb, const std::string &location, char letter);
    std::string add(FakeDevice *device, const std::string &path);

    _UMockdevTestbed *bed;
    std::string hub; // sysfs path of the hub at 1-1.4
};
