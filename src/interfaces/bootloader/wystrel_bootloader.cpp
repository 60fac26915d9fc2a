#include "interfaces/bootloader/wystrel_bootloader.h"

#include "core/itf_error.h"
#include "interfaces/bootloader/bootloader_clock.h"
#include "interfaces/dmx/dmx_interface.h"
#include "log/logging_categories.h"
#include "protocol/options.h"
#include "protocol/wystrel/wystrel_packet.h"

#include <memory>

namespace tarvesk::itf {

namespace {

bool isHex(const QString& text)
{
    for (QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return true;
}

} // namespace

WystrelBootloader::WystrelBootloader(DmxInterface* dmx, bool bananaMode)
    : _dmx(dmx)
    , _bananaMode(bananaMode)
    , _clock(&BootloaderClock::system())
{ }

WystrelBootloader::~WystrelBootloader() = default;

void WystrelBootloader::setClock(BootloaderClock* clock)
{
    _clock = clock ? clock : &BootloaderClock::system();
}

int WystrelBootloader::sendBootloaderCommand(
    proto::WystrelPacket& request, proto::Options& options, proto::WystrelPacket& answer)
{
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    options.addOption(proto::option::Internal, true);
    options.addOption(proto::option::BananaMode, _bananaMode);
    return exchange(_dmx, request, options, answer, CommandAnswerTimeout, true, VerifiedTimeoutMs, false);
}

int WystrelBootloader::exchange(DmxInterface* dmx, proto::WystrelPacket& request, proto::Options& options,
    proto::WystrelPacket& answer, int answerTimeoutMs, bool keepCallersWait, unsigned int verifiedTimeoutMs,
    bool verifiedOnlyWhenValid)
{
    if (!options.hasOption(proto::option::RetryCount))
        options.addOption(proto::option::RetryCount, CommandRetries);
    if (!options.hasOption(proto::option::ExpectAnswer)) {
        options.addOption(proto::option::ExpectAnswer, true);
        options.addOption(proto::option::RetryInvalid, true);
    }
    if (!keepCallersWait || !options.hasOption(proto::option::AnswerTimeout))
        options.addOption(proto::option::AnswerTimeout, answerTimeoutMs);
    proto::DmxPacket* received = nullptr;
    const int status = dmx->sendDmx(&request, &received, &options);
    const std::unique_ptr<proto::DmxPacket> holder(received);
    if (status != core::ITF_OK)
        return status;
    if (!options.isOptionTrue(proto::option::ExpectAnswer))
        return core::ITF_OK;
    if (!received || received->isTimeoutEvent())
        return core::ITF_ERR_NO_REPLY;
    answer = proto::WystrelPacket(received);
    const int check = answer.answer_isValid(proto::CHECK_IGNORE_NONE);
    if (!verifiedOnlyWhenValid || check == core::ITF_OK)
        emit bootloaderModeVerified(verifiedTimeoutMs, 0);
    return check;
}

bool WystrelBootloader::checkDeviceInBootloaderMode()
{
    unsigned char version = 0;
    QString text;
    return readRowAddress(DatastoreRowAddress, version, text, 0) == core::ITF_OK;
}

int WystrelBootloader::readRowAddress(
    int address, unsigned char& version, QString& rowText, unsigned char deviceAddress)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setReadRow(quint16(address), deviceAddress);
    proto::Options options;
    proto::WystrelPacket answer;
    const int status = sendBootloaderCommand(request, options, answer);
    qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Sending: %1").arg(status);
    if (status != core::ITF_OK)
        return status;
    quint8 versionByte = 0;
    const int decoded = answer.bootloader_getReadRow(rowText, versionByte);
    if (decoded == core::ITF_OK)
        version = versionByte;
    qCDebug(service::loggerGlog()).noquote()
        << QStringLiteral("Answer: %1 %2 %3").arg(decoded).arg(versionByte).arg(rowText);
    return decoded;
}

int WystrelBootloader::writeRowAddress(
    unsigned short address, QString rowData, unsigned char& status, int& retries, unsigned char deviceAddress)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    const int built = request.bootloader_setWriteRow(address, rowData, deviceAddress);
    if (built != core::ITF_OK)
        return built;
    proto::Options options;
    proto::WystrelPacket answer;
    const int sent = sendBootloaderCommand(request, options, answer);
    // The interface counts every attempt that did not bring a valid answer; the
    // last of them was no retry when none brought one.
    const int failedAttempts = request.getRetryAttempt();
    retries = sent == core::ITF_OK ? failedAttempts : qMax(0, failedAttempts - 1);
    if (sent != core::ITF_OK)
        return sent;
    quint8 statusByte = 0;
    const int decoded = answer.bootloader_getWriteRow(statusByte);
    if (decoded == core::ITF_OK) {
        status = statusByte;
        qCDebug(service::loggerGlog()).noquote() << QStringLiteral("Row %1 written, status byte %2")
                                                        .arg(address, 4, 16, QLatin1Char('0'))
                                                        .arg(statusByte);
    }
    return decoded;
}

