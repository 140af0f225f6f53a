// USB bridge operations over the simulator's bridge sockets (see usbwire.h).
//
// A handle owns one non-blocking socket. Messages from the bridge are read
// only while a call waits for something, and pipe data is kept per IN pipe
// until a read takes it, so replies and science bytes never get mixed up.
#include "ftd3xx.h"

#include "usbwire.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int ControlTimeoutMs = 2000;
constexpr int PumpSliceMs = 10;
constexpr uint16_t BridgeVendorId = 0x5043;
constexpr uint16_t BridgeProductId = 0x0601;
constexpr const char *BridgeDescription = "PELRA USB3 bridge";

// Bytes waiting on one IN pipe.
struct ByteQueue {
    std::vector<uint8_t> data;
    size_t head = 0;

    size_t size() const { return data.size() - head; }
    void append(const uint8_t *p, size_t n) { data.insert(data.end(), p, p + n); }
    size_t take(uint8_t *out, size_t n)
    {
        n = std::min(n, size());
        if (n > 0)
            std::memcpy(out, data.data() + head, n);
        head += n;
        if (head == data.size()) {
            data.clear();
            head = 0;
        } else if (head > (1u << 20) && head > data.size() / 2) {
            data.erase(data.begin(), data.begin() + long(head));
            head = 0;
        }
        return n;
    }
    void clear()
    {
        data.clear();
        head = 0;
    }
};

struct Device {
    int fd = -1;
    std::atomic<bool> dead{false};
    std::string serial;
    std::mutex io;                      // incoming and pipe: a science reader thread shares them
    std::vector<uint8_t> incoming;      // bytes of a message not yet complete
    ByteQueue pipe[2];                  // 0x82, 0x83
    // Science channels 0 and 1 each on a connection of their own, opened by
    // the first streaming call on the channel (see usbwire::ScienceAttach).
    int scienceFd[2] = {-1, -1};
    bool scienceEnded[2] = {false, false};
    uint32_t timeoutMs[3] = {0, 0, 0};  // 0x02, 0x82, 0x83; 0 waits for ever
    bool haveInfo = false;
    uint8_t infoKind = 0;
    usbwire::InfoPayload info = {0, 0, 0};
};

std::mutex registryMutex;
std::set<Device *> openDevices;
std::vector<FT_DEVICE_INFO> listedDevices;
FT_TRANSFER_CONFIG transferConfig[2];

using Clock = std::chrono::steady_clock;

Device *lookup(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(registryMutex);
    Device *dev = static_cast<Device *>(handle);
    return openDevices.count(dev) ? dev : nullptr;
}

int pipeIndex(uint8_t pipeId)
{
    switch (pipeId) {
    case 0x02: return 0;
    case 0x82: return 1;
    case 0x83: return 2;
    default: return -1;
    }
}

std::string deviceFolder()
{
    // Simulated bridges exist only where the operator points; without a
    // folder there are none.
    const char *dir = std::getenv("PELRA_SIM_DIR");
    return (dir && *dir) ? std::string(dir) + "/usb" : std::string();
}

int connectSocket(const std::string &path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path))
        return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

