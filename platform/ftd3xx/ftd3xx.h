// Stand-in for the USB 3 bridge library.
//
// Declares the bridge operations that PAC calls, with the argument and record
// layouts it relies on. The devices behind it are the simulator's: each
// simulated bridge is a Unix-domain socket named after its serial number in
// the folder $PELRA_SIM_DIR/usb. With the variable unset, or no simulator
// running, the device list is simply empty.
//
// Every operation returns FT_OK (0) on success and another status otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t FT_STATUS;
typedef void *FT_HANDLE;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_NOT_SUPPORTED = 17,
    FT_TIMEOUT = 19,
    FT_OTHER_ERROR = 32
};

// Flag for FT_Create: the first argument is a serial-number text.
#define FT_OPEN_BY_SERIAL_NUMBER 1

// One entry of the device list.
struct FT_DEVICE_INFO {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];   // NUL-terminated
    char Description[32];    // NUL-terminated
    FT_HANDLE ftHandle;      // always null: listed devices are not open
};

// Standard USB device descriptor (18 bytes, little-endian fields);
// byte 3 is the major USB version.
#pragma pack(push, 1)
struct FT_DEVICE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

// Chip configuration record. PAC only ever changes the channel setting.
struct FT_CHIP_CONFIGURATION {
    uint8_t Other[139];
    uint8_t ChannelConfig;    // 1 = two channels, 2 = one channel
    uint8_t More[12];
};
#pragma pack(pop)
static_assert(offsetof(FT_CHIP_CONFIGURATION, ChannelConfig) == 139, "channel setting sits at byte 139");

enum : uint8_t {
    FT_CHANNELS_TWO = 1,
    FT_CHANNELS_ONE = 2
};

// Streaming set-up of one channel (FT_SetTransferParams).
struct FT_PIPE_TRANSFER {
    uint8_t unused;
    uint8_t nonThreadSafe;
    uint8_t urbCount;
    uint8_t reserved;
    uint16_t urbBufferCount;
    uint16_t reserved2;
    uint32_t urbBufferSize;
    uint32_t streamingSize;
};

struct FT_TRANSFER_CONFIG {
    uint16_t structSize;              // 40
    uint16_t reserved;
    FT_PIPE_TRANSFER in;
    FT_PIPE_TRANSFER out;
    uint32_t flags;
};
static_assert(sizeof(FT_TRANSFER_CONFIG) == 40, "transfer configuration record is 40 bytes");

// Overlapped record: PAC passes none to pipe reads and writes; the stream
// releases one per science buffer when it closes.
struct FT_OVERLAPPED {
    uint32_t internal[4];
};
typedef FT_OVERLAPPED *LPOVERLAPPED;

FT_STATUS FT_CreateDeviceInfoList(uint32_t *count);
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_INFO *list, uint32_t *count);
FT_STATUS FT_Create(void *arg, uint32_t flags, FT_HANDLE *handle);
FT_STATUS FT_Close(FT_HANDLE handle);
FT_STATUS FT_GetVIDPID(FT_HANDLE handle, uint16_t *vid, uint16_t *pid);
FT_STATUS FT_GetDeviceDescriptor(FT_HANDLE handle, FT_DEVICE_DESCRIPTOR *descriptor);
FT_STATUS FT_SetPipeTimeout(FT_HANDLE handle, uint8_t pipeId, uint32_t timeoutMs);
FT_STATUS FT_GetChipConfiguration(FT_HANDLE handle, void *config);
FT_STATUS FT_SetChipConfiguration(FT_HANDLE handle, void *config);
FT_STATUS FT_WritePipe(FT_HANDLE handle, uint8_t pipeId, uint8_t *buffer, uint32_t length,
                       uint32_t *transferred, LPOVERLAPPED overlapped);
FT_STATUS FT_ReadPipe(FT_HANDLE handle, uint8_t pipeId, uint8_t *buffer, uint32_t length,
                      uint32_t *transferred, LPOVERLAPPED overlapped);
FT_STATUS FT_SetTransferParams(FT_TRANSFER_CONFIG *config, uint32_t channelIndex);
FT_STATUS FT_ReadPipeEx(FT_HANDLE handle, uint8_t channelIndex, uint8_t *buffer, uint32_t length,
                        uint32_t *transferred, uint32_t timeoutMs);
FT_STATUS FT_GetReadQueueStatus(FT_HANDLE handle, uint8_t channelIndex, uint32_t *count);
FT_STATUS FT_AbortPipe(FT_HANDLE handle, uint8_t pipeId);
FT_STATUS FT_ClearStreamPipe(FT_HANDLE handle, bool allWritePipes, bool allReadPipes, uint8_t pipeId);
FT_STATUS FT_ReleaseOverlapped(FT_HANDLE handle, LPOVERLAPPED overlapped);