int WystrelBootloader::checkRows(const QStringList& rows, QString* badRow)
{
    for (const QString& row : rows) {
        int fault = core::ITF_OK;
        if (row.size() != 4 + RowDigits)
            fault = core::ITF_ERR_FW_HEX_LENGTH;
        else if (!isHex(row))
            fault = core::ITF_ERR_FW_HEX_CONVERSION;
        else if (row.left(4).toUInt(nullptr, 16) % RowWords != 0)
            fault = core::ITF_ERR_FW_ADDRESS_RANGE;
        if (fault != core::ITF_OK) {
            if (badRow)
                *badRow = row;
            return fault;
        }
    }
    return core::ITF_OK;
}

int WystrelBootloader::writeRowList(const QStringList& rows, int& retryCount, unsigned char deviceAddress,
    const QString& failureText, bool withRowText)
{
    QString badRow;
    const int check = checkRows(rows, &badRow);
    if (check != core::ITF_OK) {
        qCCritical(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("Error converting \"%1\" to a valid address, aborting.. invalid firmware")
                   .arg(badRow.left(4));
        return check;
    }
    for (const QString& row : rows) {
        const auto address = static_cast<unsigned short>(row.left(4).toUInt(nullptr, 16));
        unsigned char status = 0;
        int retries = 0;
        const int result = writeRowAddress(address, row.mid(4), status, retries, deviceAddress);
        retryCount += retries;
        if (result != core::ITF_OK) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << (withRowText ? failureText.arg(row) : failureText);
            return result;
        }
    }
    return core::ITF_OK;
}

int WystrelBootloader::writeRows(QStringList rows, int&, int& retryCount, unsigned char deviceAddress)
{
    return writeRowList(rows, retryCount, deviceAddress,
        QStringLiteral("Breaking off firmware upload due to a few failures in a row."), false);
}

int WystrelBootloader::erasePage(unsigned char page)
{
    return sendErasePage(page);
}

int WystrelBootloader::getHardwareSystemInfo(unsigned short& first, unsigned short& second)
{
    return sendReadHwSysInfo(first, second);
}

int WystrelBootloader::setSpecialVolatileMode(unsigned char mode)
{
    proto::WystrelPacket request;
    request.special_setSetP254(mode);
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, true);
    options.addOption(proto::option::RetryCount, CommandRetries);
    proto::WystrelPacket answer;
    return sendBootloaderCommand(request, options, answer);
}

int WystrelBootloader::ask(
    proto::WystrelPacket& request, proto::WystrelPacket& answer, proto::Options* options)
{
    proto::Options none;
    return sendBootloaderCommand(request, options ? *options : none, answer);
}

int WystrelBootloader::sendWriteTemperatureCorrection(unsigned char value)
{
    proto::WystrelPacket request;
    request.special_setWriteTempCorrection(value);
    proto::WystrelPacket answer;
    return ask(request, answer);
}

// The answer decoders below leave their outputs alone unless they succeed.

int WystrelBootloader::sendReadHwSysInfo(unsigned short& first, unsigned short& second)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setReadSysType();
    proto::WystrelPacket answer;
    const int status = ask(request, answer);
    return status != core::ITF_OK ? status : answer.bootloader_getReadSysType(first, second);
}

int WystrelBootloader::sendReadPageInfoFirst(
    int address, unsigned short& id, unsigned char& size, unsigned char& version)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setReadPageInfoFirst(quint16(address), 0);
    proto::WystrelPacket answer;
    const int status = ask(request, answer);
    if (status != core::ITF_OK)
        return status;
    // This decoder fills its outputs before it checks their range.
    quint16 moduleId = 0;
    quint8 moduleSize = 0;
    quint8 versionByte = 0;
    const int decoded = answer.bootloader_getPageInfoFirst(moduleId, moduleSize, versionByte);
    if (decoded == core::ITF_OK) {
        id = moduleId;
        size = moduleSize;
        version = versionByte;
    }
    return decoded;
}

