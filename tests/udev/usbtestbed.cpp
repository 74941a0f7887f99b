// Paths as the kernel lays them out (".../1-1.4.2:1.0/tty/ttyACM0",
// ".../0:0:0:0/block/sdb/sdb1"): the bed links a block device under
// /sys/dev/block only below a "block" folder.
//
// umockdev's header pulls in GLib, whose names clash with Qt's keywords:
// it stays in this file, away from Qt.
#include <umockdev.h>

#include "usbtestbed.h"

#include <cstring>

namespace {

std::string owned(gchar *text)
{
    std::string copy = text ? text : "";
    g_free(text);
    return copy;
}

// "1-1.4.2" -> "1.4.2", the devpath attribute the kernel gives a usb_device.
std::string devpathOf(const std::string &location)
{
    const auto dash = location.find('-');
    return dash == std::string::npos ? location : location.substr(dash + 1);
}

} // namespace

UsbTestBed::UsbTestBed() : bed(umockdev_testbed_new())
{
    const std::string bus = owned(umockdev_testbed_add_device(
        bed, "usb", "usb1", nullptr, "idVendor", "1d6b", "idProduct", "0002", "busnum", "1", "devnum", "1",
        "devpath", "0", nullptr, "DEVTYPE", "usb_device", "PRODUCT", "1d6b/2/606", nullptr));
    const std::string outer = owned(umockdev_testbed_add_device(
        bed, "usb", "1-1", bus.c_str(), "idVendor", "05e3", "idProduct", "0610", "busnum", "1", "devnum", "2",
        "devpath", "1", nullptr, "DEVTYPE", "usb_device", "PRODUCT", "5e3/610/6060", nullptr));
    hub = owned(umockdev_testbed_add_device(
        bed, "usb", "1-1.4", outer.c_str(), "idVendor", "05e3", "idProduct", "0610", "busnum", "1", "devnum", "3",
        "devpath", "1.4", nullptr, "DEVTYPE", "usb_device", "PRODUCT", "5e3/610/6060", nullptr));
}

UsbTestBed::~UsbTestBed()
{
    g_object_unref(bed);
}

bool UsbTestBed::available()
{
    // umockdev_in_mock_environment() answers only once a test bed exists.
    const char *preload = g_getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

std::string UsbTestBed::usbDevice(const std::string &location, const char *vendor, const char *product,
                                  const std::string &serial)
{
    const std::string productValue = std::string(vendor + (vendor[0] == '0')) + '/' + product + "/100";
    return owned(umockdev_testbed_add_device(
        bed, "usb", location.c_str(), hub.c_str(), "idVendor", vendor, "idProduct", product, "serial",
        serial.c_str(), "busnum", "1", "devpath", devpathOf(location).c_str(), nullptr, "DEVTYPE", "usb_device",
        "PRODUCT", productValue.c_str(), nullptr));
}

FakeDevice UsbTestBed::addSerialBand(const std::string &location, const std::string &serial, int n)
{
    FakeDevice band;
    band.usb = add(&band, usbDevice(location, "0451", "16aa", serial));
    const std::string interface = add(&band, owned(umockdev_testbed_add_device(
        bed, "usb", (location + ":1.0").c_str(), band.usb.c_str(), "bInterfaceClass", "02", nullptr, "DEVTYPE",
        "usb_interface", "DRIVER", "cdc_acm", "INTERFACE", "2/2/1", nullptr)));
    const std::string name = "ttyACM" + std::to_string(n);
    band.devnum = "166:" + std::to_string(n);
    const std::string node = "/dev/" + name;
    // The ID_ properties are what udev's rules add to a USB serial port.
    band.node = add(&band, owned(umockdev_testbed_add_device(
        bed, "tty", ("tty/" + name).c_str(), interface.c_str(), "dev", band.devnum.c_str(), nullptr, "DEVNAME", node.c_str(),
        "MAJOR", "166", "MINOR", std::to_string(n).c_str(), "ID_BUS", "usb", "ID_VENDOR_ID", "0451",
        "ID_MODEL_ID", "16aa", "ID_SERIAL_SHORT", serial.c_str(), "ID_USB_DRIVER", "cdc_acm", nullptr)));
    return band;
}

FakeDevice UsbTestBed::disk(const std::string &usb, const std::string &location, char letter)
{
    FakeDevice fake;
    fake.usb = add(&fake, usb);
    const std::string interface = add(&fake, owned(umockdev_testbed_add_device(
        bed, "usb", (location + ":1.0").c_str(), usb.c_str(), "bInterfaceClass", "08", nullptr, "DEVTYPE",
        "usb_interface", "DRIVER", "usb-storage", "INTERFACE", "8/6/80", nullptr)));
    const std::string index = std::to_string(letter - 'a');
    const std::string host = add(&fake, owned(umockdev_testbed_add_device(
        bed, "scsi", ("host" + index).c_str(), interface.c_str(), nullptr, "DEVTYPE", "scsi_host", nullptr)));
    const std::string target = add(&fake, owned(umockdev_testbed_add_device(
        bed, "scsi", ("target" + index + ":0:0").c_str(), host.c_str(), nullptr, "DEVTYPE", "scsi_target",
        nullptr)));
    const std::string device = add(&fake, owned(umockdev_testbed_add_device(
        bed, "scsi", (index + ":0:0:0").c_str(), target.c_str(), "vendor", "BAND", nullptr, "DEVTYPE",
        "scsi_device", nullptr)));
    const std::string name = std::string("sd") + letter;
    const std::string wholeMinor = std::to_string(16 * (letter - 'a'));
    const std::string whole = add(&fake, owned(umockdev_testbed_add_device(
        bed, "block", ("block/" + name).c_str(), device.c_str(), "dev", ("8:" + wholeMinor).c_str(), "size", "65536", nullptr,
        "DEVNAME", ("/dev/" + name).c_str(), "DEVTYPE", "disk", "MAJOR", "8", "MINOR", wholeMinor.c_str(),
        nullptr)));
    const std::string minor = std::to_string(16 * (letter - 'a') + 1);
    fake.devnum = "8:" + minor;
    fake.node = add(&fake, owned(umockdev_testbed_add_device(
        bed, "block", (name + '1').c_str(), whole.c_str(), "dev", fake.devnum.c_str(), "partition", "1", nullptr,
        "DEVNAME", ("/dev/" + name + '1').c_str(), "DEVTYPE", "partition", "MAJOR", "8", "MINOR", minor.c_str(),
        nullptr)));
    return fake;
}

FakeDevice UsbTestBed::addDiskBand(const std::string &location, const std::string &serial, char letter)
{
    return disk(usbDevice(location, "0451", "16a8", serial), location, letter);
}

FakeDevice UsbTestBed::addOtherDisk(const std::string &location, char letter)
{
    return disk(usbDevice(location, "0781", "5567", "4C530001"), location, letter);
}

void UsbTestBed::unplug(const FakeDevice &device)
{
    // Children first, also in the bed: it keeps a child's links when only
    // its parent is removed.
    for (auto path = device.tree.rbegin(); path != device.tree.rend(); ++path)
        umockdev_testbed_uevent(bed, path->c_str(), "remove");
    for (auto path = device.tree.rbegin(); path != device.tree.rend(); ++path)
        umockdev_testbed_remove_device(bed, path->c_str());
}

std::string UsbTestBed::add(FakeDevice *device, const std::string &path)
{
    device->tree.push_back(path);
    return path;
}