// Files the kernel lists and serial numbers that fit a device record.
std::vector<std::string> socketNames()
{
    std::vector<std::string> names;
    const std::string folder = deviceFolder();
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name.size() >= sizeof(FT_DEVICE_INFO::SerialNumber))
            continue;
        struct stat st;
        if (::stat((folder + "/" + name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void handleMessage(Device *dev, uint8_t kind, const uint8_t *payload, uint32_t length)
{
    if (kind == usbwire::PipeIn || kind == usbwire::PipeScience) {
        dev->pipe[kind == usbwire::PipeIn ? 0 : 1].append(payload, length);
    } else if ((kind == usbwire::InfoReply || kind == usbwire::SetChannelsReply) && length >= usbwire::InfoSize) {
        dev->info = {payload[0], payload[1], payload[2]};
        dev->infoKind = kind;
        dev->haveInfo = true;
    }
}

// Reads whatever the bridge has sent, waiting up to waitMs (-1: for ever)
// for the first bytes. False once the connection is gone.
bool pump(Device *dev, int waitMs)
{
    if (dev->dead)
        return false;
    pollfd pfd{dev->fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, waitMs);
    if (ready < 0 && errno != EINTR) {
        dev->dead = true;
        return false;
    }
    if (ready <= 0)
        return true;
    std::lock_guard<std::mutex> guard(dev->io);
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(dev->fd, chunk, sizeof(chunk), 0);
        if (n > 0) {
            dev->incoming.insert(dev->incoming.end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            dev->dead = true;
        break;
    }
    size_t pos = 0;
    while (dev->incoming.size() - pos >= usbwire::HeaderSize) {
        const uint8_t *header = dev->incoming.data() + pos;
        const uint32_t length = usbwire::headerLength(header);
        if (length > usbwire::MaxPayload) {
            dev->dead = true;
            break;
        }
        if (dev->incoming.size() - pos < usbwire::HeaderSize + length)
            break;
        handleMessage(dev, header[0], header + usbwire::HeaderSize, length);
        pos += usbwire::HeaderSize + length;
    }
    dev->incoming.erase(dev->incoming.begin(), dev->incoming.begin() + long(pos));
    return !dev->dead;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Sends one message whole; timeoutMs 0 waits for ever.
bool sendMessage(Device *dev, uint8_t kind, const uint8_t *payload, uint32_t length, uint32_t timeoutMs)
{
    if (dev->dead)
        return false;
    std::vector<uint8_t> message(usbwire::HeaderSize + length);
    usbwire::putHeader(message.data(), kind, length);
    if (length > 0)
        std::memcpy(message.data() + usbwire::HeaderSize, payload, length);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(dev->fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (timeoutMs != 0 && remainingMs(deadline) == 0)
                return false;
            pollfd pfd{dev->fd, POLLOUT, 0};
            ::poll(&pfd, 1, timeoutMs == 0 ? -1 : remainingMs(deadline));
            continue;
        }
        dev->dead = true;
        return false;
    }
    return true;
}

bool waitForInfo(Device *dev, uint8_t kind)
{
    dev->haveInfo = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ControlTimeoutMs);
    while (!(dev->haveInfo && dev->infoKind == kind)) {
        const int left = remainingMs(deadline);
        if (left == 0 || !pump(dev, left))
            return false;
    }
    return true;
}

FT_STATUS readFromPipe(Device *dev, int channel, uint8_t *buffer, uint32_t length, uint32_t *transferred,
                       uint32_t timeoutMs)
{
    uint32_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    FT_STATUS status = FT_OK;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(dev->io);
            got += uint32_t(dev->pipe[channel].take(buffer + got, length - got));
        }
        if (got == length)
            break;
        if (dev->dead) {
            status = FT_IO_ERROR;
            break;
        }
        const int wait = timeoutMs == 0 ? -1 : remainingMs(deadline);
        if (wait == 0) {
            status = FT_TIMEOUT;
            break;
        }
        // In short slices: a science reader on channel 1 may take the
        // message off the socket and queue it here meanwhile.
        pump(dev, wait < 0 ? PumpSliceMs : std::min(wait, PumpSliceMs));
    }
    if (transferred)
        *transferred = got;
    return status;
}

void closeScience(Device *dev, int channel)
{
    if (dev->scienceFd[channel] >= 0)
        ::close(dev->scienceFd[channel]);
    dev->scienceFd[channel] = -1;
    dev->scienceEnded[channel] = false;
}

// Opens the science connection of a channel on first use. False when the
// bridge cannot be reached.
bool attachScience(Device *dev, int channel)
{
    if (dev->scienceFd[channel] >= 0)
        return true;
    const int fd = connectSocket(deviceFolder() + "/" + dev->serial);
    if (fd < 0)
        return false;
    uint8_t message[usbwire::HeaderSize + 1];
    usbwire::putHeader(message, usbwire::ScienceAttach, 1);
    message[usbwire::HeaderSize] = uint8_t(channel);
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, ControlTimeoutMs) <= 0 || ::send(fd, message, sizeof message, MSG_NOSIGNAL) != ssize_t(sizeof message)) {
        ::close(fd);
        return false;
    }
    // The bridge confirms that the channel's stream comes here from now on.
    pfd = {fd, POLLIN, 0};
    uint8_t attached = 0;
    if (::poll(&pfd, 1, ControlTimeoutMs) <= 0 || ::recv(fd, &attached, 1, 0) != 1 || attached != 1) {
        ::close(fd);
        return false;
    }
    dev->scienceFd[channel] = fd;
    dev->scienceEnded[channel] = false;
    return true;
}

