// SectorSize.h: the logical sector size of the block device behind a file.
#ifndef KRV_ENGINE_FILE_SECTORSIZE_H
#define KRV_ENGINE_FILE_SECTORSIZE_H

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace krv {

// The logical block size of the block device `device` (a file's st_dev), read from
// <sysDevBlock>/MAJ:MIN/queue/logical_block_size, or from the parent device's queue/
// when the device is a partition. 0 when there is no such device (tmpfs, overlay,
// network file systems) or the value is not a power of two from 512 to 65536.
uint32_t BlockDeviceSectorSize(dev_t device, const std::string& sysDevBlock = "/sys/dev/block");

} // namespace krv

#endif
