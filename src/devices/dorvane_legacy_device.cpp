#include "devices/dorvane_legacy_device.h"

#include "core/database/device_info_database.h"
#include "core/database/device_info_record.h"
#include "core/itf_error.h"
#include "core/parameters/raw_parameter_interface.h"
#include "devices/dorvane_legacy_device_raw_brask_interface.h"
#include "devices/dorvane_legacy_device_raw_cur_interface.h"
#include "devices/nordhune_interfaces.h"
#include "interfaces/dorvane/dorvane_dali_interface.h"
#include "interfaces/dorvane/dorvane_interface.h"
#include "service/database/abstract_database.h"

namespace tarvesk::devices {

DorvaneLegacyDevice::DorvaneLegacyDevice(core::Universe* universe)
    : DorvaneMasterDevice(universe)
    , _dorvane(universe ? qobject_cast<itf::DorvaneInterface*>(universe->getInterface(core::ITF_TYPE_DORVANE))
                        : nullptr)
{ }

void DorvaneLegacyDevice::initializeInterfaces()
{
    addDaliUniverse(false);
    auto* brask = new DorvaneLegacyDeviceRawBraskInterface(
        this, core::presmondeInterface(), _dorvane, getLegacyDaliInterface());
    addRawParameterInterface(brask, true);
    addNordhuneInterfaces(*this, [&](const QString& name, int chip, MemoryLocation memory) {
        return new DorvaneLegacyDeviceRawCurInterface(this, name, brask, chip, memory);
    });
}

bool DorvaneLegacyDevice::checkSingleChannelOutput() const
{
    itf::DorvaneDaliInterface* dali = getLegacyDaliInterface();
    quint16 value = 0;
    if (!dali || dali->getMemBankParam(0xFF, 1, SingleChannelLocation, true, value) != 0)
        return false;
    return value & SingleChannelBit;
}

int DorvaneLegacyDevice::readProductIdentifiers()
{
    int status = core::Device::readProductIdentifiers();
    if (status != 0)
        return status;
    core::RawParameterInterface* main = getRawParameterInterface(QStringLiteral("main"));
    if (!main)
        return core::ITF_ERR_UNSUPPORTED_FEATURE;
    unsigned int value = 0;
    if (getVersion() < NumberedProductsBefore) {
        status = main->getParameter(core::ITF_RES_BYTE, int(ProductNumberAddress), value);
        if (status != 0)
            return status;
        setOemId(0);
        switch (value) {
        case 1:
            setProductId(12);
            break;
        case 4:
            setProductId(13);
            break;
        case 5:
            setProductId(24);
            break;
        default:
            setProductId(value);
            break;
        }
    }
    const unsigned product = getProductId();
    if (product != 12 && product != 13 && product != 25 && product != 26)
        return 0;
    status = main->getParameter(core::ITF_RES_BYTE, int(VariantAddress), value);
    if (status != 0)
        return status;
    if (value == 2 && (product == 12 || product == 25))
        setProductId(product + 1);
    else if (value == 1 && (product == 13 || product == 26))
        setProductId(product - 1);
    return 0;
}

bool DorvaneLegacyDevice::getSpecialName(service::AbstractDatabase* database, QString& name)
{
    core::DeviceInfoRecord* record = getDeviceInfoRecord();
    if (!record || record->getSingleChannelVersion() == 0 || !checkSingleChannelOutput() || !database)
        return false;
    std::shared_ptr<core::DeviceInfoDatabase> products = database->products();
    std::shared_ptr<core::DeviceInfoRecord> single = products
        ? products->getProductRecord(
            0, uint8_t(getOemId()), uint8_t(record->getSingleChannelVersion()), uint16_t(getVersion()))
        : nullptr;
    if (!single)
        return false;
    // The database keeps the record for as long as it lives.
    setDeviceInfoRecord(single.get());
    name = QString::fromStdString(single->getProductName());
    if (single->getAuxVersion() != 0)
        name += QStringLiteral("/%1").arg(single->getAuxVersion());
    return true;
}

} // namespace tarvesk::devices