// Science bytes of a channel: first what came as pipe messages on the command
// connection, then the stream itself, read straight into the caller's buffer.
FT_STATUS readScience(Device *dev, int channel, uint8_t *buffer, uint32_t length, uint32_t *transferred,
                      uint32_t timeoutMs)
{
    uint32_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    FT_STATUS status = FT_OK;
    if (!attachScience(dev, channel))
        status = FT_IO_ERROR;
    const int sfd = dev->scienceFd[channel];
    // Channel 0 shares pipe 0x82 with the command replies: its queue holds
    // replies, never science. Channel 1 data may also come as pipe messages.
    const bool queued = channel == 1;
    while (status == FT_OK && got < length) {
        if (queued) {
            std::lock_guard<std::mutex> guard(dev->io);
            got += uint32_t(dev->pipe[channel].take(buffer + got, length - got));
        }
        if (got == length)
            break;
        if (!dev->scienceEnded[channel]) {
            const ssize_t n = ::recv(sfd, buffer + got, length - got, MSG_DONTWAIT);
            if (n > 0) {
                got += uint32_t(n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                dev->scienceEnded[channel] = true;   // the bridge closed the stream
        }
        if (dev->scienceEnded[channel] && dev->dead) {
            status = FT_IO_ERROR;
            break;
        }
        const int wait = timeoutMs == 0 ? -1 : remainingMs(deadline);
        if (wait == 0) {
            status = FT_TIMEOUT;
            break;
        }
        pollfd pfd[2] = {{queued ? dev->fd : -1, POLLIN, 0}, {dev->scienceEnded[channel] ? -1 : sfd, POLLIN, 0}};
        if (::poll(pfd, 2, wait) > 0 && (pfd[0].revents & POLLIN))
            pump(dev, 0);
    }
    if (transferred)
        *transferred = got;
    return status;
}

}  // namespace

FT_STATUS FT_CreateDeviceInfoList(uint32_t *count)
{
    if (!count)
        return FT_INVALID_PARAMETER;
    std::vector<FT_DEVICE_INFO> found;
    const std::string folder = deviceFolder();
    for (const std::string &name : socketNames()) {
        // A socket file left behind by a simulator that is gone refuses connections.
        const int fd = connectSocket(folder + "/" + name);
        if (fd < 0)
            continue;
        ::close(fd);
        FT_DEVICE_INFO info{};
        info.ID = (uint32_t(BridgeVendorId) << 16) | BridgeProductId;
        info.LocId = uint32_t(found.size() + 1);
        std::strncpy(info.SerialNumber, name.c_str(), sizeof(info.SerialNumber) - 1);
        std::strncpy(info.Description, BridgeDescription, sizeof(info.Description) - 1);
        found.push_back(info);
    }
    std::lock_guard<std::mutex> lock(registryMutex);
    listedDevices = found;
    *count = uint32_t(found.size());
    return FT_OK;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_INFO *list, uint32_t *count)
{
    if (!list || !count)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(registryMutex);
    const uint32_t n = std::min<uint32_t>(*count, uint32_t(listedDevices.size()));
    for (uint32_t i = 0; i < n; ++i)
        list[i] = listedDevices[i];
    *count = n;
    return FT_OK;
}

FT_STATUS FT_Create(void *arg, uint32_t flags, FT_HANDLE *handle)
{
    if (!arg || !handle || flags != FT_OPEN_BY_SERIAL_NUMBER)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    const std::string serial(static_cast<const char *>(arg));
    const std::string folder = deviceFolder();
    if (folder.empty() || serial.empty() || serial.find('/') != std::string::npos)
        return FT_DEVICE_NOT_FOUND;
    const int fd = connectSocket(folder + "/" + serial);
    if (fd < 0)
        return FT_DEVICE_NOT_FOUND;
    Device *dev = new Device;
    dev->fd = fd;
    dev->serial = serial;
    if (!sendMessage(dev, usbwire::InfoRequest, nullptr, 0, ControlTimeoutMs) || !waitForInfo(dev, usbwire::InfoReply)) {
        ::close(fd);
        delete dev;
        return FT_DEVICE_NOT_OPENED;
    }
    std::lock_guard<std::mutex> lock(registryMutex);
    openDevices.insert(dev);
    *handle = dev;
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    Device *dev = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        auto it = openDevices.find(static_cast<Device *>(handle));
        if (it == openDevices.end())
            return FT_INVALID_HANDLE;
        dev = *it;
        openDevices.erase(it);
    }
    ::close(dev->fd);
    closeScience(dev, 0);
    closeScience(dev, 1);
    delete dev;
    return FT_OK;
}