int WystrelBootloader::sendReadPageInfoSecond(
    int address, unsigned char& version, unsigned char& subversion, unsigned char& version2)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setReadPageInfoSecond(quint16(address), 0);
    proto::WystrelPacket answer;
    const int status = ask(request, answer);
    return status != core::ITF_OK ? status
                                  : answer.bootloader_getReadPageInfoSecond(version, subversion, version2);
}

int WystrelBootloader::sendErasePage(unsigned char page)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setErasePage(page);
    proto::Options options;
    options.addOption(proto::option::AnswerTimeout, EraseAnswerTimeout);
    proto::WystrelPacket answer;
    const int status = ask(request, answer, &options);
    if (status != core::ITF_OK)
        return status;
    return answer.getUint8(5) == 0 ? core::ITF_OK : core::ITF_ERR_FW_ADDRESS_RANGE;
}

int WystrelBootloader::sendReadNoPages(unsigned short& coreEnd, unsigned char& pageCount, int retryCount)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setReadNoPages(0);
    proto::Options options;
    options.addOption(proto::option::RetryCount, retryCount);
    proto::WystrelPacket answer;
    const int status = ask(request, answer, &options);
    return status != core::ITF_OK ? status : answer.bootloader_getReadNoPages(coreEnd, pageCount);
}

int WystrelBootloader::sendCheckChecksum(int count)
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setCheckChecksum(quint16(qBound(0, count, 0xFFFF)));
    proto::WystrelPacket answer;
    const int status = ask(request, answer);
    if (status != core::ITF_OK)
        return status;
    // 14 bits: the low six of byte 5 above byte 6.
    const int sum = (answer.getUint8(5) & 0x3F) << 8 | answer.getUint8(6);
    return sum == 0 ? core::ITF_OK : core::ITF_ERR_FW_CHECKSUM;
}

int WystrelBootloader::stopBootloaderMode()
{
    proto::WystrelPacket request(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    request.bootloader_setStartApp();
    proto::Options options;
    options.addOption(proto::option::ExpectAnswer, false);
    proto::WystrelPacket answer;
    const int status = sendBootloaderCommand(request, options, answer);
    if (status == core::ITF_OK)
        emit bootloaderModeStopped();
    return status;
}

void WystrelBootloader::finalizeWriteRows() { }

int WystrelBootloader::sendBootloaderSpam(int timeMs, bool& entered, int& elapsedMs)
{
    if (!_dmx)
        return core::ITF_ERR_NO_DEVICE;
    proto::WystrelPacket probe(proto::WystrelPacket::WY_CMD_BOOT_LOADER);
    probe.bootloader_setReadRow(DatastoreRowAddress, 0);
    probe.checksum_recalculate();
    const qint64 start = _clock->nowMs();
    int result = core::ITF_OK;
    while (_clock->nowMs() - start < timeMs && !entered) {
        proto::Options options;
        options.addOption(proto::option::ExpectAnswer, true);
        options.addOption(proto::option::AnswerTimeout, SpamAnswerTimeout);
        options.addOption(proto::option::RetryCount, SpamRetries);
        options.addOption(proto::option::RetryInvalid, true);
        options.addOption(proto::option::BananaMode, _bananaMode);
        proto::DmxPacket* received = nullptr;
        result = _dmx->sendDmx(&probe, &received, &options);
        const std::unique_ptr<proto::DmxPacket> holder(received);
        if (result != core::ITF_OK) {
            qCCritical(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Bootloader spam error, USB transaction failed.");
            continue;
        }
        if (!received) {
            qCWarning(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Bootloader spam error, no answer.");
            continue;
        }
        if (received->isTimeoutEvent()) {
            qCWarning(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Bootloader spam error, timeout event.");
            continue;
        }
        const proto::WystrelPacket answer(received);
        const int check = answer.answer_isValid(proto::CHECK_IGNORE_NONE);
        if (check == core::ITF_OK && !answer.cmd_hasErrorFlag()) {
            entered = true;
            elapsedMs = int(_clock->nowMs() - start);
            break;
        }
        qCWarning(service::loggerGlog()).noquote()
            << GLOG_PREFIX
            << QStringLiteral("An error occured during bootloader spam (%1) : %2")
                   .arg(check)
                   .arg(core::itfErrorToString(check));
        if (answer.cmd_hasErrorFlag()) {
            qCWarning(service::loggerGlog()).noquote()
                << GLOG_PREFIX << QStringLiteral("Driver reply contains error flag");
            proto::WystrelPacket(answer).debugPrint();
        }
    }
    return result;
}

} // namespace tarvesk::itf
