#include "interfaces/ilib_usb.h"

#include "interfaces/system_lib_usb.h"

#include <mutex>

namespace tarvesk::itf {

namespace {

std::mutex& defaultMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<ILibUsb>& installedLibUsb()
{
    static std::shared_ptr<ILibUsb> installed; // guarded by defaultMutex()
    return installed;
}

} // namespace

std::shared_ptr<ILibUsb> defaultLibUsb()
{
    std::lock_guard<std::mutex> locker(defaultMutex());
    if (!installedLibUsb())
        installedLibUsb() = std::make_shared<SystemLibUsb>();
    return installedLibUsb();
}

void setDefaultLibUsb(std::shared_ptr<ILibUsb> libUsb)
{
    std::lock_guard<std::mutex> locker(defaultMutex());
    installedLibUsb() = std::move(libUsb);
}

} // namespace tarvesk::itf