FT_STATUS FT_GetVIDPID(FT_HANDLE handle, uint16_t *vid, uint16_t *pid)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (!pump(dev, 0))
        return FT_DEVICE_NOT_OPENED;
    if (vid)
        *vid = BridgeVendorId;
    if (pid)
        *pid = BridgeProductId;
    return FT_OK;
}

FT_STATUS FT_GetDeviceDescriptor(FT_HANDLE handle, FT_DEVICE_DESCRIPTOR *descriptor)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (!descriptor)
        return FT_INVALID_PARAMETER;
    if (!pump(dev, 0))
        return FT_IO_ERROR;
    const uint8_t major = dev->info.usbMajor;
    *descriptor = FT_DEVICE_DESCRIPTOR{};
    descriptor->bLength = 18;
    descriptor->bDescriptorType = 1;
    descriptor->bcdUSB = uint16_t((major << 8) | (major == 1 ? 0x10 : 0x00));
    descriptor->bMaxPacketSize0 = major >= 3 ? 9 : 64;
    descriptor->idVendor = BridgeVendorId;
    descriptor->idProduct = BridgeProductId;
    descriptor->bcdDevice = 0x0100;
    descriptor->iManufacturer = 1;
    descriptor->iProduct = 2;
    descriptor->iSerialNumber = 3;
    descriptor->bNumConfigurations = 1;
    return FT_OK;
}

FT_STATUS FT_SetPipeTimeout(FT_HANDLE handle, uint8_t pipeId, uint32_t timeoutMs)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    const int index = pipeIndex(pipeId);
    if (index < 0)
        return FT_INVALID_PARAMETER;
    dev->timeoutMs[index] = timeoutMs;
    return FT_OK;
}

FT_STATUS FT_GetChipConfiguration(FT_HANDLE handle, void *config)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (!config)
        return FT_INVALID_PARAMETER;
    if (!sendMessage(dev, usbwire::InfoRequest, nullptr, 0, ControlTimeoutMs) || !waitForInfo(dev, usbwire::InfoReply))
        return FT_IO_ERROR;
    FT_CHIP_CONFIGURATION record{};
    record.Other[0] = uint8_t(BridgeVendorId & 0xFF);
    record.Other[1] = uint8_t(BridgeVendorId >> 8);
    record.Other[2] = uint8_t(BridgeProductId & 0xFF);
    record.Other[3] = uint8_t(BridgeProductId >> 8);
    record.ChannelConfig = dev->info.activeChannels;
    std::memcpy(config, &record, sizeof(record));
    return FT_OK;
}

FT_STATUS FT_SetChipConfiguration(FT_HANDLE handle, void *config)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (!config)
        return FT_INVALID_PARAMETER;
    FT_CHIP_CONFIGURATION record;
    std::memcpy(&record, config, sizeof(record));
    if (record.ChannelConfig != FT_CHANNELS_TWO && record.ChannelConfig != FT_CHANNELS_ONE)
        return FT_INVALID_PARAMETER;
    const uint8_t setting = record.ChannelConfig;
    if (!sendMessage(dev, usbwire::SetChannels, &setting, 1, ControlTimeoutMs)
        || !waitForInfo(dev, usbwire::SetChannelsReply))
        return FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS FT_WritePipe(FT_HANDLE handle, uint8_t pipeId, uint8_t *buffer, uint32_t length, uint32_t *transferred,
                       LPOVERLAPPED)
{
    if (transferred)
        *transferred = 0;
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (pipeId != 0x02 || (!buffer && length > 0) || length > usbwire::MaxPayload)
        return FT_INVALID_PARAMETER;
    pump(dev, 0);
    if (!sendMessage(dev, usbwire::PipeOut, buffer, length, dev->timeoutMs[0]))
        return dev->dead ? FT_IO_ERROR : FT_TIMEOUT;
    if (transferred)
        *transferred = length;
    return FT_OK;
}

