// no_file_store.cpp - a build without SQLite keeps the device in memory only.
#include "store/store.h"

namespace devsim {

std::unique_ptr<Store> makeFileStore(const std::string &path, unsigned) {
    throw DeviceError(kDeviceFile, path + ": this libdevsim keeps the device in memory only");
}

bool fileStoreAvailable() { return false; }

} // namespace devsim
