#include "sim/umockdev_testbed.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace vesk::sim {

namespace {

constexpr size_t kSetupLength = 8;

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

}  // namespace

// The usbfs side: URBs submitted by libusb are answered by the peer at once
// and queued for reaping; unanswered ones wait until libusb discards them.
struct UmockdevTestbed::State {
  struct Urb {
    UMockdevIoctlData* data;  // the submitted struct usbdevfs_urb, referenced
    int status;
    int actualLength;
  };

  UsbPeer* peer = nullptr;
  UMockdevTestbed* testbed = nullptr;
  UMockdevIoctlBase* handler = nullptr;
  std::string node;
  std::mutex mutex;
  std::deque<Urb> reapable;
  std::deque<Urb> flying;

  bool Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    uint8_t* bytes = buffer->data;
    size_t length = static_cast<size_t>(urb->buffer_length);
    bool in = (urb->endpoint & 0x80) != 0;
    std::vector<uint8_t> data;
    PeerAnswer answer;
    int moved = 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
      UsbSetupPacket setup{bytes[0], bytes[1], static_cast<uint16_t>(bytes[2] | bytes[3] << 8),
                           static_cast<uint16_t>(bytes[4] | bytes[5] << 8),
                           static_cast<uint16_t>(bytes[6] | bytes[7] << 8)};
      in = (setup.RequestType & 0x80) != 0;
      if (!in) data.assign(bytes + kSetupLength, bytes + length);
      answer = peer->Control(setup, data);
      size_t room = length - kSetupLength;
      if (in) {
        moved = static_cast<int>(std::min(data.size(), room));
        if (moved > 0) std::memcpy(bytes + kSetupLength, data.data(), static_cast<size_t>(moved));
      } else {
        moved = static_cast<int>(room);
      }
    } else if (in) {
      answer = peer->BulkIn(urb->endpoint, static_cast<uint32_t>(length), data);
      moved = static_cast<int>(std::min(data.size(), length));
      if (moved > 0) std::memcpy(bytes, data.data(), static_cast<size_t>(moved));
    } else {
      data.assign(bytes, bytes + length);
      answer = peer->BulkOut(urb->endpoint, data);
      moved = static_cast<int>(length);
    }
    umockdev_ioctl_data_unref(buffer);
    {
      std::lock_guard lock(mutex);
      if (answer == PeerAnswer::Done) reapable.push_back({urbData, 0, moved});
      if (answer == PeerAnswer::Stall) reapable.push_back({urbData, -EPIPE, 0});
      if (answer == PeerAnswer::Silent) flying.push_back({urbData, 0, 0});
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }

  bool Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Urb done;
    {
      std::lock_guard lock(mutex);
      if (reapable.empty()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return true;
      }
      done = reapable.front();
      reapable.pop_front();
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(done.data->data);
    urb->status = done.status;
    urb->actual_length = done.actualLength;
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, done.data);
    umockdev_ioctl_client_complete(client, 0, 0);
    umockdev_ioctl_data_unref(pointer);
    umockdev_ioctl_data_unref(done.data);
    return true;
  }

  bool Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = *reinterpret_cast<gulong*>(arg->data);
    std::lock_guard lock(mutex);
    for (auto it = flying.begin(); it != flying.end(); ++it) {
      if (it->data->client_addr == address) {
        reapable.push_back({it->data, -ENOENT, 0});
        flying.erase(it);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
      }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return true;
  }

  static gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto* state = static_cast<State*>(self);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (umockdev_ioctl_client_get_request(client)) {
      case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
        uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                         USBDEVFS_CAP_ZERO_PACKET;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        umockdev_ioctl_data_unref(caps);
        return TRUE;
      }
      case USBDEVFS_CLAIMINTERFACE:
      case USBDEVFS_RELEASEINTERFACE:
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
      case USBDEVFS_SUBMITURB:
        return state->Submit(client, arg);
      case USBDEVFS_REAPURBNDELAY:
        return state->Reap(client, arg);
      case USBDEVFS_DISCARDURB:
        return state->Discard(client, arg);
      default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
  }
};

bool UmockdevTestbed::Available() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

UmockdevTestbed::UmockdevTestbed(UsbPeer& peer, const std::vector<uint8_t>& device,
                                 const std::vector<uint8_t>& configuration, uint8_t address)
    : state_(std::make_unique<State>()) {
  state_->peer = &peer;
  state_->testbed = umockdev_testbed_new();
  state_->handler = umockdev_ioctl_base_new();
  g_signal_connect_after(state_->handler, "handle-ioctl", G_CALLBACK(State::HandleIoctl),
                         state_.get());
  char node[32];
  std::snprintf(node, sizeof node, "bus/usb/001/%03u", unsigned{address});
  state_->node = std::string("/dev/") + node;
  umockdev_testbed_attach_ioctl(state_->testbed, state_->node.c_str(), state_->handler, nullptr);
  std::vector<uint8_t> descriptors = device;
  descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
  std::string text = std::string("P: /devices/usb1\n") + "N: " + node + "\n" +
                     "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + state_->node +
                     "\nE: BUSNUM=001\nE: DEVNUM=" + std::string(node + 12) +
                     "\nA: busnum=1\\n\nA: devnum=" + std::to_string(address) +
                     "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\nH: descriptors=" +
                     Hex(descriptors) + "\n";
  umockdev_testbed_add_from_string(state_->testbed, text.c_str(), nullptr);
}

UmockdevTestbed::~UmockdevTestbed() {
  {
    std::lock_guard lock(state_->mutex);
    for (auto& urb : state_->reapable) umockdev_ioctl_data_unref(urb.data);
    for (auto& urb : state_->flying) umockdev_ioctl_data_unref(urb.data);
    state_->reapable.clear();
    state_->flying.clear();
  }
  g_object_unref(state_->handler);
  g_object_unref(state_->testbed);
}

}  // namespace vesk::sim