FT_STATUS FT_ReadPipe(FT_HANDLE handle, uint8_t pipeId, uint8_t *buffer, uint32_t length, uint32_t *transferred,
                      LPOVERLAPPED)
{
    if (transferred)
        *transferred = 0;
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    const int index = pipeIndex(pipeId);
    if (index < 1 || (!buffer && length > 0))
        return FT_INVALID_PARAMETER;
    return readFromPipe(dev, index - 1, buffer, length, transferred, dev->timeoutMs[index]);
}

FT_STATUS FT_SetTransferParams(FT_TRANSFER_CONFIG *config, uint32_t channelIndex)
{
    if (!config || channelIndex > 1 || config->structSize != sizeof(FT_TRANSFER_CONFIG))
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(registryMutex);
    transferConfig[channelIndex] = *config;
    return FT_OK;
}

FT_STATUS FT_ReadPipeEx(FT_HANDLE handle, uint8_t channelIndex, uint8_t *buffer, uint32_t length,
                        uint32_t *transferred, uint32_t timeoutMs)
{
    if (transferred)
        *transferred = 0;
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (channelIndex > 1 || (!buffer && length > 0))
        return FT_INVALID_PARAMETER;
    return readScience(dev, channelIndex, buffer, length, transferred, timeoutMs);
}

FT_STATUS FT_GetReadQueueStatus(FT_HANDLE handle, uint8_t channelIndex, uint32_t *count)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    if (channelIndex > 1 || !count)
        return FT_INVALID_PARAMETER;
    pump(dev, 0);
    size_t queued = 0;
    if (channelIndex == 1) {   // channel 0's queue holds command replies
        std::lock_guard<std::mutex> guard(dev->io);
        queued = dev->pipe[channelIndex].size();
    }
    int streamed = 0;
    if (attachScience(dev, channelIndex) && ::ioctl(dev->scienceFd[channelIndex], FIONREAD, &streamed) != 0)
        streamed = 0;
    *count = uint32_t(std::min<size_t>(queued + size_t(std::max(streamed, 0)), UINT32_MAX));
    return FT_OK;
}

FT_STATUS FT_AbortPipe(FT_HANDLE handle, uint8_t pipeId)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    // Transfers are never left pending between calls, so there is nothing to cancel.
    return pipeIndex(pipeId) < 0 ? FT_INVALID_PARAMETER : FT_OK;
}

FT_STATUS FT_ClearStreamPipe(FT_HANDLE handle, bool allWritePipes, bool allReadPipes, uint8_t pipeId)
{
    Device *dev = lookup(handle);
    if (!dev)
        return FT_INVALID_HANDLE;
    pump(dev, 0);
    std::lock_guard<std::mutex> guard(dev->io);
    if (allReadPipes) {
        dev->pipe[0].clear();
        dev->pipe[1].clear();
        closeScience(dev, 0);
        closeScience(dev, 1);
    } else if (pipeId == 0x82 || pipeId == 0x83) {
        dev->pipe[pipeId - 0x82].clear();
        // What the stream still had in flight goes with its connection.
        closeScience(dev, pipeId - 0x82);
    } else if (!allWritePipes && pipeId != 0x02) {
        return FT_INVALID_PARAMETER;
    }
    return FT_OK;
}

FT_STATUS FT_ReleaseOverlapped(FT_HANDLE handle, LPOVERLAPPED overlapped)
{
    if (!lookup(handle))
        return FT_INVALID_HANDLE;
    if (overlapped)
        *overlapped = FT_OVERLAPPED{};
    return FT_OK;
}
